// The modal results the dialogs end with.
#pragma once

enum ModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,  // also the close button and Escape
  mrRefused = 6, // a choice the dialog does not accept
};
