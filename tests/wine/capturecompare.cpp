// Compares what the sound sink received with the reference decode.
//   capturecompare REFERENCE.raw CAPTURE.raw
// Both are interleaved 16-bit stereo. The capture starts with a stretch of
// silence of its own and the sound server may insert short runs of silence
// when it falls behind; those are skipped. Every reference frame must then
// appear, in order, unchanged: nothing lost, repeated or altered.
#include <cstdio>
#include <cstdint>
#include <vector>

static std::vector<uint32_t> readframes(const char* path) {
  std::vector<uint32_t> frames;
  FILE* f = std::fopen(path, "rb");
  if (!f) return frames;
  uint32_t frame;
  while (std::fread(&frame, 4, 1, f) == 1) frames.push_back(frame);
  std::fclose(f);
  return frames;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: capturecompare REFERENCE.raw CAPTURE.raw\n");
    return 2;
  }
  const std::vector<uint32_t> ref = readframes(argv[1]);
  const std::vector<uint32_t> cap = readframes(argv[2]);
  std::size_t first = 0;
  while (first < ref.size() && ref[first] == 0) ++first;
  if (first == ref.size()) {
    std::printf("FAIL the reference is silent\n");
    return 1;
  }
  std::size_t j = 0;
  while (j < cap.size() && cap[j] == 0) ++j;
  if (j == cap.size()) {
    std::printf("FAIL the capture holds no sound\n");
    return 1;
  }
  std::size_t inserted = 0;
  for (std::size_t i = first; i < ref.size(); ++i) {
    while (j < cap.size() && cap[j] != ref[i] && cap[j] == 0) {
      ++j;
      ++inserted;
    }
    if (j >= cap.size()) {
      std::printf("FAIL the capture ends at reference frame %zu of %zu\n", i, ref.size());
      return 1;
    }
    if (cap[j] != ref[i]) {
      std::printf("FAIL reference frame %zu differs (capture frame %zu)\n", i, j);
      return 1;
    }
    ++j;
  }
  std::printf("ok %zu frames equal, %zu inserted silent frames skipped\n", ref.size() - first, inserted);
  return 0;
}
