// What passes through interface1: the command words, the run states that
// "intreturn" answers and the result codes a playback ends with. The engine
// answers them and the control sends and reads them; both take them from
// here, so that a word or a number is written once.
#pragma once
#include <cstddef>
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

// The words of ZelOggPlayEx. Their data is binary, in the caller's byte
// order: `text` points at the value or at the buffer named.
inline constexpr char seek[] = "seek";              // in: double, seconds from the start of the file
inline constexpr char getposition[] = "getposition";  // out: double, the seconds being heard
inline constexpr char getduration[] = "getduration";  // out: double, the file's length in seconds
inline constexpr char setvolume[] = "setvolume";    // in: int32, 0 to 100
inline constexpr char gettags[] = "gettags";        // out: tagbuffersize bytes, see below
inline constexpr char setloop[] = "setloop";        // in: int32, 1 to play the file again at its end
inline constexpr char openmemory[] = "openmemory";  // in: a memoryfile, whose bytes the engine copies
inline constexpr char setdevice[] = "setdevice";    // in: int32, the device of the next file; anydevice
inline constexpr char devicecount[] = "devicecount";  // answers the number of wave-out devices
inline constexpr char devicename[] = "devicename";  // in and out: a devicenamebuffer; answers 1, or 0
inline constexpr char getpeak[] = "getpeak";        // out: double, 0 to 1, the peak being heard
// in: int32, 1 to play the stream's next runs on its sound card's mixer
// (shared by every mixed stream there) rather than a wave-out device of its
// own; answers 1, or 0 while a run is live or when the mixer cannot be had.
// A mixed stream's "setvolume" is a gain in the mix, its "setdevice" and
// "setdeviceid" move a live sound to the new card at once, and its
// "devicecount" counts the cards Windows lists for rendering.
inline constexpr char setmixed[] = "setmixed";
inline constexpr char endpointcount[] = "endpointcount";  // answers the number of sound cards for the mixer
inline constexpr char endpointname[] = "endpointname";  // in and out: an endpointtext; answers 1, or 0
inline constexpr char endpointid[] = "endpointid";      // in and out: an endpointtext; answers 1, or 0
// in: UTF-16, NUL-terminated, the id of the card to play on; an empty one
// goes back to the device index. Answers 1, or 0 (nothing changed) when no
// card of that id is present.
inline constexpr char setdeviceid[] = "setdeviceid";
// How long a sound card's output stays open after the last sound on it, for
// every card of the process: "setlinger" takes int32 milliseconds (0 to
// lingermost), "getlinger" answers them.
inline constexpr char setlinger[] = "setlinger";
inline constexpr char getlinger[] = "getlinger";
// Closes at once the output of every card no sound uses, rather than let it
// linger, and waits (a second at most) until they are closed: what a host
// sends as its last control lets the engine go. Answers 1.
inline constexpr char endlinger[] = "endlinger";
// A mixed stream's stages in the mix, kept from file to file and heard
// within a period: "setpan" takes a double from -1 (left) to 1 (right),
// "setrate" a double from rateleast to ratemost (the speed, the pitch
// with it). Each answers 1, or 0 (nothing changed) for a value out of its
// range or a stream that is not mixed.
inline constexpr char setpan[] = "setpan";
inline constexpr char setrate[] = "setrate";
// A mixed stream's volume sliding to a fadeorder's over its milliseconds,
// a sample at a time (a "setvolume" or another "fade" after it wins): it
// becomes the stream's volume at once, and "fade" answers the fade's serial
// (0 for a stream that is not mixed or an order out of range).
// "getfadedone" answers the serial of the last fade that reached its end.
inline constexpr char fade[] = "fade";
// in: a spectrumorder. Fills its levels with the spectrum of the stream's
// sound as its card's mix took it last (0 to 1 a band, bands spaced evenly
// on a logarithmic scale from 20 Hz to 20 kHz; all 0 when it plays on no
// card). Answers 1, or 0 for a count of bands out of range or a stream
// that is not mixed.
inline constexpr char spectrum[] = "spectrum";
inline constexpr char getfadedone[] = "getfadedone";
// in: a followorder. The mixed stream's run (opened, and resumed after)
// waits, its sound held back, until the run of the stream numbered
// `leader` has given its file's last frame, and starts on the next one; or,
// with `crossms`, overlaps that file's last `crossms` milliseconds under
// equal-power fades. Sent again, it changes the leader or the crossfade;
// a leader of 0 (or of no open stream) lets the run start now; a leader
// that is not mixed lets it go never. Answers 1,
// or 0 for a stream that is not mixed. "following" answers 1 while the
// stream waits, 0 once its leader has let it go (or it waits for none).
inline constexpr char follow[] = "follow";
inline constexpr char following[] = "following";
// A file or a live stream on a web server. "openurl" takes its address
// (http:// or https://, UTF-16, NUL-terminated, fewer than urlsize
// characters) as "openwide" takes a path; the run reads it through WinHTTP.
// A file the server gives a length and byte ranges for is measured and
// sought as a file is; anything else plays as it comes, after the stream's
// buffer ("setbuffer": int32 milliseconds, bufferleast to buffermost;
// answers 1, or 0 out of that range) has filled, and again whenever it
// runs dry. "getbufferlevel" answers how full that buffer is, 0 to 100 (100
// while playing from it); "gettagserial" counts the times the comments
// were set (each new link: a station's next song); "gethttpstatus" answers
// the last HTTP status the server gave (0 for none).
inline constexpr char openurl[] = "openurl";
inline constexpr char setbuffer[] = "setbuffer";
inline constexpr char getbufferlevel[] = "getbufferlevel";
inline constexpr char gettagserial[] = "gettagserial";
inline constexpr char gethttpstatus[] = "gethttpstatus";
// in: int32, milliseconds at most. Waits until the file's length and its
// first stream's comments are known, or its run has ended; answers 1 then,
// 0 when the time ran out first.
inline constexpr char waitready[] = "waitready";

