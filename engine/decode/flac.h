// FLAC, native (a file that begins "fLaC", or an ID3v2 tag and then that)
// and in Ogg (a first packet that begins 0x7F "FLAC"), through libFLAC,
// for the streams that play more than Vorbis (`stream::allcodecs`).
// libFLAC reads the whole file itself through the run's measuring reader:
// it measures, seeks and decodes it, so a FLAC run never goes through the
// Ogg page loop the Vorbis and Opus links share. Its samples reach the
// output as 32-bit floats (a 24-bit file keeps its precision), in Windows'
// speaker order, which is FLAC's own.
#pragma once
#include "engine/decode/run.h"

namespace zelov {

// Whether the file in `reader` begins as a FLAC file does; the reader is
// left at its start.
bool looksflac(source& reader);
// libFLAC over the run's measuring reader, its metadata read: the length
// and whether the file can be sought. False when libFLAC cannot take the
// file after all (the reader is then at its start again, for the others).
bool measureflac(run& r);
// The run's pass: announces the stream and decodes it from its start. A
// file whose STREAMINFO block is missing or damaged ends the run with
// resultbadheader.
void playflac(run& r);
// Seeks to the frame of `seconds`, or to the end; false when it failed.
bool seekflac(run& r, double seconds, bool toend);
double flactell(const run& r);
// Decodes from where the file stands to its end, or until the run must
// stop or seek. A frame libFLAC finds damaged is heard as silence of its
// length.
void decodeflacfromhere(run& r);
void releaseflac(run& r);

}  // namespace zelov
