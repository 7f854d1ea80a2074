// Pictures and pieces placed on one canvas: the layout read from a file's
// first bytes, the canvas chosen before the first frame, and each frame
// composed as colours on the canvas, then written back as values of one
// colour table.
#include "gif/placement.h"

#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>

#include "gif/raster.h"

namespace gifjoin {

namespace {

constexpr ColourKey kBlack = kOpaqueBits;

// For every pixel of `canvas`, `store(p, value)` with the value
// `valueOf(key)` gives its colour, asked once for each run of one colour.
template <typename ValueOf, typename Store>
void valuesByRuns(const std::vector<ColourKey>& canvas, ValueOf valueOf, Store store) {
  ColourKey last = 0;
  std::int32_t lastValue = -1;
  for (std::size_t p = 0; p < canvas.size(); ++p) {
    if (p == 0 || canvas[p] != last) {
      last = canvas[p];
      lastValue = valueOf(last);
    }
    store(p, lastValue);
  }
}

std::int32_t le16(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8);
}

ColourKey keyOf(const std::uint8_t* rgb) {
  return kOpaqueBits | ColourKey{rgb[2]} << 16 | ColourKey{rgb[1]} << 8 | ColourKey{rgb[0]};
}

// How each of the 256 values shows with a table, as viewers show it:
// values past the table show black.
std::array<ColourKey, 256> tableKeys(const Bytes& rgb) {
  std::array<ColourKey, 256> keys;
  keys.fill(kBlack);
  const std::size_t entries = std::min<std::size_t>(rgb.size() / 3, 256);
  for (std::size_t v = 0; v < entries; ++v) keys[v] = keyOf(&rgb[v * 3]);
  return keys;
}

// Colours to table values: a small open-addressing table.
class KeyIndex {
 public:
  KeyIndex() { index_.fill(-1); }
  std::int32_t find(ColourKey key) const {
    for (std::size_t s = slot(key);; s = (s + 1) & (kSlots - 1)) {
      if (index_[s] < 0) return -1;
      if (keys_[s] == key) return index_[s];
    }
  }
  // The first value given for a key stays.
  void put(ColourKey key, std::int32_t value) {
    for (std::size_t s = slot(key);; s = (s + 1) & (kSlots - 1)) {
      if (index_[s] < 0) {
        keys_[s] = key;
        index_[s] = static_cast<std::int16_t>(value);
        ++size_;
        return;
      }
      if (keys_[s] == key) return;
    }
  }
  std::size_t size() const { return size_; }
  static constexpr std::size_t kMost = 600;  // keys it takes (under kSlots)

 private:
  static constexpr std::size_t kSlots = 1024;
  static std::size_t slot(ColourKey key) {
    return static_cast<std::uint32_t>(key * 2654435761u) >> 22;
  }
  std::array<ColourKey, kSlots> keys_{};
  std::array<std::int16_t, kSlots> index_{};
  std::size_t size_ = 0;
};

std::int64_t distance(ColourKey a, ColourKey b) {
  std::int64_t sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const std::int64_t d = std::int64_t((a >> shift) & 0xFF) - std::int64_t((b >> shift) & 0xFF);
    sum += d * d;
  }
  return sum;
}

}  // namespace

LayoutScan scanLayout(std::span<const std::uint8_t> bytes, FileLayout& layout) {
  constexpr std::size_t kHead = 13;  // signature and logical screen descriptor
  if (bytes.size() < kHead) return LayoutScan::NeedMore;
  if (bytes[0] != 'G' || bytes[1] != 'I' || bytes[2] != 'F') return LayoutScan::Nothing;
  FileLayout found;
  found.screenWidth = le16(bytes, 6);
  found.screenHeight = le16(bytes, 8);
  std::size_t at = kHead;
  if ((bytes[10] & 0x80) != 0) at += std::size_t{3} << ((bytes[10] & 0x07) + 1);
  for (;;) {
    if (at >= bytes.size()) return LayoutScan::NeedMore;
    const std::uint8_t introducer = bytes[at++];
    if (introducer == 0x2C) {
      if (bytes.size() - at < 9) return LayoutScan::NeedMore;
      found.left = le16(bytes, at);
      found.top = le16(bytes, at + 2);
      found.width = le16(bytes, at + 4);
      found.height = le16(bytes, at + 6);
      layout = found;
      return LayoutScan::Found;
    }
    if (introducer == 0x3B) return LayoutScan::Nothing;
    if (introducer != 0x21) continue;  // the reader passes over stray bytes too
    if (at >= bytes.size()) return LayoutScan::NeedMore;
    const std::uint8_t label = bytes[at++];
    bool first = true;
    for (;;) {  // the extension's sub-blocks
      if (at >= bytes.size()) return LayoutScan::NeedMore;
      const std::size_t n = bytes[at++];
      if (n == 0) break;
      if (bytes.size() - at < n) return LayoutScan::NeedMore;
      if (first && label == 0xF9 && n >= 4) {
        found.disposal = (bytes[at] >> 2) & 0x07;
        found.transparent = (bytes[at] & 0x01) != 0 ? bytes[at + 3] : -1;
      }
      first = false;
      at += n;
    }
  }
}

