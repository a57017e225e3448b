// The wave-out layer: one device opened paused on the wave mapper, blocks
// queued through two play slots that take turns and a tail slot, over four
// static blocks (the fourth gathers the next block), completion found by
// polling.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform.h"

namespace zelov {

constexpr uint32_t slotsize = 120000;

struct waveslot {
  WAVEHDR header;
  char* data;  // slotsize bytes
  uint32_t length;
  uint32_t order;  // when it was queued, among the run's blocks
  double time;     // the file time of its first frame, in seconds
};

// Two slots take turns carrying the full blocks of a run; the tail slot
// carries its last, partial block.
extern waveslot playslots[2];
extern waveslot tailslot;
// The block the worker gathers converted sound into, slotsize bytes. Once
// a play slot's block has left the device, the worker trades its gathered
// block for that one rather than copying the sound across.
extern char* gatherblock;
extern WAVEFORMATEX waveformat;

// Number of wave-out devices; 0 when the system has none.
UINT wavecount();
// Opens the device for the current stream's format, paused. False when it
// cannot be opened.
bool waveopen();
// Queues `length` bytes of the slot's data. True when the block reached the
// device's queue.
bool wavequeue(waveslot& slot, uint32_t length);
// Waits until the slot's previous block has left the device. False when a
// cancel or a seek was asked for first, or the device was lost.
bool wavereclaim(waveslot& slot);
// Waits until the slot's block has been played. False when a cancel or a
// seek was asked for first, or the device was lost.
bool wavewaitdone(waveslot& slot);
// Starts the open device (it opens paused).
void wavestart();

// Set when a wait gave up because the device had stopped playing: started,
// not paused, and its position still for `wavelostms` milliseconds (the
// sound server went away). Before giving up, a wait closes such a device
// once and opens a new one with the same blocks queued again: a device
// opened just after the sound server came back may never start, where the
// next one plays. Cleared by waveopen.
extern bool wavelost;
extern std::atomic<int32_t> wavelostms;
// Stops and closes the device, if one is open.
void waveclose();

// The file time being heard, in seconds, from the device's position in the
// blocks it was given; with no block on a device, the time the next block
// will start at. Safe from any thread.
double waveposition();
// Sets the time shown while no block is queued (the start of a run).
void wavesetidle(double time);
// A seek: the device drops every block it holds, unheard, and waits paused
// for the blocks from `time` on.
void wavediscard(double time);
// Gives the open device the playback volume.
void wavevolume();

// The diagnostic line naming a device result, or nullptr for results that
// have none.
const char* waveresultname(MMRESULT result);

}  // namespace zelov
