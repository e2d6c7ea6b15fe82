#pragma once

// The one way this code includes <windows.h>. The header defines DeleteFile,
// MoveFile, CopyFile and other names as macros that would rename the
// platform contract's methods; they are undefined here, and the Win32 calls
// are made by their wide-character names (DeleteFileW, ...).

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>

#undef DeleteFile
#undef MoveFile
#undef CopyFile
#undef GetFileAttributes
#undef SetFileAttributes
#undef CreateFile
#undef GetCurrentDirectory
