// The Windows services the engine uses. On Windows they are the real ones;
// the native Linux build supplies its own small stand-ins (engine/native) so
// that the same engine code runs under the sanitizers with a simulated device.
#pragma once

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#  include <mmsystem.h>
#  include <mmreg.h>
#  include <cstdio>
// Opens a file for reading by its UTF-16 name.
inline FILE* widefopen(const char16_t* path) { return _wfopen(reinterpret_cast<const wchar_t*>(path), L"rb"); }
#else
#  include "engine/native/winapi.h"
#endif
