// Draws the control's pictures: the loudspeaker of the design-time face
// (39 by 37, 24-bit BMP), the toolbox bitmap (16 by 15, 24-bit BMP) and the
// About box's icon (32 by 32, 16 colours, with a transparent background).
// Usage: drawpictures FACE.bmp TOOLBOX.bmp ICON.ico
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

// The 16 colours of the standard VGA palette.
const Colour Vga[16] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},    {128, 0, 128},
                        {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},  {255, 255, 0},
                        {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

uint8_t nearest(Colour c) {
  int best = 0, bestdistance = 1 << 30;
  for (int i = 0; i < 16; ++i) {
    const int dr = c.r - Vga[i].r, dg = c.g - Vga[i].g, db = c.b - Vga[i].b;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestdistance) best = i, bestdistance = distance;
  }
  return static_cast<uint8_t>(best);
}

// A 32 by 32, 4-bit icon; the background colour is transparent.
bool writeicon(const char* path, const Picture& p) {
  std::vector<uint8_t> file;
  auto put16 = [&](uint32_t v) { file.push_back(v & 0xff), file.push_back((v >> 8) & 0xff); };
  auto put32 = [&](uint32_t v) { put16(v & 0xffff), put16(v >> 16); };
  const uint32_t xorbytes = 16 * 32, andbytes = 4 * 32, imagebytes = 40 + 64 + xorbytes + andbytes;
  put16(0), put16(1), put16(1);                                              // ICONDIR: one icon
  file.push_back(32), file.push_back(32), file.push_back(16), file.push_back(0);  // ICONDIRENTRY
  put16(1), put16(4), put32(imagebytes), put32(6 + 16);
  put32(40), put32(32), put32(64), put16(1), put16(4), put32(0), put32(xorbytes + andbytes);  // header,
  put32(0), put32(0), put32(16), put32(0);                                    // height counts both masks
  for (const Colour& c : Vga) file.push_back(c.b), file.push_back(c.g), file.push_back(c.r), file.push_back(0);
  auto at = [&](int x, int y) { return p.pixels[static_cast<std::size_t>(y * p.width + x)]; };
  auto background = [&](int x, int y) {
    const Colour c = at(x, y);
    return c.r == Face.r && c.g == Face.g && c.b == Face.b;
  };
  for (int y = 31; y >= 0; --y)
    for (int x = 0; x < 32; x += 2) {
      const uint8_t hi = background(x, y) ? 0 : nearest(at(x, y));
      const uint8_t lo = background(x + 1, y) ? 0 : nearest(at(x + 1, y));
      file.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
  for (int y = 31; y >= 0; --y)
    for (int x = 0; x < 32; x += 8) {
      uint8_t bits = 0;
      for (int b = 0; b < 8; ++b) bits |= (background(x + b, y) ? 1 : 0) << (7 - b);
      file.push_back(bits);
    }
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: drawpictures FACE.bmp TOOLBOX.bmp ICON.ico\n");
    return 2;
  }
  Picture face(39, 37), toolbox(16, 15), icon(32, 32);
  speaker(face, 1.0);
  speaker(toolbox, 16.0 / 39.0);
  speaker(icon, 32.0 / 39.0);
  return writebmp(argv[1], face) && writebmp(argv[2], toolbox) && writeicon(argv[3], icon) ? 0 : 1;
}
