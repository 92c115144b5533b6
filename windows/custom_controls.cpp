#include "windows/custom_controls.h"

#include <atomic>

#include "ui/control_ids.h"
#include "windows/app_texts.h"
#include "windows/wide_text.h"
#include "windows/window_messages.h"
#include "windows/window_rules.h"

namespace zvp::win {

namespace {

constexpr UINT_PTR kSubclassId = 1;

std::atomic<HWND> g_main_window{nullptr};

POINT PointOf(LPARAM lp) {
  // Signed: with the mouse captured a release can lie left of or above the
  // control.
  return POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}

bool ReleasedInside(HWND hwnd, LPARAM lp) {
  RECT client{};
  GetClientRect(hwnd, &client);
  return StrictlyInside(client, PointOf(lp));
}

// Draws the control again at once, over its old pixels (no erase: no flicker).
void RepaintNow(HWND hwnd) {
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

}  // namespace

void SetAppMainWindow(HWND main) {
  g_main_window = main;
}
HWND AppMainWindow() {
  return g_main_window;
}

Control::~Control() {
  if (hwnd_ != nullptr) Unhook();
}

bool Control::Create(const wchar_t* window_class, const std::wstring& text, DWORD style,
                     DWORD ex_style, const RECT& rect, HWND parent, int id) {
  HWND hwnd = CreateWindowExW(
      ex_style, window_class, text.c_str(), style, rect.left, rect.top, rect.right - rect.left,
      rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  if (hwnd == nullptr) return false;
  if (!SetWindowSubclass(hwnd, Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    DestroyWindow(hwnd);
    return false;
  }
  hwnd_ = hwnd;
  id_ = id;
  return true;
}

void Control::Unhook() {
  RemoveWindowSubclass(hwnd_, Proc, kSubclassId);
  hwnd_ = nullptr;
}

LRESULT Control::Default(UINT msg, WPARAM wp, LPARAM lp) {
  return DefSubclassProc(hwnd_, msg, wp, lp);
}

LRESULT Control::SendToMain(UINT msg, WPARAM wp, LPARAM lp) {
  HWND main = AppMainWindow();
  return main != nullptr ? SendMessageW(main, msg, wp, lp) : 0;
}

LPARAM Control::ParentParam() const {
  return reinterpret_cast<LPARAM>(GetParent(hwnd_));
}

LRESULT CALLBACK Control::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR /*subclass*/,
                               DWORD_PTR self) {
  auto* control = reinterpret_cast<Control*>(self);
  if (msg == WM_NCDESTROY) {
    control->Unhook();
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
  return control->Handle(msg, wp, lp);
}

// --- CMybtn ---------------------------------------------------------------

bool CMybtn::IgnoresPresses() const {
  return locked_ && (id() == ctl::kViewMemory || id() == ctl::kViewChip || id() == ctl::kViewAscii);
}

LRESULT CMybtn::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    // The second press of a double-click is a press like the first: the
    // platform clicks the button again, so the command must follow it too
    // (and the lock must hold it back).
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // A locked code-view control neither presses nor changes its check.
      if (IgnoresPresses()) return 0;
      pressed_ = 1;
      return Default(msg, wp, lp);
    case WM_LBUTTONUP: {
      // The platform first: a radio button or check box takes its new state
      // here, and the command reads it.
      const LRESULT result = Default(msg, wp, lp);
      if (pressed_) {
        pressed_ = 0;
        if (ReleasedInside(hwnd(), lp)) SendToMain(kMsgCommand, id(), ParentParam());
      }
      return result;
    }
    case WM_KEYDOWN:
      // The key-up never reaches the platform's button (below), so a Space
      // that it pressed would stay pressed with the mouse captured.
      if (wp == VK_SPACE) return 0;
      break;
    case WM_KEYUP:
      if (wp == VK_RETURN) {
        SendToMain(kMsgCommand, id(), ParentParam());
      } else if (IsFunctionKey(wp)) {
        SendToMain(kMsgFunctionKey, wp, 0);
      }
      return 0;
    case WM_KILLFOCUS: {
      const LRESULT result = Default(msg, wp, lp);
      if (HasPushButtonType(GetWindowLongPtrW(hwnd(), GWL_STYLE))) {
        SendMessageW(hwnd(), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
      }
      return result;
    }
    case kMsgLock:
      locked_ = lp != 0 ? 1 : 0;
      return 0;
    default:
      break;
  }
  return Default(msg, wp, lp);
}

// --- CMyedit --------------------------------------------------------------

LRESULT CMyedit::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CHAR:
      if (!EditAccepts(id(), static_cast<wchar_t>(wp))) return 0;
      break;
    case WM_KEYUP: {
      const LRESULT result = Default(msg, wp, lp);
      if (id() == ctl::kViewAddress && wp == VK_RETURN) {
        SendToMain(kMsgCommand, ctl::kViewSet, ParentParam());
      }
      return result;
    }
    case WM_LBUTTONDBLCLK: {
      const LRESULT result = Default(msg, wp, lp);
      if (id() == ctl::kFileBox) {
        SendToMain(kMsgCommand, ctl::kOpenFile, ParentParam());
      } else if (id() == ctl::kStatusLine) {
        RECT format{};
        SendMessageW(hwnd(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        if (InAbortZone(format, PointOf(lp))) SendToMain(kMsgAbort, 0, 0);
      } else if (id() == ctl::kChecksumBox) {
        ShowChecksumGreeting();
      }
      return result;
    }
    default:
      break;
  }
  return Default(msg, wp, lp);
}

// --- CMygrp ---------------------------------------------------------------

void CMygrp::Paint(HDC dc) {
  const int saved = SaveDC(dc);
  if (auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0))) {
    SelectObject(dc, font);
  }
  // The colours come from the parent, as for every static text: the main
  // window's MainColours sets the caption's colour and answers the brush.
  HWND parent = GetParent(hwnd());
  auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
      parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd())));
  if (brush == nullptr) {
    brush = reinterpret_cast<HBRUSH>(DefWindowProcW(
        parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd())));
  }
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  RECT client{};
  GetClientRect(hwnd(), &client);
  // The caption's strip first (a shorter new caption leaves no trace of the
  // old one); no child lies in it.
  RECT strip{client.left, client.top, client.right, client.top + metrics.tmHeight};
  FillRect(dc, &strip, brush);
  RECT frame = client;
  frame.top += metrics.tmHeight / 2 - 1;
  DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
  const int length = GetWindowTextLengthW(hwnd());
  if (length > 0) {
    std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
    caption.resize(static_cast<size_t>(GetWindowTextW(hwnd(), caption.data(), length + 1)));
    RECT label{client.left + 8, client.top, client.right - 8, client.top + metrics.tmHeight};
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &label,
              DT_SINGLELINE | DT_LEFT | DT_TOP | DT_NOPREFIX | DT_CALCRECT);
    RECT margin{label.left - 1, label.top, label.right + 1, label.bottom + 1};
    FillRect(dc, &margin, brush);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &label,
              DT_SINGLELINE | DT_LEFT | DT_TOP | DT_NOPREFIX);
  }
  RestoreDC(dc, saved);
}

