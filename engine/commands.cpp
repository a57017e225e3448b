// The command entry: exact matching of the command word, the playback
// commands, and the queries.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/streams/diag.h"
#include "engine/output/card.h"
#include "engine/output/endpoint.h"
#include "engine/output/mixer.h"
#include "engine/output/spectrum.h"
#include "engine/interface1.h"
#include "engine/output/output.h"
#include "engine/queries.h"
#include "engine/streams/library.h"
#include "engine/streams/state.h"
#include "engine/output/waveout.h"
#include "engine/decode/worker.h"

namespace zelov {
namespace {

// Text answers go into the bridge's 256-byte buffers.
constexpr std::size_t answersize = 256;

// Ends the worker that lives (or is about to start) and waits for it.
void stopworker(stream& s) {
  s.cancelflag.store(1);
  wakeworker(s);
  waitworker(s);
}

// Starts a worker for the path just stored: the new run is visible as
// running, with no sound yet and no pause or cancel pending, before its
// thread exists, so that a poll in between does not read the previous run's
// end or its wave-out flag, and a "pause" or "cancel" sent in between holds.
void startworker(stream& s) {
  s.pauseflag.store(0);
  s.cancelflag.store(0);
  s.resumepending.store(0);
  s.waveflag.store(0);
  s.seekto.store(-1.0);
  s.replaypending.store(false);
  forgetrun(s);
  // The default stream is shared by every control that has no volume: each
  // file there starts at full volume. A stream of its own keeps what its
  // control gave it, before the open too, so that the first sound decoded
  // already carries it.
  if (s.number == 0) s.volume.store(fullvolume);
  // A new run follows no other, and none follows it, until told so.
  if (s.mixvoice) {
    s.mixvoice->held.store(false);
    s.mixvoice->leader.store(nullptr);
    s.mixvoice->next.store(nullptr);
  }
  armwaits(s);
  s.playstate.store(running);
  s.workerlive.store(1);
  HMODULE library = holdlibrary();
  HANDLE thread = library ? CreateThread(nullptr, 0, playthread, &s, 0, nullptr) : nullptr;
  if (thread) {
    if (HANDLE earlier = s.workerthread.exchange(thread)) CloseHandle(earlier);
  } else {
    if (library) FreeLibrary(library);
    s.playstate.store(s.lastresult.load());
    s.workerlive.store(0);
  }
}

LRESULT cmdopen(stream& s, char* text) {
  enginetrace("compress\n");
  stopworker(s);
  const std::size_t length = text ? strnlen(text, pathsize) : 0;
  s.filepathtoolong = length >= pathsize;
  const std::size_t kept = s.filepathtoolong ? pathsize - 1 : length;
  if (kept) std::memcpy(s.filepath, text, kept);
  s.filepath[kept] = '\0';
  s.wideopen = false;
  releasememory(s);
  startworker(s);
  return 0;
}

// Stores the UTF-16 path or address the next run opens, once the run
// before it has ended; one of `most` characters or more is not stored, and
// that run then cannot open it.
void storewide(stream& s, const char* text, std::size_t most) {
  stopworker(s);
  releasememory(s);
  const char16_t* path = reinterpret_cast<const char16_t*>(text);
  std::size_t length = 0;
  while (path && length < most && path[length] != u'\0') ++length;
  s.filepathtoolong = length >= most;
  const std::size_t kept = s.filepathtoolong ? 0 : length;
  for (std::size_t i = 0; i < kept; ++i) s.widefilepath[i] = path[i];
  s.widefilepath[kept] = u'\0';
  s.filepath[0] = '\0';
  s.wideopen = true;
}

LRESULT cmdopenwide(stream& s, char* text) {
  storewide(s, text, widepathsize);
  startworker(s);
  return 0;
}

// An address of a file or stream on a web server (http:// or https://),
// in UTF-16 as "openwide" takes a path; the run reads it through WinHTTP.
LRESULT cmdopenurl(stream& s, char* text) {
  storewide(s, text, urlsize);
  s.fromurl = true;
  startworker(s);
  return 0;
}

// The bytes are copied before the call returns: the caller may free its
// own at once. A file too large or memory not to be had is a file that
// cannot be opened, as its run then says.
LRESULT cmdopenmemory(stream& s, char* text) {
  stopworker(s);
  releasememory(s);
  memoryfile file{nullptr, 0};
  if (text) std::memcpy(&file, text, sizeof file);
  s.filepath[0] = '\0';
  s.wideopen = false;
  s.frommemory = true;
  s.filepathtoolong = false;
  if (file.bytes && file.size > 0 && file.size <= memorymost) {
    s.memory = static_cast<char*>(std::malloc(static_cast<std::size_t>(file.size)));
    if (s.memory) {
      std::memcpy(s.memory, file.bytes, static_cast<std::size_t>(file.size));
      s.memorysize = file.size;
    }
  }
  startworker(s);
  return 0;
}

// A run is live from its "open" until its worker ends, paused or not.
bool live(const stream& s) { return s.playstate.load() == running; }

LRESULT cmdintreturn(stream& s, char*) {
  enginetrace("compress\n");
  return s.playstate.load() + s.pauseflag.load();
}

LRESULT cmdintreturn2(stream& s, char*) {
  enginetrace("intreturn2\n");
  return s.lastresult.load();
}

LRESULT cmdpause(stream& s, char*) {
  enginetrace("compress\n");
  if (live(s)) {
    s.pauseflag.store(1);
    s.resumepending.store(0);
    if (HWAVEOUT device = s.waveout.load()) outpause(s, device);
  }
  return 0;
}

LRESULT cmdresume(stream& s, char*) {
  enginetrace("compress\n");
  if (live(s)) {
    s.pauseflag.store(0);
    // Remembered first, so that a device published meanwhile is either seen
    // here or started by the worker.
    s.resumepending.store(1);
    wavestart(s);
  }
  return 0;
}

LRESULT cmdcancel(stream& s, char*) {
  stopworker(s);
  return 0;
}

LRESULT cmdsamplerate(stream& s, char*) { return s.streamrate.load(); }
LRESULT cmdbitrate(stream& s, char*) { return s.streambitrate.load(); }
LRESULT cmdintchannels(stream& s, char*) { return s.streamchannels.load(); }
LRESULT cmdintversion(stream& s, char*) { return s.streamversion.load(); }
LRESULT cmdflagdewave(stream& s, char*) { return s.waveflag.load(); }
LRESULT cmdgetseconds(stream& s, char*) { return static_cast<LRESULT>(static_cast<int32_t>(s.totalseconds.load())); }

LRESULT cmdintvendor(stream& s, char* text) {
  if (text) getvendor(s, text, answersize);
  return 0;
}

uint32_t elapsednow(const stream& s) {
  return elapsedseconds(s.pcmbytes.load(), s.streamrate.load(), s.streamchannels.load());
}

LRESULT cmdgettime(stream& s, char*) { return static_cast<LRESULT>(static_cast<int32_t>(elapsednow(s))); }

LRESULT cmdgettimestring(stream& s, char* text) {
  char timestring[16];
  formathms(elapsednow(s), timestring, sizeof timestring);
  if (text) std::memcpy(text, timestring, std::strlen(timestring) + 1);
  return 0;
}

LRESULT cmdgetsecondsstring(stream& s, char* text) {
  char secondsstring[16];
  formathms(s.totalseconds.load(), secondsstring, sizeof secondsstring);
  if (text) std::memcpy(text, secondsstring, std::strlen(secondsstring) + 1);
  return 0;
}

LRESULT cmdseek(stream& s, char* text) {
  double seconds;
  if (!text) return 0;
  std::memcpy(&seconds, text, sizeof seconds);
  if (!(seconds >= 0)) seconds = 0;  // below the start, or not a number
  if (live(s)) {
    s.seekto.store(seconds);
    wakeworker(s);
  }
  return 0;
}

LRESULT cmdgetposition(stream& s, char* text) {
  const double seconds = live(s) ? waveposition(s) : 0.0;
  if (text) std::memcpy(text, &seconds, sizeof seconds);
  return 0;
}

LRESULT cmdgetduration(stream& s, char* text) {
  const double seconds = live(s) ? s.duration.load() : 0.0;
  if (text) std::memcpy(text, &seconds, sizeof seconds);
  return 0;
}

LRESULT cmdsetvolume(stream& s, char* text) {
  int32_t level;
  if (!text) return 0;
  std::memcpy(&level, text, sizeof level);
  level = std::clamp(level, 0, fullvolume);
  // A mixed stream's volume is a gain in the mix: heard within a period,
  // ramped, with nothing decoded again.
  if (s.mixed) {
    s.volume.store(level);
    outsetgain(s);
    return 0;
  }
  // The blocks already on the device carry the old volume: they are dropped
  // and the sound from the place being heard is decoded again, so that the
  // change is heard at once. A file that cannot seek hears it from the
  // blocks decoded next.
  if (s.volume.exchange(level) != level && live(s) && s.seekable.load() && s.waveout.load()) {
    s.replaypending.store(true);
    wakeworker(s);
  }
  return 0;
}

// Like the position and the length, the comments are those of a file that
// is open: none once its run has ended.
LRESULT cmdgettags(stream& s, char* text) {
  if (!text) return 0;
  if (live(s)) gettags(s, text);
  else text[0] = '\0';
  return 0;
}

LRESULT cmdsetloop(stream& s, char* text) {
  int32_t on = 0;
  if (text) std::memcpy(&on, text, sizeof on);
  s.looping.store(on != 0);
  return 0;
}

LRESULT cmdsetdevice(stream& s, char* text) {
  int32_t device = anydevice;
  if (text) std::memcpy(&device, text, sizeof device);
  s.device.store(device < 0 ? anydevice : device);
  if (s.mixed) {
    {
      std::lock_guard<spinlock> held(s.devicelock);
      s.deviceid[0] = u'\0';
    }
    outmove(s);  // a live sound goes to the new card now
  }
  return 0;
}

LRESULT cmdsetdeviceid(stream& s, char* text) {
  if (!text) return 0;
  char16_t id[endpointidsize] = {};
  std::size_t length = 0;
  for (;; ++length) {
    if (length == endpointidsize) return 0;  // too long for any card's id
    std::memcpy(&id[length], text + length * sizeof(char16_t), sizeof(char16_t));
    if (id[length] == u'\0') break;
  }
  if (length > 0 && !endpointpresent(id)) return 0;
  {
    std::lock_guard<spinlock> held(s.devicelock);
    std::memcpy(s.deviceid, id, sizeof id);
  }
  outmove(s);
  return 1;
}

LRESULT cmdsetmixed(stream& s, char* text) {
  int32_t on = 0;
  if (text) std::memcpy(&on, text, sizeof on);
  if (s.workerlive.load() || s.number == 0) return 0;
  if (on == 0) {
    s.mixed = false;
    return 1;
  }
  return makemixed(s) ? 1 : 0;
}

// "endpointname" and "endpointid": the card at the index given.
LRESULT endpointtextof(char* text, bool (*get)(int, char16_t*, std::size_t)) {
  if (!text) return 0;
  endpointtext buffer;
  std::memcpy(&buffer.index, text, sizeof buffer.index);
  const bool found = get(buffer.index, buffer.text, endpointidsize);
  if (!found) buffer.text[0] = u'\0';
  std::memcpy(text, &buffer, sizeof buffer);
  return found ? 1 : 0;
}
LRESULT cmdsetlinger(stream&, char* text) {
  int32_t ms = 0;
  if (!text) return 0;
  std::memcpy(&ms, text, sizeof ms);
  lingerms.store(std::clamp(ms, 0, lingermost));
  return 1;
}
LRESULT cmdgetlinger(stream&, char*) { return lingerms.load(); }
LRESULT cmdendlinger(stream&, char*) {
  endlingering();
  return 1;
}

// "setpan" and "setrate": a double within its range (NaN is not) on a
// mixed stream's voice.
LRESULT setstage(stream& s, const char* text, double least, double most, std::atomic<float> voice::*stage) {
  double value = 0;
  if (!text || !s.mixed || !s.mixvoice) return 0;
  std::memcpy(&value, text, sizeof value);
  if (!(value >= least && value <= most)) return 0;
  (s.mixvoice->*stage).store(static_cast<float>(value));
  return 1;
}
LRESULT cmdfade(stream& s, char* text) {
  fadeorder order{};
  if (!text || !s.mixed || !s.mixvoice) return 0;
  std::memcpy(&order, text, sizeof order);
  if (order.volume < 0 || order.volume > fullvolume || order.ms < 0 || order.ms > fademost) return 0;
  s.volume.store(order.volume);
  return static_cast<LRESULT>(outsetgain(s, static_cast<uint32_t>(order.ms)));
}
LRESULT cmdspectrum(stream& s, char* text) {
  spectrumorder order{};
  if (!text || !s.mixed || !s.mixvoice) return 0;
  std::memcpy(&order, text, sizeof order);
  if (order.bands < 1 || order.bands > spectrumbandsmost || !order.levels) return 0;
  int32_t rate = 0;
  {
    std::lock_guard<spinlock> held(s.outlock);
    if (const card* c = s.mixcard.load()) rate = c->rate.load();
  }
  spectrum(*s.mixvoice, rate, order.bands, order.levels);
  return 1;
}
LRESULT cmdgetfadedone(stream& s, char*) {
  return s.mixvoice ? static_cast<LRESULT>(s.mixvoice->fadedone.load()) : 0;
}
LRESULT cmdfollow(stream& s, char* text) {
  followorder order{};
  if (!text || !s.mixed || !s.mixvoice) return 0;
  std::memcpy(&order, text, sizeof order);
  voice& v = *s.mixvoice;
  stream* leader = order.leader != s.number ? findstream(order.leader) : nullptr;
  if (!leader) {
    v.leader.store(nullptr);
    v.held.store(false);
    if (card* c = s.mixcard.load()) SetEvent(c->wake);
    return 1;
  }
  // A leader on a wave-out device of its own (its mixer could not be had)
  // lets nothing go: the follower waits until told again.
  if (!leader->mixed || !leader->mixvoice) {
    v.leader.store(nullptr);
    v.held.store(true);
    return 1;
  }
  voice& ahead = *leader->mixvoice;
  ahead.crossms.store(static_cast<uint32_t>(std::clamp(order.crossms, 0, crossfademost)));
  // Held before it is named, so that the mix never lets go a voice that is
  // not yet waiting.
  v.leader.store(&ahead);
  v.held.store(true);
  ahead.next.store(&v, std::memory_order_release);
  return 1;
}
LRESULT cmdsetbuffer(stream& s, char* text) {
  int32_t ms = 0;
  if (!text) return 0;
  std::memcpy(&ms, text, sizeof ms);
  if (ms < bufferleast || ms > buffermost) return 0;
  s.bufferms.store(ms);
  return 1;
}
LRESULT cmdgetbufferlevel(stream& s, char*) { return s.bufferlevel.load(); }
LRESULT cmdgettagserial(stream& s, char*) { return static_cast<LRESULT>(s.tagserial.load()); }
LRESULT cmdgethttpstatus(stream& s, char*) { return s.httpstatus.load(); }
LRESULT cmdfollowing(stream& s, char*) { return s.mixvoice && s.mixvoice->held.load() ? 1 : 0; }
LRESULT cmdsetpan(stream& s, char* text) { return setstage(s, text, -1.0, 1.0, &voice::pan); }
LRESULT cmdsetrate(stream& s, char* text) { return setstage(s, text, rateleast, ratemost, &voice::speed); }

LRESULT cmdendpointcount(stream&, char*) { return endpointcount(); }
LRESULT cmdendpointname(stream&, char* text) { return endpointtextof(text, endpointname); }
LRESULT cmdendpointid(stream&, char* text) { return endpointtextof(text, endpointid); }

LRESULT cmddevicecount(stream& s, char*) { return static_cast<LRESULT>(wavecount(s)); }

LRESULT cmddevicename(stream&, char* text) {
  if (!text) return 0;
  devicenamebuffer buffer;
  std::memcpy(&buffer.index, text, sizeof buffer.index);
  const bool named = wavedevicename(buffer.index, buffer.name);
  if (!named) buffer.name[0] = u'\0';
  std::memcpy(text, &buffer, sizeof buffer);
  return named ? 1 : 0;
}

LRESULT cmdgetpeak(stream& s, char* text) {
  const bool playing = live(s) && !s.pauseflag.load() && s.wavestarted.load();
  double peak = playing ? wavepeak(s) : 0.0;
  // A mixed stream's blocks are at full volume; its gain is in the mix.
  if (s.mixed) peak *= s.volume.load() / static_cast<double>(fullvolume);
  if (text) std::memcpy(text, &peak, sizeof peak);
  return 0;
}

LRESULT cmdwaitready(stream& s, char* text) {
  int32_t ms = 0;
  if (text) std::memcpy(&ms, text, sizeof ms);
  if (!live(s)) return 1;
  return waitready(s, static_cast<DWORD>(std::max(ms, 0))) ? 1 : 0;
}

struct command {
  const char* word;
  LRESULT (*run)(stream& s, char* text);
};

// Matched in this order, byte for byte including the terminator.
const command commands[] = {
    {word::open, cmdopen},
    {word::intreturn, cmdintreturn},
    {word::intreturn2, cmdintreturn2},
    {word::pause, cmdpause},
    {word::resume, cmdresume},
    {word::cancel, cmdcancel},
    {word::samplerate, cmdsamplerate},
    {word::bitrate, cmdbitrate},
    {word::intchannels, cmdintchannels},
    {word::intversion, cmdintversion},
    {word::intvendor, cmdintvendor},
    {word::flagdewave, cmdflagdewave},
    {word::gettime, cmdgettime},
    {word::gettimestring, cmdgettimestring},
    {word::getsecondsstring, cmdgetsecondsstring},
    {word::getseconds, cmdgetseconds},
    {word::openwide, cmdopenwide},
    {word::seek, cmdseek},
    {word::getposition, cmdgetposition},
    {word::getduration, cmdgetduration},
    {word::setvolume, cmdsetvolume},
    {word::gettags, cmdgettags},
    {word::setloop, cmdsetloop},
    {word::openmemory, cmdopenmemory},
    {word::setdevice, cmdsetdevice},
    {word::devicecount, cmddevicecount},
    {word::devicename, cmddevicename},
    {word::getpeak, cmdgetpeak},
    {word::waitready, cmdwaitready},
    {word::setmixed, cmdsetmixed},
    {word::endpointcount, cmdendpointcount},
    {word::endpointname, cmdendpointname},
    {word::endpointid, cmdendpointid},
    {word::setdeviceid, cmdsetdeviceid},
    {word::setlinger, cmdsetlinger},
    {word::endlinger, cmdendlinger},
    {word::setpan, cmdsetpan},
    {word::fade, cmdfade},
    {word::spectrum, cmdspectrum},
    {word::getfadedone, cmdgetfadedone},
    {word::setrate, cmdsetrate},
    {word::getlinger, cmdgetlinger},
    {word::follow, cmdfollow},
    {word::openurl, cmdopenurl},
    {word::setbuffer, cmdsetbuffer},
    {word::getbufferlevel, cmdgetbufferlevel},
    {word::gettagserial, cmdgettagserial},
    {word::gethttpstatus, cmdgethttpstatus},
    {word::following, cmdfollowing},
};

LRESULT runcommand(stream& s, const char* word, char* text) {
  for (const auto& entry : commands)
    if (std::strcmp(word, entry.word) == 0) return entry.run(s, text);
  return 0;
}

// A stream given out starts as the default stream did (nothing played, no
// result, full volume), and plays Ogg Opus besides.
LRESULT streamopen() {
  stream* s = openstream();
  if (!s) return 0;
  forgetrun(*s);
  s->playstate.store(0);
  s->lastresult.store(0);
  s->pauseflag.store(0);
  s->waveflag.store(0);
  s->pcmbytes.store(0);
  s->totalseconds.store(0);
  s->streamrate.store(0);
  s->streamchannels.store(0);
  s->streamversion.store(0);
  s->streambitrate.store(0);
  s->volume.store(fullvolume);
  s->looping.store(false);
  s->device.store(anydevice);
  s->deviceid[0] = u'\0';
  s->mixed = false;
  if (s->mixvoice) {  // a stream given out again starts centred, at speed 1
    s->mixvoice->pan.store(0.0f);
    s->mixvoice->speed.store(1.0f);
  }
  s->allcodecs = true;
  setvendor(*s, "");
  return s->number;
}

stream* numbered(const void* number) {
  if (!number) return nullptr;
  int32_t n;
  std::memcpy(&n, number, sizeof n);
  return findstream(n);
}

// Its run is cancelled and waited for, then the number is free again.
LRESULT streamclose(const void* number) {
  if (stream* s = numbered(number)) {
    stopworker(*s);
    releasememory(*s);
    closestream(*s);
  }
  return 0;
}

}  // namespace
}  // namespace zelov

extern "C" LRESULT CALLBACK interface1(const char* command, char* text, void* third, void* fourth) {
  using namespace zelov;
  if (!command) return 0;
  if (std::strcmp(command, word::streamopen) == 0) return streamopen();
  if (std::strcmp(command, word::streamclose) == 0) return streamclose(text);
  if (std::strcmp(command, word::onstream) == 0) {
    stream* s = numbered(third);
    return s && fourth ? runcommand(*s, static_cast<const char*>(fourth), text) : 0;
  }
  return runcommand(defaultstream, command, text);
}
