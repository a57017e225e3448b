#include "bridge/dllinterface2.h"

#include <map>

#include "bridge/checksum.h"
#include "bridge/system.h"
#include "control/product.h"

namespace bridge {

const char* const EngineFolder = "ZelSoftware\\";
const char* const EngineFileName = "zelov.dll";

namespace {

constexpr int EngineResource = 1;
const char* const LoadFailed = "error loading the dll";
const char* const EntryMissing = "error locating the interface1 function ";

std::map<uint32_t, LinkState>& links() {
  static std::map<uint32_t, LinkState> table;
  return table;
}

struct TableLock {
  TableLock() { sys::locktable(); }
  ~TableLock() { sys::unlocktable(); }
};

// Ends a deployment pass with the general failure.
[[noreturn]] void fail() { throw AutomationError{DeploymentFailure, DeploymentFailureText()}; }

std::string TempFolderPath() {
  std::string path = sys::temppath();
  if (path.empty()) fail();  // no temporary folder: nowhere to deploy
  if (path.back() != '\\') path += '\\';
  return path;
}

bool CreateFolderPath(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  for (std::size_t at = folder.find('\\'); at != std::string::npos; at = folder.find('\\', at + 1))
    sys::createdirectory(folder.substr(0, at + 1));
  return sys::folderexists(folder);
}

int32_t ResourceChecksum(int id) {
  sys::bytes content;
  if (!sys::resource(id, content)) return 0;
  return ByteChecksum(content.data(), content.size());
}

// An empty deployed file counts as different from the carried engine.
bool FileChecksum(const std::string& path, int32_t& sum) {
  sys::bytes content;
  if (!sys::readfile(path, content)) fail();
  if (content.empty()) return false;
  sum = ByteChecksum(content.data(), content.size());
  return true;
}

void WriteEngineFile(const std::string& path, int id) {
  sys::bytes content;
  if (sys::resource(id, content)) sys::writefile(path, content);
}

void DeleteQuietly(const std::string& path) { sys::deletefile(path); }

}  // namespace

wtext DeploymentFailureText() {
  return widen("Unexpected error , please contact the developer ") + widen(product::SupportEmail);
}

LinkState& Link() {
  TableLock lock;
  return links()[sys::threadid()];
}

void EnsureEngineLoaded(const int16_t& force) {
  LinkState& link = Link();
  if (force == False && link.EngineLoaded == True) return;

  const std::string folder = TempFolderPath() + EngineFolder;
  link.EnginePath = folder + EngineFileName;
  if (sys::plainfileexists(link.EnginePath)) {
    int32_t filesum = 0;
    const bool readable = FileChecksum(link.EnginePath, filesum);
    if (!readable || ResourceChecksum(EngineResource) != filesum) {
      DeleteQuietly(link.EnginePath);
      WriteEngineFile(link.EnginePath, EngineResource);
    }
  } else {
    if (!CreateFolderPath(folder)) fail();
    WriteEngineFile(link.EnginePath, EngineResource);
  }

  link.EngineModule = sys::loadlibrary(link.EnginePath);
  if (!link.EngineModule) {
    sys::messagebox(LoadFailed);
    return;
  }
  link.EngineEntry = sys::getprocaddress(link.EngineModule, "interface1");
  if (!link.EngineEntry) {
    sys::messagebox(EntryMissing);
    return;
  }
  link.EngineLoaded = True;
}

void UnloadEngine() {
  LinkState& link = Link();
  if (link.EngineLoaded == True && link.EngineModule) sys::freelibrary(link.EngineModule);
}

void AttachControl() { ++Link().controls; }

void DetachControl() {
  LinkState& link = Link();
  if (--link.controls > 0) return;
  if (link.EngineLoaded == True && link.EngineEntry) {
    // The worker runs code of the library: it must end before the release.
    CallEngine(u"cancel", u" ", u" ", u" ");
  }
  UnloadEngine();
  TableLock lock;
  links().erase(sys::threadid());
}

namespace {

bool linked() {
  const LinkState& link = Link();
  if (!link.EngineModule) {
    sys::messagebox(LoadFailed);
    return false;
  }
  if (!link.EngineEntry) {
    sys::messagebox(EntryMissing);
    return false;
  }
  return true;
}

// The NUL-terminated ANSI buffer the engine gets for a text.
std::string buffer(const wtext& text) { return sys::toansi(text + u'\0'); }

}  // namespace

int32_t CallEngine(const wtext& command, const wtext& text, const wtext& third, const wtext& fourth) {
  if (!linked()) return 0;
  std::string a = buffer(command), b = buffer(text), c = buffer(third), d = buffer(fourth);
  return static_cast<int32_t>(sys::callentry(Link().EngineEntry, a.data(), b.data(), c.data(), d.data()));
}

int32_t CallEngineText(wtext& command, wtext& text, wtext& third, int32_t fourth) {
  if (!linked()) return 0;
  std::string a = buffer(command), b = buffer(text), c = buffer(third);
  const intptr_t result = sys::callentry(Link().EngineEntry, a.data(), b.data(), c.data(),
                                         reinterpret_cast<void*>(static_cast<intptr_t>(fourth)));
  command = sys::fromansi(a);
  text = sys::fromansi(b);
  third = sys::fromansi(c);
  return static_cast<int32_t>(result);
}

int16_t IsEmptyText(const wtext& value) { return value.empty() ? True : False; }

int16_t FileReadable(const wtext& path) { return sys::readhead(path, 255) ? True : False; }

wtext AnsiPath(const wtext& path) { return sys::ansiform(path); }

}  // namespace bridge
