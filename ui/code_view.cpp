#include "ui/code_view.h"

#include "link/app_state.h"
#include "ui/control_ids.h"
#include "ui/dispatcher.h"
#include "ui/window_surface.h"

namespace zvp {

void SetupCodeView() {
  AppState& app = App();
  app.surface->PrepareCodeViewList();
  app.view_address = 0;
  app.surface->SetText(ctl::kViewAddress, "00000");
  SelectRadio(ctl::kViewMemory);
  app.surface->SetChecked(ctl::kViewAscii, false);
}

}  // namespace zvp