// Streams: every word above acts on the process's default stream (the one
// ZelOggPlay plays on). "streamopen" gives out a stream of its own, with
// its own worker and wave-out device, and answers its number (1 to
// maxstreams), or 0 when every stream is taken. "onstream" runs the word
// that `fourth` points at (NUL-terminated, matched as above) on the stream
// whose int32 number `third` points at, with `text` as that word takes it,
// and answers what the word answers (0 for a stream not open).
// "streamclose" cancels the run of the stream whose int32 number `text`
// points at, waits for its end and frees the number.
inline constexpr char streamopen[] = "streamopen";
inline constexpr char onstream[] = "onstream";
inline constexpr char streamclose[] = "streamclose";
}  // namespace word

// The most streams "streamopen" gives out at once, besides the default one.
constexpr int32_t maxstreams = 32;

// The paths "open" and "openwide" take: fewer bytes (UTF-16 characters)
// than these, the terminator not counted; a longer one ends its run with
// resultcantopen.
constexpr std::size_t pathsize = 256;
constexpr std::size_t widepathsize = 32768;  // Windows' longest path and the terminator

// "openmemory": the bytes of a whole Ogg file, copied by the command.
struct memoryfile {
  const void* bytes;
  uint64_t size;
};
// The most bytes "openmemory" takes; a larger file ends its run with
// resultcantopen, as does one the engine cannot get the memory to copy.
constexpr uint64_t memorymost = uint64_t{1} << 30;

// "setdevice": the system's default device, which follows the user's choice.
constexpr int32_t anydevice = -1;
// "devicename": the device `index` on the way in; its name (UTF-16, as the
// device reports it, NUL-terminated) on the way out.
constexpr std::size_t devicenamesize = 32;
struct devicenamebuffer {
  int32_t index;
  char16_t name[devicenamesize];
};

// "endpointname" and "endpointid": the card `index` (of those Windows
// lists, present, for rendering) on the way in; its full name or its id
// (UTF-16, NUL-terminated, cut to fit) on the way out. "setdeviceid" takes
// an id of at most endpointidsize characters with its terminator.
constexpr std::size_t endpointidsize = 256;
struct endpointtext {
  int32_t index;
  char16_t text[endpointidsize];
};

constexpr int32_t lingermost = 60000;
constexpr double rateleast = 0.25;
constexpr double ratemost = 4.0;
constexpr int32_t fademost = 600000;  // milliseconds
constexpr int32_t spectrumbandsmost = 1024;
struct spectrumorder {
  int32_t bands;   // 1 to spectrumbandsmost
  double* levels;  // room for `bands`
};
constexpr int32_t crossfademost = 60000;  // milliseconds
constexpr std::size_t urlsize = 8192;
constexpr int32_t bufferleast = 100, buffermost = 10000;  // milliseconds
struct followorder {
  int32_t leader;   // a stream's number, or 0
  int32_t crossms;  // 0 to crossfademost
};
struct fadeorder {
  int32_t volume;  // 0 to fullvolume
  int32_t ms;      // 0 to fademost
};

// The volume of a new stream, and of the default stream at each "open":
// the sound as decoded, untouched.
constexpr int32_t fullvolume = 100;

// "gettags" fills the caller's buffer of this size with the current
// stream's comments as they are in the file (UTF-8), each NUL-terminated,
// the last followed by one more NUL. The part after a comment's first '='
// is cut at a character boundary to at most `tagvaluemost` bytes; comments
// that no longer fit are left out whole.
constexpr std::size_t tagbuffersize = 65536;
constexpr std::size_t tagvaluemost = 1000;

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
  // A file or stream on a web server:
  resultunreachable = 11,   // no connection to its server (no such host, refused, no network)
  resulthttpstatus = 12,    // the server answered with a status of 400 or more
  resultredirects = 13,     // too many redirects (a loop)
  resultcertificate = 14,   // its HTTPS certificate does not validate
  resultheaders = 15,       // its answer's headers are too large, or not HTTP
  resultconnectionlost = 16,  // the connection broke and could not be made again
  resultstalled = 17,       // the server stopped sending, and again after each new connection
};

}  // namespace zelov
