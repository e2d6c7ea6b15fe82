#pragma once

// <windows.h> and the common controls for the front end, through the host's
// wrapper so that no Win32 macro renames the contract's methods.

#include "platform/win32/windows_api.h"

#include <commctrl.h>
