#include "windows/dialogs.h"

#include "windows/custom_controls.h"
#include "windows/handles.h"
#include "windows/modal_dialog.h"
#include "windows/resource.h"
#include "windows/wide_text.h"

namespace zvp::win {

namespace {

// The texts read back from SetCount: 16 characters with the terminator.
constexpr int kCountTextChars = 16;
// EditDialog's new value: 100 characters with the terminator.
constexpr int kValueChars = 100;

std::wstring TextOf(HWND hwnd, int max_with_terminator) {
  std::wstring text(static_cast<size_t>(max_with_terminator), L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), max_with_terminator);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

// --- SetCount -------------------------------------------------------------

class SetCount : public ModalDialog<SetCount> {
 public:
  explicit SetCount(CounterDialog* data) : data_(data) {}

 private:
  friend class ModalDialog<SetCount>;

  BOOL OnInitDialog() {
    font_.reset(CreateFontW(16, 7, 0, 0, 550, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg"));
    for (int id : {IDC_COUNT_PASS, IDC_COUNT_FAIL}) {
      SendDlgItemMessageW(hwnd_, id, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }
    SetDlgItemTextW(hwnd_, IDC_COUNT_PASS, Widen(data_->pass_text).c_str());
    SetDlgItemTextW(hwnd_, IDC_COUNT_FAIL, Widen(data_->fail_text).c_str());
    for (const CountChoice& c : kCountChoices) {
      CheckDlgButton(hwnd_, c.id, (data_->flags & c.bit) ? BST_CHECKED : BST_UNCHECKED);
    }
    return TRUE;  // the dialog manager puts the focus on the first control
  }

  void OnOk() {
    data_->pass_text = Narrow(TextOf(GetDlgItem(hwnd_, IDC_COUNT_PASS), kCountTextChars));
    data_->fail_text = Narrow(TextOf(GetDlgItem(hwnd_, IDC_COUNT_FAIL), kCountTextChars));
    uint32_t flags = 0;
    for (const CountChoice& c : kCountChoices) {
      if (IsDlgButtonChecked(hwnd_, c.id) == BST_CHECKED) flags |= c.bit;
    }
    data_->flags = flags;
  }

  CounterDialog* data_;
  UniqueFont font_;  // lives until the dialog has gone
};

// --- EditDialog -----------------------------------------------------------

class EditDialog : public ModalDialog<EditDialog> {
 public:
  EditDialog(std::wstring address_text, std::wstring value)
      : address_text_(std::move(address_text)), new_value_(std::move(value)) {}

  const std::wstring& new_value() const { return new_value_; }

 private:
  friend class ModalDialog<EditDialog>;

  BOOL OnInitDialog() {
    const RECT box{30, 60, 170, 85};
    value_box_.Create(
        L"Edit", L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_CENTER | ES_UPPERCASE | ES_AUTOHSCROLL,
        WS_EX_CLIENTEDGE, box, hwnd_, IDC_EDIT_VALUE);
    SendMessageW(value_box_.hwnd(), WM_SETFONT, SendMessageW(hwnd_, WM_GETFONT, 0, 0), TRUE);
    SetDlgItemTextW(hwnd_, IDC_STATIC, (L"请输入新值(地址--" + address_text_ + L"):").c_str());
    SetWindowTextW(value_box_.hwnd(), new_value_.c_str());
    SetFocus(value_box_.hwnd());
    return FALSE;  // the focus is set
  }

  void OnOk() { new_value_ = TextOf(value_box_.hwnd(), kValueChars); }

  std::wstring address_text_;
  std::wstring new_value_;
  CMyedit value_box_;
};

}  // namespace

bool RunSetCount(HINSTANCE instance, HWND owner, CounterDialog* dialog) {
  CounterDialog edited = *dialog;
  SetCount set_count(&edited);
  if (set_count.Run(instance, owner, IDD_SETCOUNT) != IDOK) return false;
  *dialog = edited;
  return true;
}

std::optional<std::string> RunCodeEditDialog(HINSTANCE instance, HWND owner,
                                             const std::string& address_text,
                                             const std::string& value) {
  EditDialog dialog(Widen(address_text), Widen(value));
  if (dialog.Run(instance, owner, IDD_EDITCODE) != IDOK) return std::nullopt;
  return Narrow(dialog.new_value());
}

}  // namespace zvp::win
