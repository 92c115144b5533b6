// The main window's four control classes: the platform's button, edit and
// static controls, subclassed. Most controls are children of a group box, so
// the platform's own notifications would stop at the group box; these
// classes report clicks, keys and double-clicks straight to the
// application's main window instead (windows/window_messages.h), filter the
// typed characters, colour the status line, and run the web link.
#pragma once

#include <cstdint>
#include <string>

#include "windows/win32.h"

namespace zvp::win {

// A platform control with a window procedure of our own in front of the
// platform's. The object must outlive its window or unhooks itself.
class Control {
 public:
  Control() = default;
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Creates the platform control (`rect` in the parent's client
  // coordinates) and hooks it. False when the platform refused.
  bool Create(const wchar_t* window_class, const std::wstring& text, DWORD style, DWORD ex_style,
              const RECT& rect, HWND parent, int id);

  HWND hwnd() const { return hwnd_; }
  int id() const { return id_; }

 protected:
  virtual LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }
  // The platform control's own processing.
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);
  // Sends to the application's main window; 0 when there is none.
  static LRESULT SendToMain(UINT msg, WPARAM wp, LPARAM lp);
  LPARAM ParentParam() const;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR subclass,
                               DWORD_PTR self);
  void Unhook();

  HWND hwnd_ = nullptr;
  int id_ = 0;
};

// Push buttons, radio buttons and check boxes.
class CMybtn final : public Control {
 public:
  bool pressed() const { return pressed_ != 0; }
  bool locked() const { return locked_ != 0; }

 protected:
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  bool IgnoresPresses() const;

  uint8_t pressed_ = 0;
  uint8_t locked_ = 0;
};

// Edit boxes.
class CMyedit final : public Control {
 protected:
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;
};

// Group boxes: they colour the status line and the checksum box inside them.
// They draw themselves (etched frame, caption in the colour the main window
// asks for): a group box drawn by a visual style would show its caption in
// the style's colour, whatever the window asks for.
class CMygrp final : public Control {
 protected:
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Paint(HDC dc);
};

// Labels, the web link among them.
class CMystatic final : public Control {
 protected:
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;
};

// The greeting behind a double-click on the programmer-memory checksum box.
void ShowChecksumGreeting();

}  // namespace zvp::win
