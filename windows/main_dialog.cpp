#include "windows/main_dialog.h"

#include <set>
#include <utility>

#include "core/app_state.h"
#include "link/connection.h"
#include "ui/code_edit.h"
#include "ui/control_ids.h"
#include "ui/control_table.h"
#include "ui/dispatcher.h"
#include "ui/settings.h"
#include "ui/start_up.h"
#include "ui/window_events.h"
#include "windows/app_texts.h"
#include "windows/resource.h"
#include "windows/wide_text.h"
#include "windows/win32_surface.h"
#include "windows/window_messages.h"
#include "windows/window_rules.h"

namespace zvp::win {

namespace {

// While a stopped operation ends, the window looks every this many ms
// whether it may close now.
constexpr UINT_PTR kCloseWaitTimer = 502;
constexpr UINT kCloseWaitPeriodMs = 100;

// The visible part of the window while the counter group is out of sight.
constexpr int kRegionWidth = 700;
constexpr int kRegionHeight = 440;

UniqueFont MakeFont(int height, int width, int weight, bool italic, bool underline,
                    const wchar_t* face) {
  return UniqueFont(CreateFontW(height, width, 0, 0, weight, italic, underline, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
}

void SetFont(HWND hwnd, HFONT font) {
  if (hwnd != nullptr) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

HICON LoadAppIcon(HINSTANCE instance, int size_metric_x, int size_metric_y) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                       GetSystemMetrics(size_metric_x),
                                       GetSystemMetrics(size_metric_y), 0));
}

}  // namespace

MainDialog::MainDialog(HINSTANCE instance, Win32Surface* surface, std::wstring caption)
    : instance_(instance), surface_(surface), caption_(std::move(caption)) {}

MainDialog::~MainDialog() = default;

INT_PTR MainDialog::RunModal() {
  return Run(instance_, nullptr, IDD_MAIN);
}

int MainDialog::ParentId(HWND parent) const {
  return parent == hwnd_ ? 0 : GetDlgCtrlID(parent);
}

INT_PTR MainDialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kMsgInvoke:
      Win32Surface::RunInvoke(lp);
      return Answer(1);

    case kMsgCommand:
      DispatchCommand(static_cast<int>(wp), ParentId(reinterpret_cast<HWND>(lp)));
      return Answer(0);
    case kMsgStatusFault:
      return Answer(StatusShowsFault() ? 1 : 0);
    case kMsgLinkPressed:
      OnLinkPressed();
      return Answer(0);
    case kMsgLinkReleased:
      return Answer(OnLinkReleased() ? 1 : 0);
    case kMsgAbort:
      OnAbortRequested();
      return Answer(0);
    case kMsgFunctionKey:
      OnFunctionKey(static_cast<int>(wp));
      return Answer(0);