std::int32_t placedAt(std::int32_t canvas, std::int32_t picture, Edge edge) {
  switch (edge) {
    case Edge::Start:
      return 0;
    case Edge::End:
      return canvas - picture;
    case Edge::Middle:
      break;
  }
  return (canvas - picture) / 2;  // towards zero: the odd pixel at the end
}

CanvasSize::CanvasSize(const PlacementOptions& options) : mode_(options.canvas) {
  if (mode_ == PlacementOptions::Canvas::Fixed) {
    width_ = options.width;
    height_ = options.height;
    fixed_ = true;
  }
}

void CanvasSize::add(const FileLayout& layout) {
  const std::int32_t w = layout.pictureWidth();
  const std::int32_t h = layout.pictureHeight();
  if (fixed_) {
    if (w > width_ || h > height_) ++cut_;
    return;
  }
  width_ = std::max(width_, w);
  height_ = std::max(height_, h);
  fixed_ = mode_ == PlacementOptions::Canvas::First;
}

Composer::Composer(const PlacementOptions& options, std::int32_t canvasWidth,
                   std::int32_t canvasHeight, bool pieces)
    : options_(options),
      width_(std::max(canvasWidth, 0)),
      height_(std::max(canvasHeight, 0)),
      pieces_(pieces) {}

bool Composer::direct(const FileLayout& layout) const {
  return !pieces_ && layout.left == 0 && layout.top == 0 && layout.width == width_ &&
         layout.height == height_ && layout.pictureWidth() == width_ &&
         layout.pictureHeight() == height_;
}

