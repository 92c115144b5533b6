// The main window's controls by id (the ids live in ui/), for the user
// interface: the dispatcher, the start-up, the settings and the reading of
// the operator's choices. The layers below it reach the window's boxes only
// through core/operation_boxes.h. Texts are UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace zvp {

class WindowControls {
 public:
  virtual ~WindowControls() = default;
  virtual std::string GetText(int id, size_t max_chars) = 0;
  virtual void SetText(int id, const std::string& text) = 0;
  virtual bool IsChecked(int id) = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  virtual bool IsEnabled(int id) = 0;
  virtual void SetEnabled(int id, bool enabled) = 0;
  virtual bool IsVisible(int id) = 0;
  virtual void SetVisible(int id, bool visible) = 0;
};

}  // namespace zvp
