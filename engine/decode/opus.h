// Ogg Opus. A link whose first packet is an OpusHead decodes through
// libopus packet by packet, as a Vorbis link does through libvorbis: the
// decoder's pre-skip dropped from its start, its end cut at the granule
// position of its last page. The sound comes out at 48 kHz. A file that is
// Opus from its start is measured, sought and looped through libopusfile,
// as a Vorbis file is through libvorbisfile. Only streams that ask for it
// play Opus (`stream::allcodecs`); elsewhere an Opus link is a stream
// that is not Vorbis.
#pragma once
#include "engine/decode/run.h"

namespace zelov {

constexpr int32_t opusrate = 48000;

bool isopushead(const ogg_packet& packet);
// The link whose OpusHead is in r.packet (its logical stream begun): reads
// its comment header,
// announces the link and readies its decoder. A head the engine does not
// play (more than two channels, a later version) ends the run with
// resultnotvorbis, a damaged comment header with resultbadheader.
void readopuslink(run& r);
// Decodes the audio packet in r.packet and hands its sound on.
void decodeopuspacket(run& r);

// libopusfile over the run's measuring reader, which stands at the file's
// start; false when it cannot open the file.
bool measureopus(run& r);
// Seeks to the frame of `seconds`, or to the end; false when it failed.
bool seekopus(run& r, double seconds, bool toend);
double opustell(run& r);
// Decodes through libopusfile from where it stands, as decodefromhere does
// through libvorbisfile.
void decodeopusfromhere(run& r);

}  // namespace zelov
