// Measurements of the control under Wine, printed as figures (not tests).
//   wine_bench cpu FILE         plays FILE through the control to its end:
//                               the process's CPU time over the wall time,
//                               and its parts by thread: the host's (which
//                               runs the control), the engine's worker, and
//                               the sound system's threads
//   wine_bench cancel FILE N [ex]
//                               N times: PlayFile, wait until the sound has
//                               started, CancelPlayback; the median time
//                               the cancel took
//   wine_bench start FILE CAPTURE N [ex]
//                               N times: the time from the PlayFile call to
//                               the first sound in CAPTURE (the file the
//                               sound server's pipe sink is copied into)
//                               These two measure a ZelOggPlay, or with
//                               "ex" a ZelOggPlayEx (whose output lingers
//                               between the trials)
//   wine_bench streams FILE N SECONDS [staged]
//                               N ZelOggPlayEx controls play FILE at once
//                               for SECONDS: the CPU of the control and its
//                               engine, of the whole process, and of the
//                               sound card's render thread; "staged" pans,
//                               rates (1.01) and fades each sound
//   wine_bench second LOW HIGH CAPTURE N
//                               N times: a ZelOggPlayEx plays LOW (a 330 Hz
//                               tone), then another PlayFile(HIGH) (1000 Hz);
//                               the time until 1000 Hz is in CAPTURE
//   wine_bench churn FILE N CYCLES
//                               N ZelOggPlayEx controls play FILE; CYCLES
//                               times one of them is cancelled and released
//                               and a new one plays in its place: the
//                               process's heap bytes and handles after the
//                               first round and at the end
//   wine_bench memory FILE CAPTURE N
//                               N times each, taking turns: the time from
//                               a ZelOggPlayEx's PlayMemory (the file's
//                               bytes) and from its PlayFile to the first
//                               sound in CAPTURE; and how long OpenFile
//                               takes to return for a ZelOggPlayEx (which
//                               reads the headers and length first) and
//                               for a ZelOggPlay
//   wine_bench station URL SECONDS
//                               a ZelOggPlayEx plays the station at URL at
//                               Rate 4 for SECONDS: the process's heap bytes
//                               and handles after a tenth of it, at the end
//                               and at their most
//   wine_bench wave SECONDS     the same CPU figure for wave-out alone:
//                               silence in two alternating 100 KB blocks,
//                               as the engine queues them, with no decoding
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ZelOggPlayer100.h"
#include "ZelOggPlayerEx.h"
#include "com/ptr.h"
#include "com/win.h"
#include "tools/cputime.h"
#include "control/dispids.h"
#include "resources/resource.h"
#include "tools/hostsite.h"
#include "tools/usage.h"

#include <mmsystem.h>
#include <tlhelp32.h>
#include <winternl.h>

namespace {

bool ended = false;

// Only the end of a file matters here: the ErrorCode that follows Finished.
class EndSink final : public ControlSink {
 public:
  void ErrorCode(LONG, const std::wstring&) override { ended = true; }
};

double seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The CPU time of this process's threads, sorted by who runs them. Each
// look lists the threads and reads their times; a thread's figure is its
// last reading, since an ended thread's times may no longer be readable.
// Listing threads is costly under Wine: what the looks themselves cost the
// host's thread is kept apart.
class ThreadLedger {
 public:
  // The engine's threads: its workers (one a sound) and the render thread
  // of each sound card's mix (which runs at time-critical priority).
  enum Part { Host, Worker, Render, Other };

  ThreadLedger() { look(); }
  ~ThreadLedger() {
    for (const Seen& t : seen_) CloseHandle(t.handle);
  }

