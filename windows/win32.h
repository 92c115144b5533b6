// The Windows headers as the window code uses them. <windows.h> defines
// MessageBox as a macro, which would rename the window seam's MessageBox
// record in every file that sees both; the window code calls MessageBoxW by
// its full name, so the macro goes.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The ones below need <windows.h> first.
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#undef MessageBox
