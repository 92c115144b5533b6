#include "windows/window_rules.h"

#include "ui/control_ids.h"

namespace zvp::win {

namespace {

// The web address the label opens: 20 characters, each raised by one.
constexpr char kStoredLinkAddress[] = "xxx/{wq.uppm/jowbmje";
static_assert(sizeof(kStoredLinkAddress) - 1 == 20);

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

}  // namespace

PlatformControl PlatformControlFor(const ControlSpec& entry, bool tab_stop) {
  const uint32_t s = entry.styles;
  DWORD common = WS_CHILD;
  if (!(s & style::kHiddenAtStart)) common |= WS_VISIBLE;
  if (s & style::kDisabledAtStart) common |= WS_DISABLED;
  switch (entry.kind) {
    case ControlKind::kGroup:
      // Control parent: Tab and the arrow keys reach the controls inside.
      return {L"Button", common | BS_GROUPBOX, WS_EX_CONTROLPARENT};
    case ControlKind::kPush:
      return {L"Button", common | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::kRadio: {
      DWORD style = common | BS_AUTORADIOBUTTON;
      if (s & style::kFirstOfGroup) style |= WS_GROUP;
      if (tab_stop) style |= WS_TABSTOP;
      return {L"Button", style, 0};
    }
    case ControlKind::kCheck:
      return {L"Button", common | WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case ControlKind::kEdit: {
      DWORD style = common | WS_TABSTOP | ((s & style::kCentred) ? ES_CENTER : ES_LEFT);
      if (s & style::kUpperCase) style |= ES_UPPERCASE;
      if (s & style::kReadOnly) style |= ES_READONLY;
      if (s & style::kDigitsOnly) style |= ES_NUMBER;
      if (s & style::kBorder) style |= WS_BORDER;
      if (s & style::kAutoHScroll) style |= ES_AUTOHSCROLL;
      return {L"Edit", style, WS_EX_CLIENTEDGE};
    }
    case ControlKind::kLabel:
      return {L"Static", common | SS_LEFT | ((s & style::kNotify) ? SS_NOTIFY : 0), 0};
    case ControlKind::kList:
      return {WC_LISTVIEWW,
              common | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_NOSORTHEADER | LVS_NOSCROLL |
                  LVS_SHOWSELALWAYS,
              WS_EX_CLIENTEDGE | WS_EX_STATICEDGE};
  }
  return {L"Static", common, 0};
}

std::optional<COLORREF> MainTextColour(int child_id, bool label_pressed) {
  switch (child_id) {
    case ctl::kPortGroup:
    case ctl::kChipTypeGroup:
    case ctl::kVccGroup:
    case ctl::kOptionGroup:
    case ctl::kControlDataGroup:
    case ctl::kStatusGroup:
    case ctl::kViewGroup:
    case ctl::kCountGroup:
    case ctl::kAuxGroup:
    case ctl::kVppGroup:
      return RGB(0, 100, 100);
    case ctl::kOperationGroup:
    case ctl::kFileGroup:
      return RGB(0, 100, 255);
    case ctl::kWebLink:
      return label_pressed ? kRed : kBlue;
    default:
      return std::nullopt;
  }
}

COLORREF StatusTextColour(bool fault) {
  return fault ? kRed : kBlue;
}

bool StrictlyInside(const RECT& rect, POINT p) {
  return rect.left < p.x && p.x < rect.right && rect.top < p.y && p.y < rect.bottom;
}

bool InAbortZone(const RECT& format_rect, POINT p) {
  return format_rect.left < p.x && p.x < format_rect.left + 140 && format_rect.top < p.y &&
         p.y < format_rect.bottom;
}

bool EditAccepts(int id, wchar_t ch) {
  if (id == ctl::kFileBox) return true;
  return (ch >= L'0' && ch <= L'9') || (ch >= L'A' && ch <= L'F') || (ch >= L'a' && ch <= L'f') ||
         ch == L'\b';
}

bool IsFunctionKey(WPARAM virtual_key) {
  return virtual_key >= VK_F2 && virtual_key <= VK_F12;
}

bool HasPushButtonType(LONG_PTR style) {
  return (style & 0xFE) == 0;
}

std::wstring DecodeRaised(std::string_view stored) {
  std::wstring text;
  text.reserve(stored.size());
  for (char c : stored) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c) - 1));
  return text;
}

std::wstring LinkAddress() {
  return DecodeRaised(std::string_view(kStoredLinkAddress, sizeof(kStoredLinkAddress) - 1));
}

}  // namespace zvp::win
