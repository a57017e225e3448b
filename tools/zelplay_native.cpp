// zelplay for machines that cannot run Windows programs: the control's own
// playback logic (methods, timer ticks, events) drives the engine built
// natively, on the simulated device playing in real time, with the bridge
// over the in-memory system. It prints every event as it arrives and saves
// what the device played as a WAV file.
//   zelplay-native FILE.ogg OUT.wav
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bridge/native/memorysystem.h"
#include "control/player.h"
#include "engine/interface1.h"
#include "engine/native/simdevice.h"

namespace {

using control::wtext;

std::string narrow(const wtext& text) { return std::string(text.begin(), text.end()); }

intptr_t engine(const char* command, char* text, void* third, void* fourth) {
  return interface1(command, text, third, fourth);
}

class Printer : public control::PlayerHost {
 public:
  bool finished = false;
  int lasterror = -1;
  void SetTimer(int, bool) override {}
  void Status(wtext& v) override { std::printf("Status %s\n", narrow(v).c_str()); }
  void Finished() override {
    finished = true;
    std::printf("Finished\n");
  }
  void OggVorbisSettings(int32_t& rate, int32_t& bitrate, int32_t& channels, int32_t& version, wtext& vendor) override {
    std::printf("OggVorbisSettings rate %d, bitrate %d, channels %d, version %d, vendor \"%s\"\n", rate, bitrate,
                channels, version, narrow(vendor).c_str());
  }
  void Progress(int32_t& seconds, wtext& text) override { std::printf("Progress %d %s\n", seconds, narrow(text).c_str()); }
  void TimePosition(int32_t& seconds, wtext& text) override {
    std::printf("TimePosition %d %s\n", seconds, narrow(text).c_str());
  }
  void ErrorCode(int32_t& number, wtext& description) override {
    lasterror = number;
    std::printf("ErrorCode %d \"%s\"\n", number, narrow(description).c_str());
  }
  void FadeDone() override { std::printf("FadeDone\n"); }
  void Marker(double& seconds) override { std::printf("Marker %.3f\n", seconds); }
  void NearEnd() override { std::printf("NearEnd\n"); }
  void Queued() override { std::printf("Queued\n"); }
  void CommentsChanged() override { std::printf("CommentsChanged\n"); }
};

bool savewav(const std::string& path, const std::vector<uint8_t>& pcm, uint32_t rate, uint16_t channels) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc((v >> (8 * i)) & 0xff, f);
  };
  const uint32_t size = static_cast<uint32_t>(pcm.size());
  std::fputs("RIFF", f), put(size + 36, 4), std::fputs("WAVEfmt ", f), put(16, 4), put(1, 2), put(channels, 2);
  put(rate, 4), put(rate * channels * 2, 4), put(channels * 2, 2), put(16, 2), std::fputs("data", f), put(size, 4);
  std::fwrite(pcm.data(), 1, pcm.size(), f);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zelplay-native FILE.ogg OUT.wav\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  simdevice::reset(simdevice::mode::realtime);
  memorysystem::now().resources[1] = memorysystem::engineimage();
  memorysystem::now().entry = engine;
  const std::string path = argv[1];
  memorysystem::now().files[path].content = {0};  // the path checks find it

  Printer printer;
  control::Player player(printer);
  player.PlayFile(base::widen(path.c_str()));
  // The three timers, ticked as a message loop would.
  using clock = std::chrono::steady_clock;
  const auto start = clock::now();
  long next[4] = {0, 500, 1000, 100};
  while (!(printer.finished && printer.lasterror >= 0)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const long now = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - start).count());
    for (int timer = control::Timer1; timer <= control::Timer3; ++timer) {
      if (now < next[timer]) continue;
      next[timer] = now + control::TimerInterval[timer];
      player.Tick(timer);
    }
  }
  const WAVEFORMATEX format = simdevice::lastformat();
  if (savewav(argv[2], simdevice::played(), format.nSamplesPerSec, format.nChannels))
    std::printf("saved %s\n", argv[2]);
  return printer.lasterror;
}
