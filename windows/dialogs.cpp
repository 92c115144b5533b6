#include "windows/dialogs.h"

#include "windows/custom_controls.h"
#include "windows/handles.h"
#include "windows/modal_dialog.h"
#include "windows/port_list.h"
#include "windows/resource.h"
#include "ui/port_choice.h"
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

// --- the other ports -------------------------------------------------------

constexpr char kPortHint[] = "可以从列表中选择, 也可以输入端口名 (COM1 到 COM256)";
constexpr char kNoPortsHint[] = "本机没有找到串口, 可以直接输入端口名 (COM1 到 COM256)";
// The typed name's box: a few characters more than "COM256" and blanks.
constexpr int kPortNameChars = 32;
// Where the device names start in the list, in dialog units.
constexpr int kDeviceTabStop = 40;

class PortDialog : public ModalDialog<PortDialog> {
 public:
  explicit PortDialog(std::wstring current) : chosen_(std::move(current)) {}

  const std::wstring& chosen() const { return chosen_; }

 private:
  friend class ModalDialog<PortDialog>;

  BOOL OnInitDialog() {
    HWND list = GetDlgItem(hwnd_, IDC_PORT_LIST);
    int tab = kDeviceTabStop;
    SendMessageW(list, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tab));
    const auto ports = PresentSerialPorts();
    for (const PresentPort& p : ports) {
      const std::wstring line = Widen(PortName(p.number)) + L"\t" + Widen(p.device);
      const LRESULT row = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
      if (row < 0) continue;
      SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(row), p.number);
      if (Widen(PortName(p.number)) == chosen_) SendMessageW(list, LB_SETCURSEL, row, 0);
    }
    SendDlgItemMessageW(hwnd_, IDC_PORT_NAME, EM_SETLIMITTEXT, kPortNameChars - 1, 0);
    SetDlgItemTextW(hwnd_, IDC_PORT_NAME, chosen_.c_str());
    ShowHint(ports.empty() ? kNoPortsHint : kPortHint, false);
    HWND name = GetDlgItem(hwnd_, IDC_PORT_NAME);
    SetFocus(name);
    SendMessageW(name, EM_SETSEL, 0, -1);
    return FALSE;  // the focus is set
  }

  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lp) == GetDlgItem(hwnd_, IDC_PORT_HINT) && refused_) {
          // What is wrong with the name, in red; the dialog's own background.
          const LRESULT brush = DefWindowProcW(hwnd_, msg, wp, lp);
          SetTextColor(reinterpret_cast<HDC>(wp), RGB(255, 0, 0));
          return static_cast<INT_PTR>(brush);
        }
        return FALSE;
      case WM_COMMAND:
        switch (LOWORD(wp)) {
          case IDC_PORT_LIST:
            if (HIWORD(wp) == LBN_SELCHANGE) TakeListChoice();
            if (HIWORD(wp) == LBN_DBLCLK && TakeListChoice()) Accept();
            return TRUE;
          case IDOK:
            Accept();
            return TRUE;
          case IDCANCEL:
            EndDialog(hwnd_, IDCANCEL);
            return TRUE;
          default:
            return FALSE;
        }
      default:
        return FALSE;
    }
  }

  // The selected port into the name box; false when nothing is selected.
  bool TakeListChoice() {
    HWND list = GetDlgItem(hwnd_, IDC_PORT_LIST);
    const LRESULT row = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR) return false;
    const auto number = static_cast<int>(SendMessageW(list, LB_GETITEMDATA, row, 0));
    SetDlgItemTextW(hwnd_, IDC_PORT_NAME, Widen(PortName(number)).c_str());
    if (refused_) ShowHint(kPortHint, false);
    return true;
  }

  // A name that is a port ends the dialog; any other stays, with the hint
  // saying what is wrong and the name selected for typing over.
  void Accept() {
    HWND name = GetDlgItem(hwnd_, IDC_PORT_NAME);
    const std::string typed = Narrow(TextOf(name, kPortNameChars));
    const auto number = ParsePortNumber(typed);
    if (!number) {
      ShowHint(NotAPortText(typed), true);
      SetFocus(name);
      SendMessageW(name, EM_SETSEL, 0, -1);
      return;
    }
    chosen_ = Widen(PortName(*number));
    EndDialog(hwnd_, IDOK);
  }

  void ShowHint(const std::string& text, bool refused) {
    refused_ = refused;
    SetDlgItemTextW(hwnd_, IDC_PORT_HINT, Widen(text).c_str());
  }

  std::wstring chosen_;
  bool refused_ = false;  // the hint says why a typed name was refused
};

}  // namespace

std::optional<std::string> RunOtherPortDialog(HINSTANCE instance, HWND owner,
                                              const std::string& current) {
  PortDialog dialog(Widen(current));
  if (dialog.Run(instance, owner, IDD_PORTS) != IDOK) return std::nullopt;
  return Narrow(dialog.chosen());
}

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
