#include "ui/window_choices.h"

#include "core/app_state.h"
#include "core/window_controls.h"
#include "ui/control_ids.h"
#include "ui/option_boxes.h"

namespace zvp {

namespace {

bool EnabledAndTicked(int id) {
  return Controls().IsEnabled(id) && Controls().IsChecked(id);
}

}  // namespace

OperatorChoices ReadOperatorChoices() {
  WindowControls& w = Controls();
  OperatorChoices c;
  // These two reads do not look at whether the buttons are enabled.
  if (w.IsChecked(ctl::kChipOtp)) c.chip = ChipType::kOtp;
  if (w.IsChecked(ctl::kChipMtp)) c.chip = ChipType::kMtp;
  if (EnabledAndTicked(ctl::kVdd50)) c.supply = Supply::k5V0;
  if (EnabledAndTicked(ctl::kVdd33)) c.supply = Supply::k3V3;
  if (EnabledAndTicked(ctl::kVpp12)) c.vpp_from_supply = false;
  if (EnabledAndTicked(ctl::kVppVcc)) c.vpp_from_supply = true;
  for (const OptionBox& b : kOptionBoxes) {
    if (EnabledAndTicked(b.id)) c.option_flags |= b.bit;
  }
  return c;
}

}  // namespace zvp
