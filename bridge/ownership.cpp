#include "bridge/ownership.h"

#include <atomic>

#include "bridge/system.h"

namespace bridge {

namespace {

// The owner of the process's playback: its control in the low half, its
// thread in the high half, so that both change together.
std::atomic<uint64_t> playbackowner{0};
std::atomic<uint32_t> lastcontrolnumber{0};

}  // namespace

uint32_t NewControlNumber() { return ++lastcontrolnumber; }

void ClaimPlayback(uint32_t control) {
  playbackowner.store(static_cast<uint64_t>(sys::threadid()) << 32 | control);
}

uint32_t PlaybackOwner() { return static_cast<uint32_t>(playbackowner.load()); }

uint32_t PlaybackThread() { return static_cast<uint32_t>(playbackowner.load() >> 32); }

void DisownPlayback(uint32_t control) {
  uint64_t owner = playbackowner.load();
  while (static_cast<uint32_t>(owner) == control &&
         !playbackowner.compare_exchange_weak(owner, owner & ~uint64_t{0xffffffff})) {
  }
}

}  // namespace bridge