LRESULT CMygrp::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps{};
      HDC dc = BeginPaint(hwnd(), &ps);
      Paint(dc);
      EndPaint(hwnd(), &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      // A themed control inside asks for its background this way.
      Paint(reinterpret_cast<HDC>(wp));
      return 0;
    case WM_SETTEXT: {
      // The platform draws the new caption at once in its own way; ours
      // follows.
      const LRESULT result = Default(msg, wp, lp);
      InvalidateRect(hwnd(), nullptr, FALSE);
      return result;
    }
    case WM_ENABLE:
    case WM_UPDATEUISTATE: {
      const LRESULT result = Default(msg, wp, lp);
      InvalidateRect(hwnd(), nullptr, FALSE);
      return result;
    }
    default:
      break;
  }
  if (msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLOREDIT) {
    // The platform's brush stays; only the text colour changes.
    const LRESULT brush = Default(msg, wp, lp);
    HDC dc = reinterpret_cast<HDC>(wp);
    const int child = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
    if (child == ctl::kChecksumBox) {
      SetTextColor(dc, RGB(0, 0, 255));
    } else if (child == ctl::kStatusLine) {
      SetTextColor(dc, StatusTextColour(SendToMain(kMsgStatusFault, 0, 0) == 1));
    }
    return brush;
  }
  return Default(msg, wp, lp);
}

// --- CMystatic ------------------------------------------------------------

LRESULT CMystatic::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (id() != ctl::kWebLink) return Default(msg, wp, lp);
  switch (msg) {
    case WM_LBUTTONDOWN:
      SendToMain(kMsgLinkPressed, 0, 0);
      SetCapture(hwnd());
      RepaintNow(hwnd());  // in the pressed colour
      return 0;
    case WM_LBUTTONUP:
      if (SendToMain(kMsgLinkReleased, 0, 0) == 0) return 0;
      RepaintNow(hwnd());
      ReleaseCapture();
      if (ReleasedInside(hwnd(), lp)) {
        // Nothing to report when no browser opens.
        ShellExecuteW(hwnd(), L"open", LinkAddress().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      }
      return 0;
    default:
      return Default(msg, wp, lp);
  }
}

void ShowChecksumGreeting() {
  MessageBoxW(AppMainWindow(), Widen(kChecksumGreeting).c_str(),
              Widen(kChecksumGreetingCaption).c_str(), MB_OK);
}

}  // namespace zvp::win
