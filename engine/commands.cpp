// The command entry: exact matching of the command word, the playback
// commands, and the queries.
#include <algorithm>
#include <cstring>

#include "diag.h"
#include "interface1.h"
#include "queries.h"
#include "state.h"
#include "waveout.h"
#include "worker.h"

namespace zelov {
namespace {

// Text answers go into the bridge's 256-byte buffers.
constexpr std::size_t answersize = 256;

// Ends the worker that lives (or is about to start) and waits for it.
void stopworker() {
  cancelflag.store(1);
  wakeworker();
  waitworker();
}

// Starts a worker for the path just stored: the new run is visible as
// running, with no sound yet and no pause or cancel pending, before its
// thread exists, so that a poll in between does not read the previous run's
// end or its wave-out flag, and a "pause" or "cancel" sent in between holds.
void startworker() {
  pauseflag.store(0);
  cancelflag.store(0);
  resumepending.store(0);
  waveflag.store(0);
  seekto.store(-1.0);
  forgetrun();
  // Each file starts at full volume: a control that wants another sets it
  // after the open, and the controls that never set one get the sound as
  // it is.
  volume.store(fullvolume);
  armwaits();
  playstate.store(running);
  workerlive.store(1);
  HANDLE thread = CreateThread(nullptr, 0, playthread, reinterpret_cast<LPVOID>(1), 0, nullptr);
  if (thread) {
    CloseHandle(thread);
  } else {
    playstate.store(lastresult.load());
    workerlive.store(0);
  }
}

LRESULT cmdopen(char* text) {
  enginetrace("compress\n");
  stopworker();
  const std::size_t length = text ? strnlen(text, pathsize) : 0;
  filepathtoolong = length >= pathsize;
  const std::size_t kept = filepathtoolong ? pathsize - 1 : length;
  if (kept) std::memcpy(filepath, text, kept);
  filepath[kept] = '\0';
  wideopen = false;
  startworker();
  return 0;
}

LRESULT cmdopenwide(char* text) {
  stopworker();
  const char16_t* path = reinterpret_cast<const char16_t*>(text);
  std::size_t length = 0;
  while (path && length < widepathsize && path[length] != u'\0') ++length;
  filepathtoolong = length >= widepathsize;
  const std::size_t kept = filepathtoolong ? 0 : length;
  for (std::size_t i = 0; i < kept; ++i) widefilepath[i] = path[i];
  widefilepath[kept] = u'\0';
  filepath[0] = '\0';
  wideopen = true;
  startworker();
  return 0;
}

// A run is live from its "open" until its worker ends, paused or not.
bool live() { return playstate.load() == running; }

LRESULT cmdintreturn(char*) {
  enginetrace("compress\n");
  return playstate.load() + pauseflag.load();
}

LRESULT cmdintreturn2(char*) {
  enginetrace("intreturn2\n");
  return lastresult.load();
}

LRESULT cmdpause(char*) {
  enginetrace("compress\n");
  if (live()) {
    pauseflag.store(1);
    resumepending.store(0);
    if (HWAVEOUT device = waveout.load()) waveOutPause(device);
  }
  return 0;
}

LRESULT cmdresume(char*) {
  enginetrace("compress\n");
  if (live()) {
    pauseflag.store(0);
    // Remembered first, so that a device published meanwhile is either seen
    // here or started by the worker.
    resumepending.store(1);
    wavestart();
  }
  return 0;
}

LRESULT cmdcancel(char*) {
  stopworker();
  return 0;
}

LRESULT cmdsamplerate(char*) { return streamrate.load(); }
LRESULT cmdbitrate(char*) { return streambitrate.load(); }
LRESULT cmdintchannels(char*) { return streamchannels.load(); }
LRESULT cmdintversion(char*) { return streamversion.load(); }
LRESULT cmdflagdewave(char*) { return waveflag.load(); }
LRESULT cmdgetseconds(char*) { return static_cast<LRESULT>(static_cast<int32_t>(totalseconds.load())); }

LRESULT cmdintvendor(char* text) {
  if (text) getvendor(text, answersize);
  return 0;
}

uint32_t elapsednow() {
  return elapsedseconds(pcmbytes.load(), streamrate.load(), streamchannels.load());
}

LRESULT cmdgettime(char*) { return static_cast<LRESULT>(static_cast<int32_t>(elapsednow())); }

char timestring[16];
char secondsstring[16];

LRESULT cmdgettimestring(char* text) {
  formathms(elapsednow(), timestring, sizeof timestring);
  if (text) std::memcpy(text, timestring, std::strlen(timestring) + 1);
  return 0;
}

LRESULT cmdgetsecondsstring(char* text) {
  formathms(totalseconds.load(), secondsstring, sizeof secondsstring);
  if (text) std::memcpy(text, secondsstring, std::strlen(secondsstring) + 1);
  return 0;
}

LRESULT cmdseek(char* text) {
  double seconds;
  if (!text) return 0;
  std::memcpy(&seconds, text, sizeof seconds);
  if (!(seconds >= 0)) seconds = 0;  // below the start, or not a number
  if (live()) {
    seekto.store(seconds);
    wakeworker();
  }
  return 0;
}

LRESULT cmdgetposition(char* text) {
  const double seconds = live() ? waveposition() : 0.0;
  if (text) std::memcpy(text, &seconds, sizeof seconds);
  return 0;
}

LRESULT cmdgetduration(char* text) {
  const double seconds = live() ? duration.load() : 0.0;
  if (text) std::memcpy(text, &seconds, sizeof seconds);
  return 0;
}

LRESULT cmdsetvolume(char* text) {
  int32_t level;
  if (!text) return 0;
  std::memcpy(&level, text, sizeof level);
  volume.store(std::clamp(level, 0, fullvolume));
  wavevolume();
  return 0;
}

// Like the position and the length, the comments are those of a file that
// is open: none once its run has ended.
LRESULT cmdgettags(char* text) {
  if (!text) return 0;
  if (live()) gettags(text);
  else text[0] = '\0';
  return 0;
}

struct command {
  const char* word;
  LRESULT (*run)(char* text);
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
};

}  // namespace
}  // namespace zelov

extern "C" LRESULT CALLBACK interface1(const char* command, char* text, void*, void*) {
  if (!command) return 0;
  for (const auto& entry : zelov::commands)
    if (std::strcmp(command, entry.word) == 0) return entry.run(text);
  return 0;
}
