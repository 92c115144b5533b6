#include "core/app_state.h"

#include "core/window_surface.h"

namespace zvp {

AppState& App() {
  static AppState state;
  return state;
}

void ResetAppState() {
  AppState& a = App();
  a.line_settings = LineSettings{};
  for (std::atomic<bool>* f :
       {&a.link_fault, &a.port_chosen, &a.programmer_found, &a.memory_loaded, &a.memory_edited,
        &a.busy, &a.auto_running, &a.user_abort, &a.stop_requested, &a.count_failure,
        &a.label_pressed, &a.view_ready, &a.reset_heard}) {
    f->store(false);
  }
  for (std::atomic<uint32_t>* n :
       {&a.option_flags, &a.range_start, &a.range_end, &a.reset_matched, &a.headers_reached,
        &a.checksum_start, &a.checksum_end, &a.pass_count, &a.fail_count, &a.view_address,
        &a.function_flags, &a.count_flags, &a.other_port, &a.start_port}) {
    n->store(0);
  }
  a.header.Fill(0);
  a.choices = OperatorChoices{};
  a.code_buffer.fill(kErasedByte);
}

void InstallWindow(WindowSurface* window) {
  AppState& a = App();
  a.status = window;
  a.dialogs = window;
  a.controls = window;
  a.view_list = window;
  a.frame = window;
  a.boxes = window ? &window->BoxesSeam() : nullptr;
}

}  // namespace zvp
