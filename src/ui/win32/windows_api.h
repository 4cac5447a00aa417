// windows.h for the window's code. windows.h names MessageBoxA/W by a macro
// that would rename View's own MessageBox wherever ui/view.h comes after it:
// every file of the Win32 window includes windows.h through this header, and
// calls MessageBoxW by its name.
#pragma once

#include <windows.h>
#undef MessageBox
