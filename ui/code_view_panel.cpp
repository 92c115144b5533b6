#include "ui/code_view_panel.h"

#include "core/app_state.h"
#include "core/code_view_list.h"
#include "ui/control_ids.h"
#include "core/window_controls.h"
#include "ui/dispatcher.h"

namespace zvp {

void ShowCodeView(int show) {
  for (int id : {ctl::kAuxGroup, ctl::kPortGroup, ctl::kChipTypeGroup, ctl::kVccGroup,
                 ctl::kOptionGroup, ctl::kControlDataGroup, ctl::kOperationGroup, ctl::kFileGroup,
                 ctl::kVppGroup, ctl::kWebLink, ctl::kQuit})
    Controls().SetVisible(id, show == 0);
  for (int id : {ctl::kViewGroup, ctl::kViewList, ctl::kBack}) Controls().SetVisible(id, show == 1);
}

void SetupCodeView() {
  ViewList().PrepareCodeViewList();
  App().view_address = 0;
  Controls().SetText(ctl::kViewAddress, "00000");
  SelectRadio(ctl::kViewMemory);
  Controls().SetChecked(ctl::kViewAscii, false);
}

}  // namespace zvp
