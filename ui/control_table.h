// The main window's controls: id, kind, caption, parent, rectangle and the
// styles that matter, in creation order. The Win32 window creates its child
// windows from this table; the headless window model keeps their state.
#pragma once

#include <cstdint>
#include <span>

namespace zvp {

enum class ControlKind { kGroup, kPush, kRadio, kCheck, kEdit, kLabel, kList };

// Style bits of a control in the table.
namespace style {
constexpr uint32_t kFirstOfGroup = 1u << 0;   // starts a new radio group
constexpr uint32_t kCentred = 1u << 1;        // centred text (edits)
constexpr uint32_t kUpperCase = 1u << 2;      // edit converts to upper case
constexpr uint32_t kReadOnly = 1u << 3;       // read-only edit
constexpr uint32_t kDigitsOnly = 1u << 4;     // edit accepts digits only
constexpr uint32_t kBorder = 1u << 5;         // plain border (file box)
constexpr uint32_t kAutoHScroll = 1u << 6;    // edit scrolls horizontally
constexpr uint32_t kNotify = 1u << 7;         // label notifies clicks (web link)
constexpr uint32_t kHiddenAtStart = 1u << 8;  // created invisible
constexpr uint32_t kDisabledAtStart = 1u << 9;
}  // namespace style

struct ControlRect {
  int left, top, right, bottom;
};

struct ControlSpec {
  int id;
  ControlKind kind;
  const char* caption;  // UTF-8; "" for edits without start text
  int parent;           // 0 = the main window, otherwise a group box id
  ControlRect rect;     // pixels, in the parent's client coordinates
  uint32_t styles;
};

// Every control of the main window, in creation order.
std::span<const ControlSpec> MainWindowControls();

// The entry for `id`, or nullptr.
const ControlSpec* FindControl(int id);

}  // namespace zvp