  void look() {
    const double before = threadcpuseconds(GetCurrentThread());
    for (Seen& t : seen_) {
      const double now = threadcpuseconds(t.handle);
      if (now > t.last) t.last = now;
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
      THREADENTRY32 entry = {};
      entry.dwSize = sizeof entry;
      for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId() || known(entry.th32ThreadID)) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (!thread) continue;
        const double now = threadcpuseconds(thread);
        seen_.push_back({entry.th32ThreadID, thread, part(entry.th32ThreadID, thread), now, now});
      }
      CloseHandle(snapshot);
    }
    overhead_ += threadcpuseconds(GetCurrentThread()) - before;
  }

  // CPU seconds of one part since its threads were first seen; the host's
  // without the looks.
  double seconds(Part which) const {
    double total = which == Host ? -overhead_ : 0;
    for (const Seen& t : seen_)
      if (t.part == which) total += t.last - t.first;
    return total;
  }
  double overhead() const { return overhead_; }

 private:
  struct Seen {
    DWORD id;
    HANDLE handle;
    Part part;
    double first, last;
  };

  bool known(DWORD id) const {
    for (const Seen& t : seen_)
      if (t.id == id) return true;
    return false;
  }

  // The engine's threads start inside zelov.dll.
  static Part part(DWORD id, HANDLE thread) {
    if (id == GetCurrentThreadId()) return Host;
    const auto* engine = reinterpret_cast<const BYTE*>(GetModuleHandleW(L"" ZEL_ENGINE_FILE));
    void* start = nullptr;
    if (engine && NtQueryInformationThread(thread, static_cast<THREADINFOCLASS>(9) /* its start address */, &start,
                                           sizeof start, nullptr) == 0) {
      const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
          engine + reinterpret_cast<const IMAGE_DOS_HEADER*>(engine)->e_lfanew);
      const auto* at = static_cast<const BYTE*>(start);
      if (at >= engine && at < engine + nt->OptionalHeader.SizeOfImage)
        return GetThreadPriority(thread) == THREAD_PRIORITY_TIME_CRITICAL ? Render : Worker;
    }
    return Other;
  }

  std::vector<Seen> seen_;
  double overhead_ = 0;
};

// Runs the thread's messages until the condition holds, testing it at
// least every `every` milliseconds (a host that only waits for its messages
// would wait as long as there are none).
void pump(const std::function<bool()>& until, double limit, DWORD every = 20) {
  const double start = seconds();
  while (!until() && seconds() - start < limit) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, every, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

// Pumps until the condition holds, the ledger looking at the threads every
// second and once more at the end.
void pumplooking(ThreadLedger& ledger, const std::function<bool()>& until, double limit) {
  double looked = seconds();
  pump(
      [&] {
        if (seconds() - looked > 1) {
          ledger.look();
          looked = seconds();
        }
        return until();
      },
      limit, 1000);
  ledger.look();
}

// CPU time over wall time of playing silence through WINMM the way the
// engine does: the share of playback that is the sound system's own.
void waveonly(double length) {
  WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  HWAVEOUT device;
  if (waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    std::printf("wave: no device\n");
    return;
  }
  static char blocks[2][100352];
  WAVEHDR headers[2] = {};
  const double wall0 = seconds(), cpu0 = processcpuseconds();
  double queued = 0;
  for (int next = 0; queued < length; next ^= 1) {
    WAVEHDR& h = headers[next];
    if (h.dwFlags & WHDR_PREPARED) {
      while (waveOutUnprepareHeader(device, &h, sizeof h) == WAVERR_STILLPLAYING) Sleep(50);
    }
    h = WAVEHDR{};
    h.lpData = blocks[next];
    h.dwBufferLength = sizeof blocks[next];
    waveOutPrepareHeader(device, &h, sizeof h);
    waveOutWrite(device, &h, sizeof h);
    queued += sizeof blocks[next] / 176400.0;
  }
  for (WAVEHDR& h : headers)
    while (waveOutUnprepareHeader(device, &h, sizeof h) == WAVERR_STILLPLAYING) Sleep(50);
  waveOutClose(device);
  const double wall = seconds() - wall0, cpu = processcpuseconds() - cpu0;
  std::printf("wave %.3f s over %.3f s wall: %.3f %% of one core\n", cpu, wall, 100 * cpu / wall);
}

// Follows the capture file: how much of it has been read, and whether the
// part read last held anything but silence.
class Capture {
 public:
  explicit Capture(const wchar_t* path) : path_(path) {}
  // Reads what was added since the last call; true if it held sound.
  // Reads what was added since the last call; true once a 10 ms stretch of
  // it holds the tone of `hz` on the left channel at `level` of full scale
  // or more.
  bool tone(double hz, double level) {
    FILE* f = _wfopen(path_, L"rb");
    if (!f) return false;
    std::fseek(f, static_cast<long>(read_), SEEK_SET);
    uint32_t frame;
    bool heard = false;
    while (!heard && std::fread(&frame, 4, 1, f) == 1) {
      read_ += 4;
      pending_.push_back(static_cast<int16_t>(frame & 0xffff) / 32767.0);
      if (pending_.size() < 441) continue;
      const double pi = 3.14159265358979323846;
      double re = 0, im = 0, weights = 0;
      for (std::size_t i = 0; i < pending_.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * pi * static_cast<double>(i) / 440);
        re += w * pending_[i] * std::cos(2 * pi * hz * static_cast<double>(i) / 44100);
        im -= w * pending_[i] * std::sin(2 * pi * hz * static_cast<double>(i) / 44100);
        weights += w;
      }
      heard = 2 * std::sqrt(re * re + im * im) / weights >= level;
      pending_.clear();
    }
    std::fclose(f);
    return heard;
  }
  // Skips what is there now.
  void skip() {
    FILE* f = _wfopen(path_, L"rb");
    if (!f) return;
    std::fseek(f, 0, SEEK_END);
    read_ = static_cast<std::size_t>(std::ftell(f)) / 4 * 4;
    pending_.clear();
    std::fclose(f);
  }
  bool sound() {
    FILE* f = _wfopen(path_, L"rb");
    if (!f) return false;
    std::fseek(f, static_cast<long>(read_), SEEK_SET);
    short buffer[8192];
    bool any = false;
    std::size_t n;
    while ((n = std::fread(buffer, 2, 8192, f)) > 0) {
      read_ += n * 2;
      for (std::size_t i = 0; i < n; ++i) any |= buffer[i] != 0;
    }
    std::fclose(f);
    return any;
  }
  // The byte read up to.
  std::size_t at() const { return read_ / 4 * 4; }

 private:
  const wchar_t* path_;
  std::size_t read_ = 0;
  std::vector<double> pending_;
};

