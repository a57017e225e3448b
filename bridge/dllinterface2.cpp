#include "bridge/dllinterface2.h"

#include <atomic>
#include <utility>

#include "bridge/checksum.h"
#include "bridge/system.h"
#include "base/product.h"
#include "engine/protocol.h"
#include "resources/resource.h"

namespace bridge {

const char* const EngineFolder = "ZelSoftware\\";
const char* const EngineFileName = ZEL_ENGINE_FILE;

namespace {

constexpr int EngineResource = ZEL_ENGINE_RESOURCE;
const char* const LoadFailed = "error loading the dll";
const char* const EntryMissing = "error locating the interface1 function ";

// The link states by thread. A thread's entry stays where it is until its
// last control ends, so references to it stay good.
struct LinkEntry {
  uint32_t thread;
  LinkState state;
  LinkEntry* next;
};
LinkEntry* links = nullptr;

LinkState& LinkOf(uint32_t thread) {
  for (LinkEntry* entry = links; entry; entry = entry->next)
    if (entry->thread == thread) return entry->state;
  links = new LinkEntry{thread, LinkState{}, links};
  return links->state;
}

void ForgetLink(uint32_t thread) {
  for (LinkEntry** at = &links; *at; at = &(*at)->next) {
    if ((*at)->thread == thread) {
      delete std::exchange(*at, (*at)->next);
      return;
    }
  }
}

struct TableLock {
  TableLock() { sys::locktable(); }
  ~TableLock() { sys::unlocktable(); }
};

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

int32_t ResourceChecksum(int id) {
  sys::bytes content;
  if (!sys::resource(id, content)) return 0;
  return ByteChecksum(content.data(), content.size());
}

// An empty deployed file counts as different from the carried engine.
bool FileChecksum(const atext& path, int32_t& sum) {
  sys::bytes content;
  if (!sys::readfile(path, content)) fail();
  if (content.empty()) return false;
  sum = ByteChecksum(content.data(), content.size());
  return true;
}

void WriteEngineFile(const atext& path, int id) {
  sys::bytes content;
  if (sys::resource(id, content)) sys::writefile(path, content);
}

void DeleteQuietly(const atext& path) { sys::deletefile(path); }

}  // namespace

wtext DeploymentFailureText() {
  return widen("Unexpected error , please contact the developer ") + widen(product::SupportEmail);
}

LinkState& Link() {
  TableLock lock;
  return LinkOf(sys::threadid());
}

void EnsureEngineLoaded(bool force) {
  LinkState& link = Link();
  if (!force && link.EngineLoaded) return;

  const atext folder = TempFolderPath() + EngineFolder;
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

  // A pass holds one reference to the library. An earlier pass's reference
  // is let go once the new load has taken its own, when it is the same
  // library (which so stays mapped) or one that never ran (it lacked
  // interface1); another library, whose code may still be running, is kept.
  void* earlier = link.EngineModule;
  const bool earlierran = link.EngineLoaded;
  link.EngineModule = sys::loadlibrary(link.EnginePath);
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

namespace {

// The owner of the process's playback: its control in the low half, its
// thread in the high half, so that both change together.
std::atomic<uint64_t> playbackowner{0};
std::atomic<uint32_t> lastcontrolnumber{0};

uint32_t OwnerThread() { return static_cast<uint32_t>(playbackowner.load() >> 32); }

}  // namespace

uint32_t NewControlNumber() { return ++lastcontrolnumber; }

void ClaimPlayback(uint32_t control) {
  playbackowner.store(static_cast<uint64_t>(sys::threadid()) << 32 | control);
}

uint32_t PlaybackOwner() { return static_cast<uint32_t>(playbackowner.load()); }

void DisownPlayback(uint32_t control) {
  uint64_t owner = playbackowner.load();
  while (static_cast<uint32_t>(owner) == control &&
         !playbackowner.compare_exchange_weak(owner, owner & ~uint64_t{0xffffffff})) {
  }
}

bool EngineLinked() {
  const LinkState& link = Link();
  return link.EngineModule && link.EngineEntry;
}

void AttachControl() { ++Link().controls; }

void DetachControl() {
  LinkState& link = Link();
  if (--link.controls > 0) return;
  if (link.EngineLoaded && link.EngineEntry && OwnerThread() == sys::threadid()) {
    // The worker runs code of the library: it must end before the release.
    // A playback started on another thread is that thread's to end.
    CallEngine(widen(zelov::word::cancel), u" ", u" ", u" ");
  }
  UnloadEngine();
  TableLock lock;
  ForgetLink(sys::threadid());
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
atext EngineBuffer(const wtext& text) { return sys::toansi(text + u'\0'); }

}  // namespace

int32_t CallEngine(const wtext& command, const wtext& text, const wtext& third, const wtext& fourth) {
  if (!linked()) return 0;
  atext a = EngineBuffer(command), b = EngineBuffer(text), c = EngineBuffer(third), d = EngineBuffer(fourth);
  return static_cast<int32_t>(sys::callentry(Link().EngineEntry, a.data(), b.data(), c.data(), d.data()));
}

int32_t CallEngineText(wtext& command, wtext& text, wtext& third, int32_t fourth) {
  if (!linked()) return 0;
  atext a = EngineBuffer(command), b = EngineBuffer(text), c = EngineBuffer(third);
  const intptr_t result = sys::callentry(Link().EngineEntry, a.data(), b.data(), c.data(),
                                         reinterpret_cast<void*>(static_cast<intptr_t>(fourth)));
  command = sys::fromansi(a);
  text = sys::fromansi(b);
  third = sys::fromansi(c);
  return static_cast<int32_t>(result);
}

int32_t CallEngineData(const char* command, void* data) {
  if (!linked()) return 0;
  atext word = EngineBuffer(widen(command)), third = EngineBuffer(u" "), fourth = third;
  return static_cast<int32_t>(sys::callentry(Link().EngineEntry, word.data(), data, third.data(), fourth.data()));
}

bool IsEmptyText(const wtext& value) { return value.empty(); }

bool FileReadable(const wtext& path) { return sys::readhead(path, 255); }

void OpenInEngine(const wtext& path) {
  if (sys::ansiexact(path) && sys::toansi(path).size() < 256) {
    CallEngine(widen(zelov::word::open), path, u" ", u" ");
    return;
  }
  wtext wide = path + u'\0';
  CallEngineData(zelov::word::openwide, wide.data());
}

}  // namespace bridge
