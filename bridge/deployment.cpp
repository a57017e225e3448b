#include "bridge/deployment.h"

#include "base/product.h"
#include "bridge/calls.h"
#include "bridge/checksum.h"
#include "bridge/failure.h"
#include "bridge/link.h"
#include "bridge/system.h"
#include "resources/resource.h"

namespace bridge {

const char* const EngineFolder = "ZelSoftware\\";
const char* const EngineFileName = ZEL_ENGINE_FILE;

namespace {

constexpr int EngineResource = ZEL_ENGINE_RESOURCE;

// Ends a deployment pass with the general failure.
[[noreturn]] void fail() { throw AutomationError{DeploymentFailure, DeploymentFailureText()}; }

atext TempFolderPath() {
  atext path = sys::temppath();
  if (path.empty()) fail();  // no temporary folder: nowhere to deploy
  if (path.back() != '\\') path += '\\';
  return path;
}

bool CreateFolderPath(atext folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  for (std::size_t at = folder.find('\\'); at != atext::npos; at = folder.find('\\', at + 1))
    sys::createdirectory(folder.substr(0, at + 1));
  return sys::folderexists(folder);
}

// An empty deployed file counts as different from the carried engine.
bool FileChecksum(const atext& path, int32_t& sum) {
  sys::bytes content;
  if (!sys::readfile(path, content)) fail();
  if (content.empty()) return false;
  sum = ByteChecksum(content.data(), content.size());
  return true;
}

// Whether the write works does not matter here: what is then in the file
// decides whether it loads.
void WriteEngineFile(const atext& path, const sys::bytes& carried) {
  if (!carried.empty()) sys::writefile(path, carried);
}

// The deployed file, held open from its comparison with the carried engine
// until the library has been loaded: nobody can write, replace or delete it
// in between, so what was compared is what is loaded.
class HeldFile {
 public:
  explicit HeldFile(const atext& path) : handle_(sys::holdfile(path, content_)) {}
  ~HeldFile() {
    if (handle_) sys::releasefile(handle_);
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool holds(const sys::bytes& expected) const { return handle_ && !expected.empty() && content_ == expected; }

 private:
  sys::bytes content_;
  void* handle_;
};

// Loads the library at `path` only when it is byte for byte the carried
// engine (held from the comparison to the load); null otherwise.
void* LoadIfCarried(const atext& path, const sys::bytes& carried) {
  const HeldFile file(path);
  return file.holds(carried) ? sys::loadlibrary(path) : nullptr;
}

// The engine an installation put beside the control library, loaded when
// it is byte for byte the carried one: such a folder is one only
// administrators can write, and nothing then goes to the temporary folder,
// from which application control (AppLocker, WDAC, Smart App Control) may
// refuse to load an unsigned library. Null when there is none to use.
void* LoadInstalledEngine(const sys::bytes& carried, atext& path) {
  const atext folder = sys::modulefolder();
  if (folder.empty() || !sys::plainfileexists(folder + EngineFileName)) return nullptr;
  void* module = LoadIfCarried(folder + EngineFileName, carried);
  if (module) path = folder + EngineFileName;
  return module;
}

// Writes the carried engine to the temporary folder unless the copy there
// already has its running sum; a write that fails (another program holds
// the file) is found out when the copy is compared before its load.
// `path` is the copy's, set before anything can fail.
void DeployToTemp(const sys::bytes& carried, atext& path) {
  const atext folder = TempFolderPath() + EngineFolder;
  path = folder + EngineFileName;
  if (sys::plainfileexists(path)) {
    int32_t filesum = 0;
    const bool readable = FileChecksum(path, filesum);
    if (!readable || ByteChecksum(carried.data(), carried.size()) != filesum) {
      sys::deletefile(path);
      WriteEngineFile(path, carried);
    }
  } else {
    if (!CreateFolderPath(folder)) fail();
    WriteEngineFile(path, carried);
  }
}

}  // namespace

wtext DeploymentFailureText() {
  return widen("Unexpected error , please contact the developer ") + widen(product::SupportEmail);
}

void EnsureEngineLoaded(bool force) {
  LinkState& link = Link();
  if (!force && link.EngineLoaded) return;

  sys::bytes carried;
  if (!sys::resource(EngineResource, carried)) carried.clear();
  // Only the carried engine is ever loaded: a file that is anything else
  // (planted by another program and held open so that it could not be
  // replaced) fails as a library that does not load.
  void* earlier = link.EngineModule;
  const bool earlierran = link.EngineLoaded;
  link.EngineModule = LoadInstalledEngine(carried, link.EnginePath);
  if (!link.EngineModule) {
    DeployToTemp(carried, link.EnginePath);
    link.EngineModule = LoadIfCarried(link.EnginePath, carried);
  }
  // A pass holds one reference to the library. An earlier pass's reference
  // is let go once the new load has taken its own, when it is the same
  // library (which so stays mapped) or one that never ran (it lacked
  // interface1); another library, whose code may still be running, is kept.
  if (earlier && link.EngineModule && (earlier == link.EngineModule || !earlierran)) sys::freelibrary(earlier);
  if (!link.EngineModule) {
    sys::messagebox(LoadFailed);
    return;
  }
  link.EngineEntry = sys::getprocaddress(link.EngineModule, "interface1");
  if (!link.EngineEntry) {
    sys::messagebox(EntryMissing);
    return;
  }
  link.EngineLoaded = true;
}

void UnloadEngine() {
  LinkState& link = Link();
  if (link.EngineModule) sys::freelibrary(link.EngineModule);
  link.EngineModule = nullptr;
  link.EngineEntry = nullptr;
  link.EngineLoaded = false;
}

}  // namespace bridge