// A ZelOggPlayEx, created by CLSID; null when it cannot be.
com::com_ptr<_ZelOggPlay> newplayer() {
  com::com_ptr<_ZelOggPlay> control;
  CoCreateInstance(CLSID_ZelOggPlayEx, nullptr, CLSCTX_INPROC_SERVER, __uuidof(_ZelOggPlay), control.put_void());
  return control;
}

// The CPU of N controls playing the file at once, over `length` seconds.
// With `staged`, each sound also goes through the mix's other stages: a
// pan, a rate of 1.01 (the resampler, at nearly the speed at which the
// plain sound decodes) and a fade over the whole run.
void streams(const wchar_t* path, int n, double length, bool staged) {
  std::vector<com::com_ptr<_ZelOggPlay>> players;
  com::bstr file(path);
  VARIANT result;
  ThreadLedger ledger;
  const double wall0 = seconds(), cpu0 = processcpuseconds();
  for (int i = 0; i < n; ++i) {
    players.push_back(newplayer());
    if (!players.back()) continue;
    players.back()->PlayFile(file.get(), &result);
    if (auto stages = staged ? players.back().as<_ZelOggPlayEx3>() : com::com_ptr<_ZelOggPlayEx3>()) {
      stages->put_Pan(0.5);
      stages->put_Rate(1.01);
      stages->FadeTo(50, static_cast<LONG>(length * 1000));
    }
  }
  pumplooking(ledger, [] { return false; }, length);
  const double wall = seconds() - wall0, cpu = processcpuseconds() - cpu0 - ledger.overhead();
  const double render = ledger.seconds(ThreadLedger::Render);
  const double control = ledger.seconds(ThreadLedger::Host) + ledger.seconds(ThreadLedger::Worker) + render;
  std::printf("streams %d: control and engine %.3f %% of one core, %.4f %% a stream; whole process %.3f %%; "
              "render thread %.3f %% of each period\n",
              n, 100 * control / wall, 100 * control / wall / n, 100 * cpu / wall, 100 * render / wall);
  for (auto& p : players)
    if (p) p->CancelPlayback(&result);
}

