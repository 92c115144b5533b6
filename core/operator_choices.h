// The operator's choices for one operation as a value: the chip, the
// voltages and the option boxes as the main window shows them when the
// operation (or a connection) starts, read once there (ui/window_choices)
// and handed to the engine, which keeps them in AppState::choices for the
// operation's whole run: every header the operation builds carries them.
// The few boxes an operation reads at a later moment go through
// core/operation_boxes.h.
#pragma once

#include <cstdint>

namespace zvp {

// The chip type (header byte 4: 1 = OTP, 2 = MTP). kNone when neither radio
// button is ticked; the header byte then keeps what it held.
enum class ChipChoice : uint8_t { kNone = 0, kOtp = 1, kMtp = 2 };

// The chip supply (header byte 11, bits 0-6: 1 = 5.0 V, 2 = 3.3 V). kNone
// when neither box counts; the byte then keeps what it held.
enum class SupplyChoice : uint8_t { kNone = 0, k5V = 1, k3V3 = 2 };

// Where the programming voltage comes from (header byte 11, bit 7: clear for
// 12 V, set for the chip supply). kNone leaves the bit as it was.
enum class VppChoice : uint8_t { kNone = 0, k12V, kVcc };

struct OperatorChoices {
  ChipChoice chip = ChipChoice::kNone;
  SupplyChoice supply = SupplyChoice::kNone;
  VppChoice vpp = VppChoice::kNone;
  uint32_t option_flags = 0;  // opt:: bits (core/app_state.h)
};

}  // namespace zvp
