#include "AppWindows.h"

#include "Ob_TModBCl.h"
#include "obrNastr.h"
#include "obrport.h"

void CreateAppWindows(OperatorInterface& boxes) {
  Form1 = new TForm1(boxes);
  FormPort = new TFormPort(Form1->Link);
  FormNastr = new TFormNastr(Form1->Link);
}

void DestroyAppWindows() {
  delete FormNastr;
  FormNastr = nullptr;
  delete FormPort;
  FormPort = nullptr;
  delete Form1;
  Form1 = nullptr;
}
