// The device a stream's blocks play on, for the wave-out layer: a wave-out
// device of its own, or, for a mixed stream, its voice on its sound card's
// mixer. Each call answers as the wave-out call of the same name does, so
// that the worker's queueing, waits, seeks and position map are the same
// for both; a mixed stream's device handle stands for its voice.
#pragma once
#include "engine/streams/platform.h"
#include "engine/streams/state.h"

namespace zelov {

MMRESULT outopen(stream& s, HWAVEOUT* device, const WAVEFORMATEX& format);
MMRESULT outprepare(stream& s, HWAVEOUT device, WAVEHDR& header);
MMRESULT outwrite(stream& s, HWAVEOUT device, WAVEHDR& header);
MMRESULT outunprepare(stream& s, HWAVEOUT device, WAVEHDR& header);
MMRESULT outpause(stream& s, HWAVEOUT device);
MMRESULT outrestart(stream& s, HWAVEOUT device);
MMRESULT outreset(stream& s, HWAVEOUT device);
MMRESULT outclose(stream& s, HWAVEOUT device);
// A run that ended hands its follower to the mix before its voice is reset
// and leaves it: the mix lets the follower in on the frame after the last,
// at the latest with the render after it (when its last frame ended one),
// and this waits for that, the voice still mixed. Reset or taken out of the
// mix first, a thread held up there would leave the follower waiting, the
// card silent, for as long. A voice paused or cancelled lets its follower
// go now, to start with its card's next render.
void outletgo(stream& s);
// The bytes played since the device opened or was reset; false when the
// device cannot tell.
bool outposition(stream& s, HWAVEOUT device, DWORD& bytes);
// A mixed stream whose chosen card went away: it ends as a lost device.
bool outlost(const stream& s);
// The devices the stream can play on.
UINT outcount(const stream& s);

// A mixed stream's: makes it mixed (its voice made once, kept until the
// library leaves), false when memory cannot be had; its gain set from its
// volume (over a short ramp, or sliding over `fadems` milliseconds: a
// fade, whose serial it answers, the fade or gain put after it winning);
// its live sound moved to the card now chosen.
bool makemixed(stream& s);
uint32_t outsetgain(stream& s, uint32_t fadems = 0);
void outmove(stream& s);
// Frees the streams' voices, for when the library leaves the process.
void releasevoices();

}  // namespace zelov
