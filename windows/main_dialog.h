// MainDialog: the program's one window, run modally on the empty dialog
// template IDD_MAIN. It creates every control of the control table in code,
// gives them their fonts, applies the start-up state, and maps its messages
// onto the portable core (dispatcher, timers, window answers, settings).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "windows/custom_controls.h"
#include "windows/handles.h"
#include "windows/modal_dialog.h"
#include "windows/win32.h"

namespace zvp::win {

class Win32Surface;

class MainDialog : public ModalDialog<MainDialog> {
 public:
  // `caption` is the window's caption; the surface is installed in App()
  // by the caller and bound to the window here.
  MainDialog(HINSTANCE instance, Win32Surface* surface, std::wstring caption);
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // Runs the window; returns when it has been closed (settings saved).
  INT_PTR RunModal();

 private:
  friend class ModalDialog<MainDialog>;

  BOOL OnInitDialog() { return InitMainWindow(); }
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp);

  BOOL InitMainWindow();
  void BuildMainWindow();
  void CreateControls();
  void CreateFonts();
  UniqueFont MakeNumbersFont();
  INT_PTR MainColours(HDC dc, HWND child);
  bool PaintMinimised();
  void OnListDoubleClick(const NMHDR* header);
  int ParentId(HWND parent) const;

  HINSTANCE instance_;
  Win32Surface* surface_;
  std::wstring caption_;
  bool closing_ = false;  // asked to close; waiting for the operation to end

  // The controls live as long as this object, past their windows.
  std::vector<std::unique_ptr<Control>> controls_;
  std::map<int, HWND> windows_;  // every control by id

  UniqueIcon icon_;
  UniqueIcon small_icon_;
  UniqueFont panel_font_;
  UniqueFont numbers_font_;
  UniqueFont link_font_;
  UniqueFont list_font_;
};

}  // namespace zvp::win
