// An in-memory stand-in for the bridge's system services, for the native
// build (its tests and its demo): a file system of folders and files, the control library's
// resources, libraries that "load" from files, and the message boxes shown.
// A file loads as a library when its bytes start with "MZ"; it exports
// interface1 when its bytes contain that name, and the entry is then the
// function the caller chose.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bridge/system.h"

namespace memorysystem {

using entryfn = intptr_t (*)(const char*, char*, void*, void*);

struct file {
  bridge::sys::bytes content;
  bool hidden = false;
  bool unreadable = false;  // exists, but reading it fails
  bool locked = false;      // cannot be deleted or rewritten
  int holders = 0;          // our own holds (holdfile): no delete or write meanwhile
  int writes = 0;
};

struct world {
  std::string temp = "C:\\Users\\me\\Temp\\";
  std::string modulefolder = "C:\\Program Files\\App\\";  // where the control library lies
  std::set<std::string> folders{"C:\\", "C:\\Users\\", "C:\\Users\\me\\", "C:\\Users\\me\\Temp\\"};
  std::set<std::string> readonlyfolders;  // nothing can be created inside
  std::map<std::string, file> files;
  std::map<int, bridge::sys::bytes> resources;
  std::map<std::u16string, std::u16string> shortnames;
  entryfn entry = nullptr;

  // What happened.
  std::vector<std::string> messageboxes;
  std::map<std::string, int> loads;  // library references held, by path
  int unheldloads = 0;                // libraries loaded from a file we did not hold
  int listings = 0;
  int entrycalls = 0;
  std::size_t lastheadread = 0;
};

// The world the system functions see; reset() gives a fresh one.
world& now();
void reset();

// A carried engine of `size` bytes that loads and exports interface1.
bridge::sys::bytes engineimage(std::size_t size = 4096, uint8_t salt = 0);

}  // namespace memorysystem