    case WM_TIMER:
      if (wp == kCloseWaitTimer) {
        // Closing waits for the stopped operation to end, without ever
        // blocking this thread on the worker.
        if (!CursorIsWait()) {
          KillTimer(hwnd_, kCloseWaitTimer);
          EndDialog(hwnd_, IDCANCEL);
        }
        return TRUE;
      }
      // RESET_POLL_TIMER and the reconnect timer alike.
      OnTimerTick(static_cast<int>(wp));
      return TRUE;

    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      return MainColours(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));

    case WM_PAINT:
      return PaintMinimised() ? TRUE : FALSE;

    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_.get());

    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
        MessageBoxW(hwnd_, Widen(kAboutText).c_str(), Widen(kAboutCaption).c_str(), MB_OK);
        return TRUE;
      }
      if ((wp & 0xFFF0) == IDM_OTHERPORT) {
        ChooseOtherPort();
        return TRUE;
      }
      return FALSE;

    case WM_KEYDOWN:
      // Only while the window itself has the focus (no control has it).
      if (wp == VK_F8) {
        MessageBoxW(hwnd_, Widen(kF8Greeting).c_str(), Widen(kF8Caption).c_str(), MB_OK);
        return TRUE;
      }
      return FALSE;

    case WM_SETCURSOR:
      // Over a disabled window (a box is up) the platform beeps and brings
      // the box forward.
      if (static_cast<short>(LOWORD(lp)) == HTERROR) return FALSE;
      SetCursor(LoadCursorW(nullptr, CursorIsWait() ? IDC_WAIT : IDC_ARROW));
      return Answer(TRUE);

    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lp);
      if (header->idFrom == static_cast<UINT_PTR>(ctl::kViewList) && header->code == NM_DBLCLK) {
        OnListDoubleClick(header);
        return Answer(0);
      }
      return FALSE;
    }

    case WM_COMMAND:
      // Every control reports through kMsgCommand. The dialog manager's own
      // commands (Enter as IDOK, Escape as IDCANCEL) close nothing: the
      // window closes only through WM_CLOSE (the quit button, the system
      // menu, Alt+F4).
      return TRUE;

    case WM_CLOSE:
      if (closing_) return TRUE;  // already waiting for the operation to end
      switch (OnCloseRequested()) {
        case CloseAnswer::kClose:
          EndDialog(hwnd_, IDCANCEL);
          break;
        case CloseAnswer::kCloseWhenIdle:
          closing_ = true;
          SetTimer(hwnd_, kCloseWaitTimer, kCloseWaitPeriodMs, nullptr);
          break;
        case CloseAnswer::kStayOpen:
          break;
      }
      return TRUE;

    case WM_DESTROY:
      SaveSettings();
      return FALSE;

    case WM_NCDESTROY:
      surface_->Detach();
      SetAppMainWindow(nullptr);
      return FALSE;

    default:
      return FALSE;
  }
}

BOOL MainDialog::InitMainWindow() {
  SetAppMainWindow(hwnd_);
  SetWindowTextW(hwnd_, caption_.c_str());

  // The other ports' entry, then the about entry, each after a separator:
  // the about entry stays the last one.
  HMENU system_menu = GetSystemMenu(hwnd_, FALSE);
  for (const auto& [text_id, command] : {std::pair{IDS_OTHERPORT, IDM_OTHERPORT},
                                         std::pair{IDS_ABOUTBOX, IDM_ABOUTBOX}}) {
    wchar_t text[128] = {};
    if (system_menu != nullptr &&
        LoadStringW(instance_, text_id, text, static_cast<int>(std::size(text))) > 0) {
      AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(system_menu, MF_STRING, command, text);
    }
  }

  icon_.reset(LoadAppIcon(instance_, SM_CXICON, SM_CYICON));
  small_icon_.reset(LoadAppIcon(instance_, SM_CXSMICON, SM_CYSMICON));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));

  UniqueRegion region(CreateRectRgn(0, 0, kRegionWidth, kRegionHeight));
  if (region && SetWindowRgn(hwnd_, region.get(), TRUE)) region.release();

  BuildMainWindow();
  return TRUE;  // the dialog manager sets the focus
}

void MainDialog::BuildMainWindow() {
  CreateControls();
  CreateFonts();
  surface_->Attach(hwnd_, windows_);
  InitialiseMainWindow();
}

void MainDialog::CreateControls() {
  std::set<int> radio_groups;  // parents whose first radio button takes Tab
  for (const ControlSpec& entry : MainWindowControls()) {
    HWND parent = hwnd_;
    if (entry.parent != 0) {
      auto it = windows_.find(entry.parent);
      if (it == windows_.end()) continue;
      parent = it->second;
    }
    const bool tab_stop =
        entry.kind == ControlKind::kRadio && radio_groups.insert(entry.parent).second;
    const PlatformControl platform = PlatformControlFor(entry, tab_stop);
    const RECT rect{entry.rect.left, entry.rect.top, entry.rect.right, entry.rect.bottom};
    const std::wstring text = Widen(entry.caption);

    if (entry.kind == ControlKind::kList) {
      // The code view's list is the platform's own.
      HWND list = CreateWindowExW(
          platform.ex_style, platform.window_class, text.c_str(), platform.style, rect.left,
          rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
          reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), instance_, nullptr);
      if (list != nullptr) windows_[entry.id] = list;
      continue;
    }

    std::unique_ptr<Control> control;
    switch (entry.kind) {
      case ControlKind::kGroup:
        control = std::make_unique<CMygrp>();
        break;
      case ControlKind::kPush:
      case ControlKind::kRadio:
      case ControlKind::kCheck:
        control = std::make_unique<CMybtn>();
        break;
      case ControlKind::kEdit:
        control = std::make_unique<CMyedit>();
        break;
      default:
        control = std::make_unique<CMystatic>();
        break;
    }
    if (!control->Create(platform.window_class, text, platform.style, platform.ex_style, rect,
                         parent, entry.id)) {
      continue;
    }
    windows_[entry.id] = control->hwnd();
    controls_.push_back(std::move(control));
  }
}

