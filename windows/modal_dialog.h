// ModalDialog: the one dialog procedure of the program's modal dialogs, the
// main window among them. The C++ object travels in as the creation
// parameter and is kept in DWLP_USER, so the procedure finds it again for
// every message: WM_INITDIALOG goes to Derived::OnInitDialog, every later
// message to Derived::OnMessage. Messages that arrive before WM_INITDIALOG
// (WM_SETFONT, for one) find no object and take the dialog manager's default.
#pragma once

#include "windows/win32.h"

namespace zvp::win {

template <typename Derived>
class ModalDialog {
 public:
  // Runs the dialog on template `resource` until it ends; the value it was
  // ended with (EndDialog), -1 when it could not be made.
  INT_PTR Run(HINSTANCE instance, HWND owner, int resource) {
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(resource), owner, &ModalDialog::Proc,
                           reinterpret_cast<LPARAM>(this));
  }

 protected:
  ModalDialog() = default;
  ~ModalDialog() = default;

  // The usual buttons, for a dialog that does not answer its messages
  // itself: OK runs Derived::OnOk and ends the dialog with IDOK, Cancel just
  // ends it.
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM /*lp*/) {
    if (msg != WM_COMMAND) return FALSE;
    switch (LOWORD(wp)) {
      case IDOK:
        static_cast<Derived*>(this)->OnOk();
        EndDialog(hwnd_, IDOK);
        return TRUE;
      case IDCANCEL:
        EndDialog(hwnd_, IDCANCEL);
        return TRUE;
      default:
        return FALSE;
    }
  }

  // For a message whose result is not the procedure's TRUE or FALSE: the
  // dialog manager takes it from DWLP_MSGRESULT.
  INT_PTR Answer(LRESULT result) {
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
  }

  HWND hwnd_ = nullptr;

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
      auto* self = reinterpret_cast<ModalDialog*>(lp);
      SetWindowLongPtrW(hwnd, DWLP_USER, lp);
      self->hwnd_ = hwnd;
      return static_cast<Derived*>(self)->OnInitDialog();
    }
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) return FALSE;
    return static_cast<Derived*>(self)->OnMessage(msg, wp, lp);
  }
};

}  // namespace zvp::win
