// Draws the control's pictures as 24-bit BMP files: the loudspeaker of the
// design-time face (39 by 37) and the toolbox bitmap (16 by 15).
// Usage: drawpictures FACE.bmp TOOLBOX.bmp
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Colour {
  uint8_t r, g, b;
};

const Colour Face = {192, 192, 192};
const Colour Black = {0, 0, 0};
const Colour Magnet = {64, 64, 64};
const Colour Cone = {160, 160, 200};
const Colour Wave = {0, 0, 160};

struct Picture {
  int width, height;
  std::vector<Colour> pixels;
  Picture(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w * h), Face) {}
  void set(int x, int y, Colour c) {
    if (x >= 0 && y >= 0 && x < width && y < height) pixels[static_cast<std::size_t>(y * width + x)] = c;
  }
};

// A loudspeaker drawn at scale s (1.0 for 39 by 37): the magnet, the cone
// widening to the right, and three waves in front of it.
void speaker(Picture& p, double s) {
  const double cy = p.height / 2.0;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const double fx = (x + 0.5) / s, fy = (y + 0.5 - cy) / s;
      if (fx >= 4 && fx < 12 && std::fabs(fy) < 6) {  // magnet
        const bool edge = fx < 5 || fx >= 11 || std::fabs(fy) >= 5;
        p.set(x, y, edge ? Black : Magnet);
      } else if (fx >= 12 && fx < 22) {  // cone
        const double half = 6 + (fx - 12) * 1.1;
        if (std::fabs(fy) < half) p.set(x, y, std::fabs(fy) >= half - 1.2 || fx >= 21 ? Black : Cone);
      } else if (fx >= 24) {  // waves: rings around the cone's mouth
        const double r = std::hypot(fx - 18, fy);
        const double angle = std::fabs(std::atan2(fy, fx - 18));
        for (double ring : {8.5, 13.0, 17.5})
          if (std::fabs(r - ring) < 0.9 && angle < 0.75) p.set(x, y, Wave);
      }
    }
  }
}

bool writebmp(const char* path, const Picture& p) {
  const int rowbytes = (p.width * 3 + 3) & ~3;
  const uint32_t datasize = static_cast<uint32_t>(rowbytes * p.height);
  std::vector<uint8_t> file;
  auto put16 = [&](uint32_t v) { file.push_back(v & 0xff), file.push_back((v >> 8) & 0xff); };
  auto put32 = [&](uint32_t v) { put16(v & 0xffff), put16(v >> 16); };
  file.push_back('B'), file.push_back('M');
  put32(54 + datasize), put32(0), put32(54);
  put32(40), put32(static_cast<uint32_t>(p.width)), put32(static_cast<uint32_t>(p.height));
  put16(1), put16(24), put32(0), put32(datasize), put32(3780), put32(3780), put32(0), put32(0);
  for (int y = p.height - 1; y >= 0; --y) {  // bottom-up rows
    for (int x = 0; x < p.width; ++x) {
      const Colour c = p.pixels[static_cast<std::size_t>(y * p.width + x)];
      file.push_back(c.b), file.push_back(c.g), file.push_back(c.r);
    }
    for (int pad = p.width * 3; pad < rowbytes; ++pad) file.push_back(0);
  }
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: drawpictures FACE.bmp TOOLBOX.bmp\n");
    return 2;
  }
  Picture face(39, 37), toolbox(16, 15);
  speaker(face, 1.0);
  speaker(toolbox, 16.0 / 39.0);
  return writebmp(argv[1], face) && writebmp(argv[2], toolbox) ? 0 : 1;
}
