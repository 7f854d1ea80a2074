// Canvas, changed rectangles and disposals of an optimised animation.
#include "frame_optimizer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace gifjoin {

KeyTable keyTable(const Bytes& rgb, std::int32_t transparentIndex) {
  KeyTable keys{};
  const std::int32_t entries = static_cast<std::int32_t>(rgb.size() / 3);
  const std::int32_t bits = colourTableBits(entries - 1);
  const std::uint32_t mask = (1u << std::max(bits, 2)) - 1;
  const std::int32_t transparent =
      transparentIndex >= 0 ? static_cast<std::int32_t>(transparentIndex & 0xFF) : -1;
  for (std::uint32_t v = 0; v < 256; ++v) {
    const auto index = static_cast<std::int32_t>(v & mask);
    if (index == transparent) {
      keys[v] = kTransparentKey;
    } else if (index >= (1 << bits) || entries == 0) {
      keys[v] = kOpaqueBits;  // past the table: black
    } else {
      const auto at = static_cast<std::size_t>(std::min(index, entries - 1)) * 3;
      keys[v] = kOpaqueBits | ColourKey{rgb[at + 2]} << 16 | ColourKey{rgb[at + 1]} << 8 |
                ColourKey{rgb[at]};
    }
  }
  return keys;
}

bool FrameOptimizer::start(std::int32_t width, std::int32_t height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  if (pixels > kMaxCanvasPixels) return false;
  // A viewer starts from a transparent canvas.
  canvas_.reset(new (std::nothrow) ColourKey[std::max<std::size_t>(pixels, 1)]());
  if (!canvas_) return false;
  zeroRow_.assign(static_cast<std::size_t>(width_), 0);
  hasPending_ = false;
  frames_ = 0;
  return true;
}

std::vector<ColourKey> FrameOptimizer::takeKeys(std::size_t n) {
  std::vector<ColourKey> keys;
  if (!spare_.empty()) {
    keys = std::move(spare_.back());
    spare_.pop_back();
  }
  keys.resize(n);
  return keys;
}

void FrameOptimizer::recycle(std::vector<ColourKey>&& keys) {
  if (spare_.size() < 4) spare_.push_back(std::move(keys));
}

// Row y of the frame's values; rows past what the frame holds are zeros.
const std::uint8_t* FrameOptimizer::row(const Frame8& frame, std::int32_t y) {
  const std::size_t start = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
  if (frame.present && start + static_cast<std::size_t>(width_) <= frame.written) {
    return frame.data() + start;
  }
  std::fill(zeroRow_.begin(), zeroRow_.end(), 0);
  if (frame.present && start < frame.written) {
    std::memcpy(zeroRow_.data(), frame.data() + start, frame.written - start);
  }
  return zeroRow_.data();
}

// Where the frame differs from the canvas, and where it shows nothing over
// something the canvas shows (only drawing cannot get there).
void FrameOptimizer::scan(const Frame8& frame, const KeyTable& keys, bool lookForClears,
                          Box& changed, Box& clears) {
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint8_t* values = row(frame, y);
    const ColourKey* shown = canvas_.get() + static_cast<std::size_t>(y) * width_;
    std::int32_t first = 0;
    while (first < width_ && keys[values[first]] == shown[first]) ++first;
    if (first == width_) continue;
    std::int32_t last = width_ - 1;
    while (keys[values[last]] == shown[last]) --last;
    changed.add(first, last, y);
    if (!lookForClears) continue;
    for (std::int32_t x = first; x <= last; ++x) {
      if (keys[values[x]] == kTransparentKey && shown[x] != kTransparentKey) clears.add(x, x, y);
    }
  }
}

// The waiting frame clears its rectangle when it goes: widen it over every
// pixel that must become transparent, drawing nothing new there.
void FrameOptimizer::widenPending(const Box& clears) {
  const FrameRect old = pending_.rect;
  Box all;
  all.add(old.left, old.left + old.width - 1, old.top);
  all.add(old.left, old.left + old.width - 1, old.top + old.height - 1);
  all.add(clears.left, clears.right, clears.top);
  all.add(clears.left, clears.right, clears.bottom);
  const FrameRect wide{all.left, all.top, all.right - all.left + 1, all.bottom - all.top + 1};
  if (wide.width != old.width || wide.height != old.height) {
    std::vector<ColourKey> keys = takeKeys(static_cast<std::size_t>(wide.area()));
    for (std::int32_t y = 0; y < wide.height; ++y) {
      const std::int32_t sy = wide.top + y;
      const ColourKey* shown = canvas_.get() + static_cast<std::size_t>(sy) * width_ + wide.left;
      ColourKey* out = keys.data() + static_cast<std::size_t>(y) * wide.width;
      for (std::int32_t x = 0; x < wide.width; ++x) out[x] = unchangedKey(shown[x]);
      if (sy >= old.top && sy < old.top + old.height) {
        std::memcpy(out + (old.left - wide.left),
                    pending_.keys.data() + static_cast<std::size_t>(sy - old.top) * old.width,
                    static_cast<std::size_t>(old.width) * sizeof(ColourKey));
      }
    }
    recycle(std::move(pending_.keys));
    pending_.keys = std::move(keys);
    pending_.rect = wide;
  }
  pending_.disposal = Disposal::Background;
  for (std::int32_t y = wide.top; y < wide.top + wide.height; ++y) {
    std::fill_n(canvas_.get() + static_cast<std::size_t>(y) * width_ + wide.left, wide.width,
                kTransparentKey);
  }
}

bool FrameOptimizer::add(const Frame8& frame, const KeyTable& keys, FramePlan& previous) {
  const bool showsNothingSomewhere =
      std::find(keys.begin(), keys.end(), kTransparentKey) != keys.end();
  Box changed;
  Box clears;
  scan(frame, keys, showsNothingSomewhere && hasPending_, changed, clears);
  if (hasPending_ && !clears.empty()) {
    widenPending(clears);
    changed = Box();
    scan(frame, keys, false, changed, clears);
  }

  FramePlan plan;
  plan.number = frames_++;
  if (changed.empty()) {
    // Nothing to draw: the smallest frame, one pixel that stays as it is.
    plan.rect = FrameRect{0, 0, 1, 1};
    plan.keys = takeKeys(1);
    plan.keys[0] = width_ > 0 && height_ > 0 ? unchangedKey(canvas_[0]) : kTransparentKey;
  } else {
    plan.rect = FrameRect{changed.left, changed.top, changed.right - changed.left + 1,
                          changed.bottom - changed.top + 1};
    plan.keys = takeKeys(static_cast<std::size_t>(plan.rect.area()));
    ColourKey* out = plan.keys.data();
    for (std::int32_t y = plan.rect.top; y < plan.rect.top + plan.rect.height; ++y) {
      const std::uint8_t* values = row(frame, y) + plan.rect.left;
      ColourKey* shown = canvas_.get() + static_cast<std::size_t>(y) * width_ + plan.rect.left;
      for (std::int32_t x = 0; x < plan.rect.width; ++x) {
        const ColourKey key = keys[values[x]];
        *out++ = key == shown[x] ? unchangedKey(key) : key;
        shown[x] = key;
      }
    }
  }
  const bool had = hasPending_;
  if (had) previous = std::move(pending_);
  pending_ = std::move(plan);
  hasPending_ = true;
  return had;
}

bool FrameOptimizer::finish(FramePlan& last) {
  if (!hasPending_) return false;
  last = std::move(pending_);
  hasPending_ = false;
  return true;
}

}  // namespace gifjoin
