// What passes through interface1: the command words, the run states that
// "intreturn" answers and the result codes a playback ends with. The engine
// answers them and the control sends and reads them; both take them from
// here, so that a word or a number is written once.
#pragma once
#include <cstdint>

namespace zelov {

// The command words, matched byte for byte including the terminator.
namespace word {
inline constexpr char open[] = "open";
inline constexpr char intreturn[] = "intreturn";    // run state plus pause flag
inline constexpr char intreturn2[] = "intreturn2";  // the last result code
inline constexpr char pause[] = "pause";
inline constexpr char resume[] = "resume";
inline constexpr char cancel[] = "cancel";
inline constexpr char samplerate[] = "samplerate";
inline constexpr char bitrate[] = "bitrate";
inline constexpr char intchannels[] = "intchannels";
inline constexpr char intversion[] = "intversion";
inline constexpr char intvendor[] = "intvendor";
inline constexpr char flagdewave[] = "flagdewave";  // sound has reached the device
inline constexpr char gettime[] = "gettime";
inline constexpr char gettimestring[] = "gettimestring";
inline constexpr char getsecondsstring[] = "getsecondsstring";
inline constexpr char getseconds[] = "getseconds";
// Like "open", for a path that the ANSI code page cannot spell or that is
// 256 bytes or longer: `text` points at the path in UTF-16, NUL-terminated,
// up to Windows' own limit of 32767 characters.
inline constexpr char openwide[] = "openwide";
}  // namespace word

// `playstate` while a worker runs, and what "intreturn" answers then.
constexpr int32_t running = 1000;
constexpr int32_t runningpaused = running + 1;
// Every run state below this is a playback that has ended.
constexpr int32_t endedbelow = 999;

// The codes a playback ends with.
enum EngineResult : int32_t {
  resultok = 0,             // read to its end, or cancelled
  resultdeviceopen = 2,     // the wave-out device cannot be opened
  resultnotogg = 3,         // a full read found no Ogg page
  resultfirstpage = 4,      // the first page of a stream was refused
  resultfirstpacket = 5,    // no complete first header packet
  resultnotvorbis = 6,      // the first packet is not a Vorbis header
  resultbadheader = 7,      // second or third header missing or damaged
  resultshortheaders = 8,   // the file ends before the three headers
  resultnodevice = 9,       // the system has no wave-out device
  resultcantopen = 10,      // the file cannot be opened for reading
};

}  // namespace zelov
