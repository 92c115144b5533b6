// The operator's choices for one operation as a value: the chip, the
// voltages and the option boxes as the main window shows them when the
// operation (or a connection) starts, read once there (ui/window_choices)
// and handed to the engine, which keeps them in AppState::choices for the
// operation's whole run: every header the operation builds carries them.
// The few boxes an operation reads at a later moment go through
// core/operation_boxes.h.
#pragma once

#include <cstdint>
#include <optional>

#include "core/protocol.h"

namespace zvp {

// A choice the window leaves open (neither radio button ticked, or the
// ticked one greyed) is empty: the header byte keeps what it held.
struct OperatorChoices {
  std::optional<ChipType> chip;
  std::optional<Supply> supply;
  // Where the programming voltage comes from: the chip supply, or 12 V.
  std::optional<bool> vpp_from_supply;
  uint32_t option_flags = 0;  // opt:: bits (core/app_state.h)
};

}  // namespace zvp
