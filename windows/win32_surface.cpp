#include "windows/win32_surface.h"

#include <vector>

#include "ui/control_ids.h"
#include "windows/dialogs.h"
#include "windows/handles.h"
#include "windows/wide_text.h"
#include "windows/window_messages.h"

namespace zvp::win {

namespace {

constexpr int kListRows = 16;
constexpr int kListColumns = 17;  // "ADDR" and "0".."F"
constexpr size_t kPathChars = 1024;

std::wstring WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

UINT MessageBoxFlags(const MessageBox& box) {
  UINT flags = 0;
  switch (box.buttons) {
    case MsgButtons::kOk:
      flags |= MB_OK;
      break;
    case MsgButtons::kYesNo:
      flags |= MB_YESNO;
      break;
    case MsgButtons::kOkCancel:
      flags |= MB_OKCANCEL;
      break;
  }
  switch (box.icon) {
    case MsgIcon::kNone:
      break;
    case MsgIcon::kWarning:
      flags |= MB_ICONEXCLAMATION;
      break;
    case MsgIcon::kQuestion:
      flags |= MB_ICONQUESTION;
      break;
    case MsgIcon::kInformation:
      flags |= MB_ICONINFORMATION;
      break;
  }
  if (box.default_is_second) flags |= MB_DEFBUTTON2;
  return flags;
}

MsgAnswer AnswerOf(int result) {
  switch (result) {
    case IDYES:
      return MsgAnswer::kYes;
    case IDNO:
      return MsgAnswer::kNo;
    case IDOK:
      return MsgAnswer::kOk;
    default:
      return MsgAnswer::kCancel;
  }
}

// The answer of a box that could not be shown: the cautious one.
MsgAnswer NoAnswer(const MessageBox& box) {
  switch (box.buttons) {
    case MsgButtons::kOk:
      return MsgAnswer::kOk;
    case MsgButtons::kYesNo:
      return MsgAnswer::kNo;
    case MsgButtons::kOkCancel:
      return MsgAnswer::kCancel;
  }
  return MsgAnswer::kCancel;
}

std::optional<std::string> ChooseFile(HWND owner, const std::string& filter, bool save) {
  const std::wstring wide_filter = DialogFilter(filter);
  std::vector<wchar_t> path(kPathChars, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = wide_filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  // A saved name without an extension gets ".hex", so that the open
  // dialog's filter finds the file again; the open dialog takes names as
  // typed.
  if (save) ofn.lpstrDefExt = L"hex";
  ofn.Flags = OFN_HIDEREADONLY;
  const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!chosen) return std::nullopt;
  return Narrow(path.data());
}

}  // namespace

void Win32Surface::Attach(HWND main, std::map<int, HWND> controls) {
  controls_ = std::move(controls);
  ui_thread_ = GetCurrentThreadId();
  main_ = main;
}

void Win32Surface::Detach() {
  main_ = nullptr;
}

void Win32Surface::RunInvoke(LPARAM call) {
  (*reinterpret_cast<const std::function<void()>*>(call))();
}

bool Win32Surface::OnUi(const std::function<void()>& call) {
  HWND main = Main();
  if (main == nullptr) return false;
  if (GetCurrentThreadId() == ui_thread_) {
    call();
    return true;
  }
  // The handler answers 1 once it has run the call; a window that went away
  // meanwhile answers 0 and the call did not run.
  return SendMessageW(main, kMsgInvoke, 0, reinterpret_cast<LPARAM>(&call)) == 1;
}

HWND Win32Surface::ControlWindow(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

std::string Win32Surface::GetText(int id, size_t max_chars) {
  std::string text;
  OnUi([&] {
    if (HWND hwnd = ControlWindow(id)) text = FirstChars(WindowText(hwnd), max_chars);
  });
  return text;
}

void Win32Surface::SetText(int id, const std::string& text) {
  OnUi([&] {
    if (HWND hwnd = ControlWindow(id)) SetWindowTextW(hwnd, Widen(text).c_str());
  });
}

bool Win32Surface::IsChecked(int id) {
  bool checked = false;
  OnUi([&] {
    if (HWND hwnd = ControlWindow(id)) {
      checked = SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
  });
  return checked;
}

void Win32Surface::SetChecked(int id, bool checked) {
  OnUi([&] {
    if (HWND hwnd = ControlWindow(id)) {
      SendMessageW(hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  });
}

bool Win32Surface::IsEnabled(int id) {
  bool enabled = false;
  OnUi([&] {
    if (HWND hwnd = ControlWindow(id)) enabled = IsWindowEnabled(hwnd) != FALSE;
  });
  return enabled;
}

void Win32Surface::SetEnabled(int id, bool enabled) {
  OnUi([&] {
    if (HWND hwnd = ControlWindow(id)) EnableWindow(hwnd, enabled ? TRUE : FALSE);
  });
}

bool Win32Surface::IsVisible(int id) {
  bool visible = false;
  OnUi([&] {
    HWND main = Main();
    HWND at = ControlWindow(id);
    if (at == nullptr) return;
    for (; at != nullptr && at != main; at = GetParent(at)) {
      if (!(GetWindowLongPtrW(at, GWL_STYLE) & WS_VISIBLE)) return;
    }
    visible = at == main;
  });
  return visible;
}

void Win32Surface::SetVisible(int id, bool visible) {
  OnUi([&] {
    if (HWND hwnd = ControlWindow(id)) ShowWindow(hwnd, visible ? SW_SHOW : SW_HIDE);
  });
}

void Win32Surface::SetStatus(const std::string& text) {
  SetText(ctl::kStatusLine, text);
}

std::string Win32Surface::Status() {
  return GetText(ctl::kStatusLine, static_cast<size_t>(-1));
}

void Win32Surface::RepaintStatus() {
  OnUi([&] {
    if (HWND hwnd = ControlWindow(ctl::kStatusLine)) {
      RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
  });
}

MsgAnswer Win32Surface::ShowMessage(const MessageBox& box) {
  MsgAnswer answer = NoAnswer(box);
  OnUi([&] {
    const int result = MessageBoxW(Main(), Widen(box.text).c_str(), Widen(box.caption).c_str(),
                                   MessageBoxFlags(box));
    if (result != 0) answer = AnswerOf(result);
  });
  return answer;
}

std::optional<std::string> Win32Surface::ChooseOpenFile(const std::string& filter) {
  std::optional<std::string> path;
  OnUi([&] { path = ChooseFile(Main(), filter, false); });
  return path;
}

std::optional<std::string> Win32Surface::ChooseSaveFile(const std::string& filter) {
  std::optional<std::string> path;
  OnUi([&] { path = ChooseFile(Main(), filter, true); });
  return path;
}

void Win32Surface::ArmTimer(int id, uint32_t period_ms) {
  OnUi([&] { SetTimer(Main(), static_cast<UINT_PTR>(id), period_ms, nullptr); });
}

void Win32Surface::Beep(uint32_t hz, uint32_t ms) {
  ::Beep(hz, ms);
}

void Win32Surface::UpdateCursor() {
  // The main window's WM_SETCURSOR picks the cursor from `busy`.
  OnUi([&] {
    HWND main = Main();
    SendMessageW(main, WM_SETCURSOR, reinterpret_cast<WPARAM>(main),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  });
}

void Win32Surface::LockViewControls(bool locked) {
  OnUi([&] {
    for (int id : {ctl::kViewMemory, ctl::kViewChip, ctl::kViewAscii}) {
      if (HWND hwnd = ControlWindow(id)) SendMessageW(hwnd, kMsgLock, 0, locked ? 1 : 0);
    }
  });
}

void Win32Surface::SetWindowRegion(int width, int height) {
  OnUi([&] {
    UniqueRegion region(CreateRectRgn(0, 0, width, height));
    if (!region) return;
    // On success the window owns the region.
    if (SetWindowRgn(Main(), region.get(), TRUE)) region.release();
  });
}

void Win32Surface::RequestClose() {
  OnUi([&] { SendMessageW(Main(), WM_CLOSE, 0, 0); });
}

void Win32Surface::PrepareCodeViewList() {
  OnUi([&] {
    HWND list = ControlWindow(ctl::kViewList);
    if (list == nullptr) return;
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (header != nullptr && SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) > 0) return;  // built
    const DWORD extended = LVS_EX_GRIDLINES | LVS_EX_TRACKSELECT | LVS_EX_FULLROWSELECT;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    for (int column = 0; column < kListColumns; ++column) {
      std::wstring title = column == 0 ? L"ADDR" : std::wstring(1, L"0123456789ABCDEF"[column - 1]);
      LVCOLUMNW c{};
      c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
      c.fmt = column == 0 ? LVCFMT_CENTER : LVCFMT_LEFT;
      c.cx = column == 0 ? 45 : 26;
      c.pszText = title.data();
      c.iSubItem = column;
      SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&c));
    }
    // The page is blue; the refreshes only write the cells.
    SendMessageW(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 255));
    for (int row = 0; row < kListRows; ++row) {
      wchar_t empty[] = L"";
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = empty;
      SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
  });
}

void Win32Surface::SetListCell(int row, int column, const std::string& text) {
  OnUi([&] {
    HWND list = ControlWindow(ctl::kViewList);
    if (list == nullptr) return;
    std::wstring wide = Widen(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  });
}

std::string Win32Surface::ListCell(int row, int column) {
  std::string text;
  OnUi([&] {
    HWND list = ControlWindow(ctl::kViewList);
    if (list == nullptr) return;
    wchar_t buffer[64] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(std::size(buffer));
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    text = Narrow(buffer);
  });
  return text;
}

bool Win32Surface::RunCounterDialog(CounterDialog* dialog) {
  bool accepted = false;
  OnUi([&] { accepted = RunSetCount(instance_, Main(), dialog); });
  return accepted;
}

std::optional<std::string> Win32Surface::RunEditDialog(const std::string& address_text,
                                                       const std::string& value) {
  std::optional<std::string> result;
  OnUi([&] { result = RunCodeEditDialog(instance_, Main(), address_text, value); });
  return result;
}

std::optional<std::string> Win32Surface::RunPortDialog(const std::string& current) {
  std::optional<std::string> result;
  OnUi([&] { result = RunOtherPortDialog(instance_, Main(), current); });
  return result;
}

}  // namespace zvp::win
