// TForm1, the main window: every control of the operator's work, the serial
// port ComPort1, the polling timer, the link and the device data store.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "ComPort.h"
#include "ComPortClass.h"
#include "FinderHost.h"
#include "OperatorInterface.h"
#include "MainWindowState.h"
#include "RequestDispatcher.h"
#include "ServClass.h"

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QToolButton;
class TEntryEdit;
class TFormFinder;
class TFormMonitor;
class TFormTrend;
class TStringGrid;
class TWindowTools;

// The request in force, kept between clicks of the dispatcher.
extern int32_t RequestNumber;
extern uint8_t RequestCode;
// Whether a failed exchange is reported to the operator.
extern bool ShowOutcome;

class TForm1 : public QWidget, public OperatorInterface, public MainWindowState, public FinderHost {
  Q_OBJECT
public:
  // Every message box of the window and of the link goes through `boxes`.
  explicit TForm1(OperatorInterface& boxes, QWidget* parent = nullptr);
  ~TForm1() override;

  QLabel* Label2;
  QComboBox* CBoxUstr;
  TEntryEdit* EditZapr;
  std::array<TEntryEdit*, 20> Edits;  // Edit1 .. Edit20: Edits[0] is Edit1
  QPushButton* Button1;
  TStringGrid* StringGrid1;
  QPushButton* BKvit;
  QPushButton* BSbros;
  QPushButton* Button2;
  QPushButton* Button3;
  TEntryEdit* EditDat1;
  TEntryEdit* EditDat2;
  QPushButton* Button4;
  QPushButton* Button5;
  QPushButton* Button6;
  QLabel* LabelCikl;
  QLabel* Label3;
  QLabel* Label8;
  QLabel* Label4;
  QLabel* Label7;
  QToolButton* SPBloc;
  QLabel* Label9;
  QLabel* Label10;
  QTimer* Timer1;

  // Windows beyond the daily work, opened from the context menu of the free
  // area and by shortcuts, so that no control moves for them.
  TWindowTools* Tools;
  QAction* MonitorAction;  // "Монитор обмена", Ctrl+M
  QAction* FinderAction;   // "Поиск устройств…", Ctrl+F
  QAction* TrendAction;    // "Тренды", Ctrl+T

  // Declared in this order: the port before the link that works on it, the
  // store last, so that the store goes first and the port last.
  TComPort ComPort1;
  TComPortClass Link;
  TServClass Serv;
  // The request flow of "Пуск", the timer and the shortcut buttons.
  TRequestDispatcher Dispatcher;

  TEntryEdit* Edit(int number) const { return Edits[static_cast<size_t>(number - 1)]; }
  // Controls in tab order.
  const std::vector<QWidget*>& TabOrder() const { return tabOrder_; }

  void FormCreate();
  void CBoxUstrClick();
  void FormClose();

  // Entries: key-down returns whether the key goes on to the entry.
  bool EditZaprKeyDown(TEntryEdit* sender, uint16_t key);
  bool EditDat1KeyDown(TEntryEdit* sender, uint16_t key);
  void EditZaprExit();
  void EditDat1Exit(TEntryEdit* sender);

  void StringGrid1SelectCell(int col, int row, bool& canSelect);
  void StringGrid1GetEditText(int col, int row, QString& value);
  void Button4Click();
  void Button5Click();

  void Button2Click();
  // What "Настройка порта" does with its choices: the link's setting texts,
  // then the port opened with them; a port that stays closed is result 132.
  void SetPortAndOpen(const std::string& port, const std::string& baud, const std::string& parity,
                      const std::string& stopBits);
  void Button6Click();

  void Button1Click();
  void Button3Click();
  void Timer1Timer();
  void BKvitClick(QObject* sender);
  void SPBlocClick();

  // OperatorInterface, for the link.
  MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                        MsgButtons buttons) override;
  void DisablePollTimer() override;
  void CloseMainWindow() override;

  OperatorInterface& Boxes() { return boxes_; }

  // The traffic monitor, made when first asked for.
  TFormMonitor& Monitor();
  void OpenMonitor();
  // The device finder, made when first asked for.
  TFormFinder& Finder();
  void OpenFinder();
  // The trend window, made when first asked for; from then on it follows the link.
  TFormTrend& Trends();
  void OpenTrends();

  // MainWindowState, for the request flow.
  EntryField& RequestEntry() override;
  EntryField& Data1Entry() override;
  EntryField& Data2Entry() override;
  std::string Cell(int column, int row) const override;
  void SetCell(int column, int row, const std::string& text) override;
  void SetField(int n, const std::string& text) override;
  void ResetGridFontColour() override;
  bool PollTimerEnabled() const override;
  void TogglePollTimer() override;

  // FinderHost, for the device finder (MainWindowFinderHost.cpp).
  std::string PortName() const override;
  int LastAddress() const override;
  Release ReleasePort() override;
  Restore RestorePort(const Release& released) override;
  bool Apply(const std::string& port, const LineSetting& setting, int address) override;
  void ShowProbe(const ProbeResult& probe) override;

protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  void BuildControls();
  void ConnectHandlers();
  void SetTabOrder();
  // The next tab stop after `from` that is shown and enabled, in tab order.
  void SelectNext(QWidget* from);

  OperatorInterface& boxes_;
  std::vector<QWidget*> tabOrder_;
  bool placed_ = false;
  bool closing_ = false;
  // Last, so that they go first: they let go of the link and its port (the
  // finder of its own port, whose thread it ends).
  std::unique_ptr<TFormMonitor> monitor_;
  std::unique_ptr<TFormFinder> finder_;
  std::unique_ptr<TFormTrend> trends_;
};

extern TForm1* Form1;
