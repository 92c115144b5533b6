// Changing one byte of the code from the code view: the double-click on a
// data cell of the list.
#pragma once

namespace zvp {

// The list's double-click on `row` (0..15) and `column` (1..16 for the
// bytes, 0 for the address, -1 for none). Asks for the new value through the
// window's edit dialog and puts it into the cell and into the code buffer;
// the programmer memory and the chip are not touched. Refused in the chip
// view and in ASCII mode; ignored while an operation runs. On the UI thread.
void EditCodeByte(int row, int column);

}  // namespace zvp
