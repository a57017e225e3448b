#include "bridge/link.h"

#include <utility>

#include "bridge/calls.h"
#include "bridge/deployment.h"
#include "bridge/ownership.h"
#include "bridge/system.h"
#include "engine/protocol.h"

namespace bridge {

namespace {

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

}  // namespace

LinkState& Link() {
  TableLock lock;
  return LinkOf(sys::threadid());
}

bool EngineLinked() {
  const LinkState& link = Link();
  return link.EngineModule && link.EngineEntry;
}

void AttachControl() { ++Link().controls; }

void DetachControl() {
  LinkState& link = Link();
  if (--link.controls > 0) return;
  if (link.EngineLoaded && link.EngineEntry && PlaybackThread() == sys::threadid()) {
    // The worker runs code of the library: it must end before the release.
    // A playback started on another thread is that thread's to end.
    CallEngine(base::widen(zelov::word::cancel), u" ", u" ", u" ");
  }
  // No sound card's output lingers for a next sound that will not come: a
  // program that exits right after must not have a render thread inside
  // the sound system as it does.
  if (link.EngineLoaded && link.EngineEntry) CallEngine(base::widen(zelov::word::endlinger), u" ", u" ", u" ");
  UnloadEngine();
  TableLock lock;
  ForgetLink(sys::threadid());
}

}  // namespace bridge
