// Run-time loading of a shared library and lookup of its entry points.
#pragma once

struct PlatLibrary;
typedef PlatLibrary* LibHandle;

// A generic entry point; callers cast it to the real signature.
typedef void (*LibProc)(void);

// Loads a library. A bare name without folder or extension is the
// platform's own library name for it ("wnaspi32" is wnaspi32.dll on
// Windows and libwnaspi32.so elsewhere) and goes through the platform's
// search; a path is used as it is. Null when it cannot be loaded.
LibHandle SysLoadLibrary(const char* name);
// Null when the library has no entry point of that name.
LibProc SysGetProcAddress(LibHandle lib, const char* name);
void SysFreeLibrary(LibHandle lib);