// The time from a second PlayFile to its sound, while a first file plays.
void second(const wchar_t* low, const wchar_t* high, const wchar_t* capturepath, int trials) {
  Capture capture(capturepath);
  com::com_ptr<_ZelOggPlay> first = newplayer(), next = newplayer();
  if (!first || !next) return;
  com::bstr lowfile(low), highfile(high);
  VARIANT result;
  std::vector<double> took;
  for (int i = 0; i < trials; ++i) {
    first->PlayFile(lowfile.get(), &result);
    pump([&] { return capture.tone(330, 0.3); }, 10, 1);
    pump([] { return false; }, 0.3);  // the first plays on steadily
    capture.skip();
    const double start = seconds();
    next->PlayFile(highfile.get(), &result);
    bool heard = false;
    pump([&] { return heard = capture.tone(1000, 0.1); }, 10, 1);  // read every millisecond
    if (heard) took.push_back(1000 * (seconds() - start));
    next->CancelPlayback(&result);
    first->CancelPlayback(&result);
  }
  std::sort(took.begin(), took.end());
  if (took.empty())
    std::printf("second: no sound reached the capture\n");
  else
    std::printf("second: median %.1f ms, max %.1f ms over %zu\n", took[took.size() / 2], took.back(), took.size());
}

// ZelOggPlayEx's own events, as the queue and marker steps wait for them.
class ExSink final : public ControlSink {
 public:
  ExSink() : ControlSink(DIID___ZelOggPlayEx) {}
  std::function<void(double)> onmarker;
  bool queued = false, over = false;
  int comments = 0;
  void Marker(double at) override {
    if (onmarker) onmarker(at);
  }
  void Queued() override { queued = true; }
  void CommentsChanged() override { ++comments; }
  void ErrorCode(LONG, const std::wstring&) override { over = true; }
};

// A ZelOggPlayEx with an ExSink connected; null when it cannot be made.
struct ExPlayer {
  com::com_ptr<_ZelOggPlayEx3> control;
  com::com_ptr<IConnectionPoint> point;
  DWORD cookie = 0;
  ExSink sink;
  ExPlayer() {
    CoCreateInstance(CLSID_ZelOggPlayEx, nullptr, CLSCTX_INPROC_SERVER, __uuidof(_ZelOggPlayEx3), control.put_void());
    if (auto container = control ? control.as<IConnectionPointContainer>() : com::com_ptr<IConnectionPointContainer>())
      if (SUCCEEDED(container->FindConnectionPoint(DIID___ZelOggPlayEx, point.put()))) point->Advise(&sink, &cookie);
  }
  ~ExPlayer() {
    if (point) point->Unadvise(cookie);
  }
};

// A file and then a file queued after it, from silence: the capture's byte
// where this begins goes out first, so that the driver compares the seam
// from there.
void queue(const wchar_t* first, const wchar_t* second, const wchar_t* capturepath) {
  Capture capture(capturepath);
  ExPlayer player;
  if (!player.control) return;
  int quiet = 0;
  pump([&] { return (quiet = capture.sound() ? 0 : quiet + 1) >= 15; }, 10);
  std::printf("queue: from byte %zu\n", capture.at());
  com::bstr a(first), b(second);
  VARIANT result;
  player.control->PlayFile(a.get(), &result);
  player.control->QueueFile(b.get());
  pump([&] { return player.sink.over; }, 120);
  std::printf("queue: %s\n", player.sink.queued ? "Queued raised" : "no Queued");
}

// How long after its sound was heard each Marker event came, on the host's
// thread: markers every half second through `length` seconds, each event
// against the place heard then (Position, the card's own count of what it
// has played). The capture cannot tell: the sound server writes its pipe
// in blocks far longer than a timer's tick.
void markers(const wchar_t* path, double length) {
  ExPlayer player;
  if (!player.control) return;
  for (double at = 0.5; at < length; at += 0.5) player.control->AddMarker(at);
  std::vector<double> late;
  player.sink.onmarker = [&](double at) {
    double heard = 0;
    player.control->get_Position(&heard);
    late.push_back(1000 * (heard - at));
  };
  com::bstr file(path);
  VARIANT result;
  player.control->PlayFile(file.get(), &result);
  pump([] { return false; }, length + 0.3);
  player.control->CancelPlayback(&result);
  std::sort(late.begin(), late.end());
  if (late.empty())
    std::printf("markers: no Marker event\n");
  else
    std::printf("markers: after the sound was heard by median %.1f ms, least %.1f ms, most %.1f ms over %zu\n",
                late[late.size() / 2], late.front(), late.back(), late.size());
}

