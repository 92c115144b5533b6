// The main window's command entry: every button, radio button and check box
// reports its id here (a click, or Enter while it has the focus), and the
// dispatcher applies the guards and either acts locally or starts an
// operation. Runs on the UI thread.
#pragma once

#include <string>

namespace zvp {

// `parent` is the id of the control's group box, or 0 for a control placed
// directly on the main window.
void DispatchCommand(int id, int parent);

// Greys the MTP-only controls; for OTP also selects 5.0 V. id is 114 (OTP)
// or 115 (MTP).
void SelectChipType(int id);

// 1..4 for the checked COM radio button (COM1 first), 0 when none is.
int SelectedPort();

// The port in use as the window names it: "COM1".."COM4" for a ticked
// button, "COM7" for a port chosen beyond them, "" for none.
std::string PortInUse();

// COMn chosen by name (the dialog of other ports, the start option, the
// stored settings), on the UI thread: COM1 to COM4 tick their button and
// connect as its click does; any other port unticks the four, the port
// group names it, and it is connected the same way.
void ConnectChosenPort(int number);

// The system menu's "选择其他串口...": ignored while an operation runs, as
// the port buttons are; otherwise the dialog of the other ports, and the
// port chosen there connected.
void ChooseOtherPort();

// Ticks `id` and unticks the other radio buttons of its group (the radio
// buttons with the same parent), as a click on an automatic radio button does.
void SelectRadio(int id);

}  // namespace zvp
