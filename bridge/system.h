// The operating-system services the bridge uses, kept behind a few plain
// functions: Win32 in system_win32.cpp, an in-memory stand-in for the native
// tests. Paths here are byte strings in the ANSI code page.
#pragma once
#include <cstdint>

#include "base/text.h"

namespace bridge::sys {

using base::atext;
using base::wtext;

using bytes = base::buffer<uint8_t>;

// The user's temporary folder as the system gives it ("" when it cannot).
atext temppath();
// CreateDirectoryA on one folder; whether it worked does not matter.
void createdirectory(const atext& path);
// Whether a listing of exactly this path finds a folder.
bool folderexists(const atext& path);
// Whether a listing of exactly this path finds an ordinary file: not a
// folder, not hidden, not a system file.
bool plainfileexists(const atext& path);
// The whole content of a file; false when it cannot be read.
bool readfile(const atext& path, bytes& content);
// Creates or truncates the file and writes the bytes; false on failure.
bool writefile(const atext& path, const bytes& content);
void deletefile(const atext& path);
// Opens the file for reading so that, until it is released, nobody can
// write, replace or delete it (a library may still be loaded from it), and
// reads its whole content through that handle. Null when it cannot be
// opened so (it is missing, or a program has it open for writing) or read.
void* holdfile(const atext& path, bytes& content);
void releasefile(void* held);

// The control library's own data resource (type 10) with this identifier.
bool resource(int id, bytes& content);
// The folder the control library itself was loaded from, with its closing
// backslash ("" when it cannot be told or the ANSI code page cannot carry
// it).
atext modulefolder();

void* loadlibrary(const atext& path);
void* getprocaddress(void* module, const char* name);
void freelibrary(void* module);
// Calls a four-argument callback of the window-procedure shape.
intptr_t callentry(void* entry, void* first, void* second, void* third, void* fourth);

// A modal message box with an OK button and the application title.
void messagebox(const char* text);

// UTF-16 to the ANSI code page and back, byte for character.
atext toansi(const wtext& text);
wtext fromansi(const atext& bytes);
// Whether the ANSI code page carries the text unchanged.
bool ansiexact(const wtext& text);
// A path that the ANSI code page can carry: the path itself when it can,
// otherwise its short (8.3) form when the file system has one.
wtext ansiform(const wtext& path);
// Opens the file and reads up to `most` bytes from its start; false when it
// cannot be opened or read.
bool readhead(const wtext& path, std::size_t most);

// An identifier of the calling thread, and a lock around the table of
// per-thread link states.
uint32_t threadid();
void locktable();
void unlocktable();

}  // namespace bridge::sys
