// Who owns the process's one playback of "open". The engine plays one such
// file per process, whichever control of whichever thread started it. Each
// control has a number of its own; a control claims the playback before it
// cancels and opens, so that the others can tell that their file was cut
// short, and the last control of a thread cancels only a playback of that
// thread.
#pragma once
#include <cstdint>

namespace bridge {

uint32_t NewControlNumber();
void ClaimPlayback(uint32_t control);
// The control whose file the engine plays; 0 when it is nobody's (none was
// opened yet, or the control that opened it has ended).
uint32_t PlaybackOwner();
// The thread of the control that last claimed the playback.
uint32_t PlaybackThread();
// A control that ends gives up its claim.
void DisownPlayback(uint32_t control);

}  // namespace bridge