Composer::Rect Composer::clip(Rect r, const Rect& to) const {
  const std::int32_t x0 = std::max(r.x, to.x);
  const std::int32_t y0 = std::max(r.y, to.y);
  const std::int32_t x1 = std::min(r.x + r.width, to.x + to.width);
  const std::int32_t y1 = std::min(r.y + r.height, to.y + to.height);
  return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

Composer::Rect Composer::placedPicture(const FileLayout& layout) const {
  const std::int32_t w = layout.pictureWidth();
  const std::int32_t h = layout.pictureHeight();
  return {placedAt(width_, w, options_.horizontal), placedAt(height_, h, options_.vertical), w, h};
}

void Composer::fillRect(const Rect& r, ColourKey key) {
  for (std::int32_t y = r.y; y < r.y + r.height; ++y) {
    ColourKey* row = canvas_.data() + static_cast<std::size_t>(y) * width_ + r.x;
    std::fill(row, row + r.width, key);
  }
}

void Composer::reset(const Rect& picture, ColourKey fill) {
  std::fill(canvas_.begin(), canvas_.end(), fill);
  if (fill != kTransparentKey) fillRect(clip(picture, {0, 0, width_, height_}), kTransparentKey);
}

Composer::Rect Composer::draw(const Frame8& image, const FileLayout& layout,
                              const std::array<ColourKey, 256>& keys, std::int32_t x,
                              std::int32_t y, const Rect& within) {
  const std::int32_t left = x + layout.left;
  const std::int32_t top = y + layout.top;
  const Rect r = clip({left, top, image.width, image.height}, within);
  const std::int32_t transparent = layout.transparent;
  const auto imageWidth = static_cast<std::size_t>(image.width);
  for (std::int32_t row = r.y; row < r.y + r.height; ++row) {
    ColourKey* out = canvas_.data() + static_cast<std::size_t>(row) * width_;
    const std::size_t from = static_cast<std::size_t>(row - top) * imageWidth;
    for (std::int32_t col = r.x; col < r.x + r.width; ++col) {
      const std::size_t at = from + static_cast<std::size_t>(col - left);
      const std::uint8_t v = at < image.written ? image.data()[at] : 0;
      if (v != transparent) out[col] = keys[v];
    }
  }
  return r;
}

ColourKey Composer::fillFor(const Frame8& image, const FileLayout& layout,
                            const std::array<ColourKey, 256>& keys) const {
  switch (options_.fill) {
    case PlacementOptions::Fill::Transparent:
      return kTransparentKey;
    case PlacementOptions::Fill::Colour:
      return options_.colour;
    case PlacementOptions::Fill::Corner:
      break;
  }
  // The picture's top-left pixel: the image's first when it lies there.
  if (layout.left != 0 || layout.top != 0 || image.width <= 0 || image.height <= 0) {
    return kTransparentKey;
  }
  const std::uint8_t v = image.written > 0 ? image.data()[0] : 0;
  return v == layout.transparent ? kTransparentKey : keys[v];
}

void Composer::compose(const Frame8& image, const FileLayout& layout, FrameColours& colours,
                       Frame8& out) {
  const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  // A canvas is held as an image is: no larger than the reader holds one.
  if (pixels > static_cast<std::size_t>(kMaxImagePixels)) throw std::bad_alloc();
  if (canvas_.size() != pixels) canvas_.assign(pixels, kTransparentKey);
  const std::array<ColourKey, 256> keys = tableKeys(colours.rgb);
  const Rect whole{0, 0, width_, height_};
  if (!pieces_) {
    const Rect picture = placedPicture(layout);
    reset(picture, fillFor(image, layout, keys));
    draw(image, layout, keys, picture.x, picture.y, clip(picture, whole));
  } else {
    if (!started_) {
      started_ = true;
      first_ = layout;
      home_ = placedPicture(layout);
      reset(home_, fillFor(image, layout, keys));
    } else if (pendingDisposal_ == 2) {
      fillRect(pending_, kTransparentKey);
    } else if (pendingDisposal_ == 3 && pending_.width > 0) {
      for (std::int32_t y = 0; y < pending_.height; ++y) {
        std::memcpy(canvas_.data() + static_cast<std::size_t>(pending_.y + y) * width_ + pending_.x,
                    saved_.data() + static_cast<std::size_t>(y) * pending_.width,
                    sizeof(ColourKey) * static_cast<std::size_t>(pending_.width));
      }
    }
    Rect origin = home_;
    if (!layout.sameScreen(first_)) {
      // Another screen: shown as a picture of its own, placed anew.
      origin = placedPicture(layout);
      reset(origin, fillFor(image, layout, keys));
    }
    const Rect within = clip(origin, whole);
    const Rect drawn =
        clip({origin.x + layout.left, origin.y + layout.top, image.width, image.height}, within);
    if (layout.disposal == 3 && drawn.width > 0) {
      saved_.resize(static_cast<std::size_t>(drawn.width) * static_cast<std::size_t>(drawn.height));
      for (std::int32_t y = 0; y < drawn.height; ++y) {
        std::memcpy(saved_.data() + static_cast<std::size_t>(y) * drawn.width,
                    canvas_.data() + static_cast<std::size_t>(drawn.y + y) * width_ + drawn.x,
                    sizeof(ColourKey) * static_cast<std::size_t>(drawn.width));
      }
    }
    draw(image, layout, keys, origin.x, origin.y, within);
    pending_ = drawn;
    pendingDisposal_ = layout.disposal;
  }
  toFrame(image, colours, keys, out);
}

// The canvas as values of the file's table. Colours the table lacks (and
// "nothing", when the file has no transparent index) take entries that no
// pixel of the frame uses, or new entries up to 256.
void Composer::toFrame(const Frame8& image, FrameColours& colours,
                       const std::array<ColourKey, 256>& keys, Frame8& out) {
  const std::size_t pixels = canvas_.size();
  out.written = 0;
  if (!out.reserve(pixels)) throw std::bad_alloc();
  out.present = true;
  out.width = width_;
  out.height = height_;
  out.written = pixels;
  Bytes& rgb = colours.rgb;
  std::int32_t entries = static_cast<std::int32_t>(std::min<std::size_t>(rgb.size() / 3, 256));
  rgb.resize(static_cast<std::size_t>(entries) * 3);
  std::int32_t transparent = colours.transparentColorIndex;
  if (transparent >= entries) transparent = -1;

  KeyIndex index;
  if (transparent >= 0) index.put(kTransparentKey, transparent);
  for (std::int32_t v = 0; v < entries; ++v) {
    if (v != transparent) index.put(keys[static_cast<std::size_t>(v)], v);
  }
  std::array<bool, 256> used{};
  KeyIndex missing;
  std::vector<ColourKey> lacking;  // in the order found, up to what the index takes
  bool overflow = false;
  std::uint8_t* values = out.data();
  bool anyMissing = false;
  valuesByRuns(
      canvas_,
      [&](ColourKey key) {
        const std::int32_t value = index.find(key);
        if (value < 0 && missing.find(key) < 0) {
          if (lacking.size() < KeyIndex::kMost) {
            missing.put(key, 0);
            lacking.push_back(key);
          } else {
            overflow = true;
          }
        }
        return value;
      },
      [&](std::size_t p, std::int32_t value) {
        if (value >= 0) {
          used[static_cast<std::size_t>(value)] = true;
          values[p] = static_cast<std::uint8_t>(value);
        } else {
          anyMissing = true;
        }
      });
  colours.transparentColorIndex = transparent;
  if (!anyMissing) return;

  // Nothing first: it needs an entry but no colour.
  std::stable_partition(lacking.begin(), lacking.end(),
                        [](ColourKey k) { return k == kTransparentKey; });
  std::array<bool, 256> taken = used;
  if (transparent >= 0) taken[static_cast<std::size_t>(transparent)] = true;
  auto freeValue = [&]() -> std::int32_t {
    for (std::int32_t v = 0; v < 256; ++v) {
      if (!taken[static_cast<std::size_t>(v)]) return v;
    }
    return -1;
  };
  std::size_t placed = 0;
  for (; placed < lacking.size(); ++placed) {
    const std::int32_t v = freeValue();
    if (v < 0) break;
    taken[static_cast<std::size_t>(v)] = true;
    if (v >= entries) {
      rgb.resize(static_cast<std::size_t>(v + 1) * 3, 0);  // black between
      entries = v + 1;
    }
    const ColourKey key = lacking[placed];
    if (key == kTransparentKey) {
      transparent = v;
    } else {
      rgb[static_cast<std::size_t>(v) * 3] = static_cast<std::uint8_t>(key);
      rgb[static_cast<std::size_t>(v) * 3 + 1] = static_cast<std::uint8_t>(key >> 8);
      rgb[static_cast<std::size_t>(v) * 3 + 2] = static_cast<std::uint8_t>(key >> 16);
    }
    index.put(key, v);
  }
  colours.transparentColorIndex = transparent;

  // Colours left without an entry: nothing shows as the image's top-left
  // colour, an opaque colour as the nearest of the table.
  const bool exact = placed == lacking.size() && !overflow;
  std::unordered_map<ColourKey, std::int32_t> nearest;
  bool opaqueNothing = false;
  bool nearestUsed = false;
  auto substitute = [&](ColourKey key) -> std::int32_t {
    const auto found = nearest.find(key);
    if (found != nearest.end()) return found->second;
    ColourKey wanted = key;
    if (key == kTransparentKey) {
      opaqueNothing = true;
      const std::uint8_t v = image.written > 0 ? image.data()[0] : 0;
      wanted = keys[v];
      const std::int32_t exactValue = index.find(wanted);
      if (exactValue >= 0) return nearest[key] = exactValue;
    } else {
      nearestUsed = true;
    }
    std::int32_t best = 0;
    std::int64_t bestDistance = std::numeric_limits<std::int64_t>::max();
    for (std::int32_t v = 0; v < entries; ++v) {
      if (v == transparent) continue;
      const std::int64_t d = distance(wanted, keyOf(&rgb[static_cast<std::size_t>(v) * 3]));
      if (d < bestDistance) {
        bestDistance = d;
        best = v;
      }
    }
    return nearest[key] = best;
  };
  valuesByRuns(
      canvas_,
      [&](ColourKey key) {
        const std::int32_t value = index.find(key);
        return value >= 0 ? value : substitute(key);
      },
      [&](std::size_t p, std::int32_t value) { values[p] = static_cast<std::uint8_t>(value); });
  if (!exact) {
    if (opaqueNothing) ++notes_.opaqueNothing;
    if (nearestUsed) ++notes_.nearestColours;
  }
}

}  // namespace gifjoin
