// Draws a small example series (a ball bouncing over a striped floor) and
// writes it as BASE_1.gif .. BASE_N.gif with gifjoin's own writer, so that
// the tool can be tried without any GIF files at hand.
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>

#include "general/byte_source.h"
#include "gif/gif_image.h"
#include "gif/write.h"

int main(int argc, char** argv) {
  const std::string base = argc > 1 ? argv[1] : "walk";
  const int count = argc > 2 ? std::atoi(argv[2]) : 8;
  constexpr int kWidth = 64;
  constexpr int kHeight = 48;
  if (count < 1 || count > 1000) {
    std::cerr << "usage: make_example_series [BASENAME [COUNT (1 to 1000)]]\n";
    return 2;
  }
  std::vector<std::int32_t> palette;
  for (int i = 0; i < 16; ++i) {
    palette.push_back(gifjoin::packRGB(16 * i, 255 - 12 * i, 40 + 10 * i));
  }
  for (int k = 1; k <= count; ++k) {
    gifjoin::Frame16 frame;
    frame.width = kWidth;
    frame.height = kHeight;
    frame.values.resize(kWidth * kHeight);
    const double phase = 2.0 * 3.14159265358979 * (k - 1) / count;
    const int cx = 8 + static_cast<int>((kWidth - 16) * (k - 1) / std::max(count - 1, 1));
    const int cy = 30 - static_cast<int>(20 * std::fabs(std::sin(phase)));
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        int value = y > 38 ? 8 + ((x + k) / 4) % 2 : 1;
        const int dx = x - cx;
        const int dy = y - cy;
        if (dx * dx + dy * dy <= 36) value = 12 + (dx + dy > 0 ? 1 : 0);
        frame.values[static_cast<std::size_t>(y * kWidth + x)] = static_cast<std::int16_t>(value);
      }
    }
    gifjoin::GIFImage image;
    image.reset();
    image.setColormap(palette);
    image.setImage(frame);
    const std::string name = base + "_" + std::to_string(k) + ".gif";
    gifjoin::UnitSink sink;
    if (!gifjoin::writeGIFImage(image, sink, name, std::cout)) return 1;
  }
  std::cout << "Wrote " << base << "_1.gif to " << base << "_" << count << ".gif\n";
  return 0;
}
