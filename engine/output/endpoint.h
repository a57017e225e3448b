// A sound card as the mixer writes to it: on Windows a render endpoint
// through WASAPI in shared mode, event-driven, in the card's own mix format
// (wasapi.cpp); in the native build a simulated card that keeps what it is
// given (native/simendpoint.cpp). Also the cards Windows lists, by their
// full names and their ids, and a watch on the user's default card.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/streams/platform.h"
#include "engine/protocol.h"

namespace zelov {

class endpoint {
 public:
  virtual ~endpoint() = default;
  // The card's format: its rate and channels, and how many frames it asks
  // for each period.
  int32_t rate = 0;
  int channels = 0;
  uint32_t periodframes = 0;
  // Waits until the card wants more sound, or `wake` is set, at most `ms`.
  virtual void wait(HANDLE wake, DWORD ms) = 0;
  // The frames the card takes now, kept to what keeps it playing without a
  // gap (a period or two ahead of what it plays). False when the card is
  // gone (unplugged, disabled).
  virtual bool room(uint32_t& frames) = 0;
  // Hands the card `frames` frames of interleaved float samples, converted
  // to its format. False when the card is gone.
  virtual bool write(const float* mix, uint32_t frames) = 0;
  // Frames written and not yet heard.
  virtual uint32_t ahead() = 0;
};

// Opens and starts the card of that id, or the user's default card for an
// empty id; null when there is none or its format cannot be used.
endpoint* openendpoint(const char16_t* id);
// Stops and frees a card opened here (null is ignored).
void closeendpoint(endpoint* card);
// The render cards that are present, in Windows' order.
int endpointcount();
// The card at `index`: its full name and its id, cut to `size` characters
// with their terminator. False when there is no such card.
bool endpointname(int index, char16_t* name, std::size_t size);
bool endpointid(int index, char16_t* id, std::size_t size);
// Whether a card of that id is present.
bool endpointpresent(const char16_t* id);

// What a thread that renders needs around its use of the cards (COM, in
// its multithreaded apartment, and a priority above the decoders').
void enterrenderthread();
void leaverenderthread();

// Counts the user's changes of default card, and sets `wake` at each,
// while it lives. Made and freed on the thread that renders.
class defaultwatch {
 public:
  virtual ~defaultwatch() = default;
  std::atomic<uint32_t> changes{0};
};
// Null when the changes cannot be watched. unwatch frees it (null is
// ignored).
defaultwatch* watchdefault(HANDLE wake);
void unwatch(defaultwatch* watch);

}  // namespace zelov