void MainDialog::CreateFonts() {
  panel_font_ = MakeFont(12, 6, 400, false, false, L"MS Shell Dlg");
  for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    SetFont(child, panel_font_.get());
    for (HWND grandchild = GetWindow(child, GW_CHILD); grandchild != nullptr;
         grandchild = GetWindow(grandchild, GW_HWNDNEXT)) {
      SetFont(grandchild, panel_font_.get());
    }
  }
  numbers_font_ = MakeNumbersFont();
  for (int id : {ctl::kStartAddress, ctl::kEndAddress, ctl::kVppBox, ctl::kVddBox,
                 ctl::kViewAddress, ctl::kChecksumBox, ctl::kPassBox, ctl::kFailBox}) {
    SetFont(windows_[id], numbers_font_.get());
  }
  link_font_ = MakeFont(18, 7, 600, true, true, L"MS Shell Dlg");
  SetFont(windows_[ctl::kWebLink], link_font_.get());
  list_font_ = MakeFont(12, 5, 500, false, false, L"MS Shell Dlg");
  SetFont(windows_[ctl::kViewList], list_font_.get());
}

UniqueFont MainDialog::MakeNumbersFont() {
  // The face is the platform's choice. Where the platform's choice has wider
  // digits than the boxes were laid out for (five in the display-address
  // box, six in a count box), the characters are made narrower until they
  // fit, rather than showing cut-off numbers.
  auto inner_width = [&](int id) {
    RECT r{};
    GetClientRect(windows_[id], &r);
    return r.right - r.left - 8;  // the edit's margins
  };
  const int five = inner_width(ctl::kViewAddress);
  const int six = inner_width(ctl::kPassBox);
  HDC dc = GetDC(hwnd_);
  UniqueFont font;
  for (int width = 8; width >= 5; --width) {
    font = MakeFont(16, width, 580, false, false, L"");
    const HGDIOBJ old = SelectObject(dc, font.get());
    SIZE five_digits{}, six_digits{};
    GetTextExtentPoint32W(dc, L"00000", 5, &five_digits);
    GetTextExtentPoint32W(dc, L"000000", 6, &six_digits);
    SelectObject(dc, old);
    if (five_digits.cx <= five && six_digits.cx <= six) break;
  }
  ReleaseDC(hwnd_, dc);
  return font;
}

INT_PTR MainDialog::MainColours(HDC dc, HWND child) {
  // Children of the group boxes are coloured by their group box.
  if (GetParent(child) != hwnd_) return FALSE;
  const auto colour = MainTextColour(GetDlgCtrlID(child), App().label_pressed != 0);
  if (!colour) return FALSE;
  // The dialog's own brush, with the text colour on top.
  const LRESULT brush = DefWindowProcW(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(child));
  SetTextColor(dc, *colour);
  return static_cast<INT_PTR>(brush);
}

bool MainDialog::PaintMinimised() {
  if (!IsIconic(hwnd_)) return false;
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(hwnd_, &ps);
  SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_.get());
  EndPaint(hwnd_, &ps);
  return true;
}

void MainDialog::OnListDoubleClick(const NMHDR* header) {
  const auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(header);
  LVHITTESTINFO hit{};
  hit.pt = activate->ptAction;
  SendMessageW(header->hwndFrom, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
  EditCodeByte(hit.iItem, hit.iItem < 0 ? -1 : hit.iSubItem);
}

}  // namespace zvp::win