double median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A stream from a web server: the time from PlayUrl to its first sound (a
// station's stream, paced, from the tests' own server), and the whole
// process's CPU while a file plays from the server beside the same file
// from disk, `length` seconds each in four turns, as they stream.
void web(const wchar_t* station, const wchar_t* url, const wchar_t* path, const wchar_t* capturepath, double length) {
  Capture capture(capturepath);
  ExPlayer player;
  if (!player.control) return;
  com::bstr stationurl(station), fileurl(url), file(path);
  VARIANT result;
  double bufferseconds = 0;
  player.control->get_BufferSeconds(&bufferseconds);
  std::vector<double> took;
  for (int i = 0; i < 5; ++i) {
    int quiet = 0;
    pump([&] { return (quiet = capture.sound() ? 0 : quiet + 1) >= 15; }, 10);
    const double start = seconds();
    player.control->PlayUrl(stationurl.get());
    bool heard = false;
    pump([&] { return heard = capture.sound(); }, 10, 1);  // read every millisecond
    if (heard) took.push_back(1000 * (seconds() - start));
    player.control->CancelPlayback(&result);
  }
  // Four rounds taking turns, so that what else the machine does falls on
  // both alike; each counted from 2 s after its start, as it streams.
  double busy[2] = {}, wall[2] = {}, cpu[2] = {};
  for (int round = 0; round < 4; ++round)
    for (int which = 0; which < 2; ++which) {
      if (which == 0) player.control->PlayUrl(fileurl.get());
      else player.control->PlayFile(file.get(), &result);
      pump([] { return false; }, 2);
      const double wall0 = seconds(), cpu0 = processcpuseconds();
      pump([] { return false; }, length / 4);
      busy[which] += processcpuseconds() - cpu0;
      wall[which] += seconds() - wall0;
      player.control->CancelPlayback(&result);
    }
  for (int which = 0; which < 2; ++which) cpu[which] = busy[which] / wall[which];
  std::printf("web: PlayUrl to the first sound median %.1f ms (BufferSeconds %.1f); whole process %.3f %% of a core "
              "from the server, %.3f %% from disk: %.3f\n",
              median(took), bufferseconds, 100 * cpu[0], 100 * cpu[1], cpu[1] > 0 ? cpu[0] / cpu[1] : 0.0);
}

// A station's stream, as fast as the server sends it, played at Rate 4 for
// `length` seconds: four times that of the stream heard. The process's heap
// bytes and handles once it has played for a tenth of the time, at its end
// and at their most between, a look every 5 s.
void station(const wchar_t* url, double length) {
  ExPlayer player;
  if (!player.control) return;
  com::bstr stationurl(url);
  player.control->put_Rate(4);
  player.control->PlayUrl(stationurl.get());
  const double start = seconds();
  Usage first, most;
  bool looked = false;
  while (!player.sink.over && seconds() - start < length) {
    pump([&] { return player.sink.over; }, 5);
    const Usage now = usage();
    if (!looked && seconds() - start >= length / 10) {
      first = most = now;
      looked = true;
    }
    most.heapbytes = std::max(most.heapbytes, now.heapbytes);
    most.handles = std::max(most.handles, now.handles);
  }
  double heard = 0;
  player.control->get_Position(&heard);
  const Usage last = usage();
  VARIANT result;
  player.control->CancelPlayback(&result);
  std::printf("station: %.0f s of the stream in %.0f s (Rate 4), %d songs begun%s; heap %lld -> %lld bytes "
              "(most %lld), handles %ld -> %ld (most %ld)\n",
              heard, seconds() - start, player.sink.comments, player.sink.over ? ", ended early" : "",
              first.heapbytes, last.heapbytes, most.heapbytes, first.handles, last.handles, most.handles);
}

// The first sound of PlayMemory and of PlayFile, side by side, and the cost
// of the open's wait for the headers.
void memory(const wchar_t* path, const wchar_t* capturepath, int trials) {
  Capture capture(capturepath);
  com::com_ptr<_ZelOggPlay> player = newplayer();
  auto ex = player ? player.as<_ZelOggPlayEx2>() : com::com_ptr<_ZelOggPlayEx2>();
  com::com_ptr<_ZelOggPlay> plain;
  CoCreateInstance(CLSID_ZelOggPlay, nullptr, CLSCTX_INPROC_SERVER, __uuidof(_ZelOggPlay), plain.put_void());
  if (!ex || !plain) return;
  FILE* f = _wfopen(path, L"rb");
  if (!f) return;
  std::vector<char> bytes;
  char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  void* data = nullptr;
  if (!array || FAILED(SafeArrayAccessData(array, &data))) return;
  std::memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(array);
  VARIANT v;
  V_VT(&v) = VT_ARRAY | VT_UI1;
  V_ARRAY(&v) = array;
  com::bstr file(path);
  VARIANT result;
  std::vector<double> frommemory, fromfile, openex, openplain;
  for (int i = 0; i < trials; ++i) {
    for (int which = 0; which < 2; ++which) {
      int quiet = 0;
      pump([&] { return (quiet = capture.sound() ? 0 : quiet + 1) >= 15; }, 10);
      const double start = seconds();
      if (which == 0) ex->PlayMemory(v);
      else ex->PlayFile(file.get(), &result);
      bool heard = false;
      pump([&] { return heard = capture.sound(); }, 10, 1);  // read every millisecond
      if (heard) (which == 0 ? frommemory : fromfile).push_back(1000 * (seconds() - start));
      ex->CancelPlayback(&result);
    }
    for (int which = 0; which < 2; ++which) {
      _ZelOggPlay* p = which == 0 ? static_cast<_ZelOggPlay*>(ex.get()) : plain.get();
      const double start = seconds();
      p->OpenFile(file.get(), &result);
      (which == 0 ? openex : openplain).push_back(1000 * (seconds() - start));
      p->CancelPlayback(&result);
    }
  }
  VariantClear(&v);
  std::printf("memory: PlayMemory to sound median %.1f ms, PlayFile %.1f ms; OpenFile returns in %.2f ms "
              "(ZelOggPlayEx), %.2f ms (ZelOggPlay) over %d\n",
              median(frommemory), median(fromfile), median(openex), median(openplain), trials);
}

// Heap and handles of N controls after many PlayFile and CancelPlayback.
void churn(const wchar_t* path, int n, int cycles) {
  std::vector<com::com_ptr<_ZelOggPlay>> players;
  com::bstr file(path);
  VARIANT result;
  for (int i = 0; i < n; ++i) {
    players.push_back(newplayer());
    players.back()->PlayFile(file.get(), &result);
  }
  // Each cycle one of the N playing controls goes (cancelled and released)
  // and a new one takes its place with the file: N play all the time.
  Usage first;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    auto& p = players[static_cast<std::size_t>(cycle % n)];
    p->CancelPlayback(&result);
    p = newplayer();
    p->PlayFile(file.get(), &result);
    pump([] { return false; }, 0.002);
    if (cycle == n - 1) first = usage();  // every control has been replaced once
  }
  const Usage last = usage();
  std::printf("churn: %d playing, %d controls created, played and released: heap %lld -> %lld bytes, handles %ld -> %ld\n",
              n, cycles, first.heapbytes, last.heapbytes, first.handles, last.handles);
  for (auto& p : players) p->CancelPlayback(&result);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wine_bench cpu FILE | cancel FILE N\n");
    return 2;
  }
  if (std::wstring(argv[1]) == L"wave") {
    waveonly(_wtof(argv[2]));
    return 0;
  }
  CoInitialize(nullptr);
  const std::wstring command = argv[1];
  if (command == L"streams" && (argc == 5 || argc == 6)) {
    streams(argv[2], _wtoi(argv[3]), _wtof(argv[4]), argc == 6 && std::wstring(argv[5]) == L"staged");
    CoUninitialize();
    return 0;
  }
  if (command == L"second" && argc == 6) {
    second(argv[2], argv[3], argv[4], _wtoi(argv[5]));
    CoUninitialize();
    return 0;
  }
  if (command == L"memory" && argc == 5) {
    memory(argv[2], argv[3], _wtoi(argv[4]));
    CoUninitialize();
    return 0;
  }
  if (command == L"queue" && argc == 5) {
    queue(argv[2], argv[3], argv[4]);
    CoUninitialize();
    return 0;
  }
  if (command == L"web" && argc == 7) {
    web(argv[2], argv[3], argv[4], argv[5], _wtof(argv[6]));
    CoUninitialize();
    return 0;
  }
  if (command == L"station" && argc == 4) {
    station(argv[2], _wtof(argv[3]));
    CoUninitialize();
    return 0;
  }
  if (command == L"markers" && argc == 4) {
    markers(argv[2], _wtof(argv[3]));
    CoUninitialize();
    return 0;
  }
  if (command == L"churn" && argc == 5) {
    churn(argv[2], _wtoi(argv[3]), _wtoi(argv[4]));
    CoUninitialize();
    return 0;
  }
  int status = 0;
  const bool ex = std::wstring(argv[argc - 1]) == L"ex";
  if (ex) --argc;
  {
    com::com_ptr<_ZelOggPlay> control;
    if (FAILED(CoCreateInstance(ex ? CLSID_ZelOggPlayEx : CLSID_ZelOggPlay, nullptr, CLSCTX_INPROC_SERVER, __uuidof(_ZelOggPlay),
                                control.put_void()))) {
      std::fprintf(stderr, "wine_bench: cannot create ZelOggPlay\n");
      return 1;
    }
    EndSink sink;
    com::com_ptr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (auto container = control.as<IConnectionPointContainer>())
      if (SUCCEEDED(container->FindConnectionPoint(DIID___ZelOggPlay, point.put()))) point->Advise(&sink, &cookie);
    com::bstr file(argv[2]);
    VARIANT result;
    const std::wstring mode = argv[1];
    if (mode == L"cpu") {
      ThreadLedger ledger;
      const double wall0 = seconds(), cpu0 = processcpuseconds();
      control->PlayFile(file.get(), &result);
      pumplooking(ledger, [] { return ended; }, 3600);
      const double wall = seconds() - wall0, cpu = processcpuseconds() - cpu0 - ledger.overhead();
      auto share = [&](double part) { return 100 * part / wall; };
      std::printf("cpu %.3f s over %.3f s wall: %.3f %% of one core\n", cpu, wall, share(cpu));
      const double host = ledger.seconds(ThreadLedger::Host), worker = ledger.seconds(ThreadLedger::Worker),
                   other = ledger.seconds(ThreadLedger::Other);
      // The rest: threads that came and went between two looks, and the
      // clock's rounding of each thread's time to its 10 ms ticks.
      std::printf("cpu by thread: host and control %.3f %%, engine worker %.3f %%, sound system %.3f %%, rest %.3f %%\n",
                  share(host), share(worker), share(other), share(cpu - host - worker - other));
    } else if (mode == L"cancel" && argc == 4) {
      std::vector<double> took;
      for (int i = 0; i < _wtoi(argv[3]); ++i) {
        control->PlayFile(file.get(), &result);
        pump([] { return false; }, 0.5);  // the sound has started
        const double start = seconds();
        control->CancelPlayback(&result);
        took.push_back(1000 * (seconds() - start));
      }
      std::sort(took.begin(), took.end());
      std::printf("cancel: median %.1f ms, max %.1f ms over %zu\n", took[took.size() / 2], took.back(), took.size());
    } else if (mode == L"start" && argc == 5) {
      Capture capture(argv[3]);
      std::vector<double> took;
      for (int i = 0; i < _wtoi(argv[4]); ++i) {
        // Begins from silence: what an earlier trial left in the sound
        // server has played out.
        int quiet = 0;
        pump([&] { return (quiet = capture.sound() ? 0 : quiet + 1) >= 15; }, 10);
        const double start = seconds();
        control->PlayFile(file.get(), &result);
        bool heard = false;
        pump([&] { return heard = capture.sound(); }, 10, 1);  // read every millisecond
        if (heard) took.push_back(1000 * (seconds() - start));
        control->CancelPlayback(&result);
      }
      std::sort(took.begin(), took.end());
      if (took.empty())
        std::printf("start: no sound reached the capture\n");
      else
        std::printf("start: median %.1f ms, max %.1f ms over %zu\n", took[took.size() / 2], took.back(), took.size());
    } else {
      status = 2;
    }
    if (point) point->Unadvise(cookie);
  }
  CoUninitialize();
  return status;
}
