// The wave-out layer: each stream's one device, opened paused on the wave
// mapper, its blocks queued through two play slots that take turns and a
// tail slot (the stream's four blocks, the fourth gathering the next one),
// completion found by polling. Each stream opens its own device, and the
// sound system mixes them.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/streams/platform.h"
#include "engine/streams/state.h"

namespace zelov {

// Number of devices the stream can play on (wave-out devices, or a mixed
// stream's sound cards); 0 when the system has none.
UINT wavecount(const stream& s);
// The name of device `index` as the device gives it; false when there is
// no such device.
bool wavedevicename(int32_t index, char16_t (&name)[devicenamesize]);
// Opens the device for the stream's current format, paused. False when it
// cannot be opened.
bool waveopen(stream& s);
// Queues `length` bytes of the slot's data. True when the block reached the
// device's queue.
bool wavequeue(stream& s, waveslot& slot, uint32_t length);
// Waits until the slot's previous block has left the device. False when a
// cancel or a seek was asked for first, or the device was lost.
bool wavereclaim(stream& s, waveslot& slot);
// Waits until the slot's block has been played. False when a cancel or a
// seek was asked for first, or the device was lost.
bool wavewaitdone(stream& s, waveslot& slot);
// Queues `ms` of silence (at most a block) from the slot, whose last block
// must be done, and waits until the device is done with it. The silence is
// not part of the file: the position and the level stay at its end. False
// as for wavewaitdone.
bool waverunout(stream& s, waveslot& slot, int32_t ms);
// Starts the open device (it opens paused).
void wavestart(stream& s);

// A stream's `wavelost` is set when a wait gave up because the device had
// stopped playing: started, not paused, and its position still for
// `wavelostms` milliseconds (the sound server went away). Before giving
// up, a wait closes such a device once and opens a new one with the same
// blocks queued again: a device opened just after the sound server came
// back may never start, where the next one plays.
extern std::atomic<int32_t> wavelostms;
// How much silence follows a run's last block before the device closes, in
// milliseconds (100). A device calls a block done once it has taken it,
// while the sound system behind it may still hold its last milliseconds:
// closing at once cut them, and Wine hands its sound server what it holds
// only while something follows, so a wait with nothing queued lost them
// too. A device that never waits (the benchmarks' and the fuzzer's) needs
// none.
extern std::atomic<int32_t> waverunoutms;
// Stops and closes the device, if one is open.
void waveclose(stream& s);

// The file time being heard, in seconds, from the device's position in the
// blocks it was given; with no block on a device, the time the next block
// will start at. Safe from any thread.
double waveposition(stream& s);
// The peak amplitude, 0 to 1, of the section of about 20 ms being heard;
// 0 with nothing on the device. Safe from any thread.
double wavepeak(stream& s);
// Sets the time shown while no block is queued (the start of a run).
void wavesetidle(stream& s, double time);
// A seek: the device drops every block it holds, unheard, and waits paused
// for the blocks from `time` on.
void wavediscard(stream& s, double time);

// The diagnostic line naming a device result, or nullptr for results that
// have none.
const char* waveresultname(MMRESULT result);

#ifndef ZELOV_STREAMS_ONLY
// The default stream's device under the names it has always had.
inline waveslot (&playslots)[2] = defaultstream.playslots;
inline waveslot& tailslot = defaultstream.tailslot;
inline char*& gatherblock = defaultstream.gatherblock;
inline WAVEFORMATEX& waveformat = defaultstream.waveformat;
inline bool& wavelost = defaultstream.wavelost;
inline bool waveopen() { return waveopen(defaultstream); }
inline bool wavequeue(waveslot& slot, uint32_t length) { return wavequeue(defaultstream, slot, length); }
inline bool wavereclaim(waveslot& slot) { return wavereclaim(defaultstream, slot); }
inline bool wavewaitdone(waveslot& slot) { return wavewaitdone(defaultstream, slot); }
inline void wavestart() { wavestart(defaultstream); }
inline void waveclose() { waveclose(defaultstream); }
inline double waveposition() { return waveposition(defaultstream); }
#endif

}  // namespace zelov
