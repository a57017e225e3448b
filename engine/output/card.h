// The sound cards the mixed streams play to: one mixer and one render
// thread per card, shared by every stream that plays there. A card's
// output opens with its first voice and lingers, playing silence, for
// `lingerms` after its last, so that the next sound starts on the card's
// next period; then its thread closes the output and ends, so that no audio
// session is held open for nothing. The card chosen by an empty id follows
// the user's default card, also when the user changes it during playback.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/output/endpoint.h"
#include "engine/output/mixer.h"
#include "engine/streams/state.h"

namespace zelov {

// How long a card's output stays open after its last voice, in
// milliseconds (2000).
extern std::atomic<int32_t> lingerms;

// The most cards open at once, the default one included.
constexpr int maxcards = 8;

struct card {
  card();
  ~card();
  card(const card&) = delete;
  card& operator=(const card&) = delete;

  char16_t id[endpointidsize] = {};  // empty: the default card
  mixer mix{2};
  // The output's state, for whoever waits for it to open.
  enum : int32_t { closed, opening, open, failed };
  std::atomic<int32_t> status{closed};
  std::atomic<int32_t> rate{0};
  // Frames written ahead of what the card plays, after the last period.
  std::atomic<uint32_t> ahead{0};
  // A card chosen by id that went away: its voices end as a lost device's.
  std::atomic<bool> lost{false};
  // The voices that use the card, attached or about to be; the thread's
  // life, under `life`.
  std::atomic<int32_t> users{0};
  spinlock life;
  bool running = false;
  HANDLE thread = nullptr;
  HANDLE ready = nullptr;  // set once the output has opened or failed
  HANDLE wake = nullptr;   // set to have the thread look at its state at once
  HANDLE shut = nullptr;  // set once the thread has closed its output
  // The thread ends as soon as no voice uses the card, without lingering.
  std::atomic<bool> cutlinger{false};
  // The thread's mix buffer: made with the card, never on the thread.
  static constexpr uint32_t bufferframes = 4096;
  float buffer[bufferframes * mixchannels] = {};
};

// The card of that id (empty: the default card), made on first use; null
// when maxcards are in use or memory cannot be had.
card* findcard(const char16_t* id);
// A voice's use of a card: its output open (opened first when it was
// closed), waiting up to a few seconds for it. False when the card cannot
// be opened; the use is then over.
bool entercard(card& c);
void leavecard(card& c);
// Ends the linger of every card no voice uses: its output closes and its
// thread ends now, waited for up to a second in all. For when the last
// control of a thread lets the engine go: a program that exits right after
// must not have a render thread inside the sound system as it does (under
// Wine that crashed the exit now and then).
void endlingering();
// Gives back the cards, for when the library leaves the process (no card's
// thread is live then: each holds the library while it runs).
void releasecards();

}  // namespace zelov
