// Canvas, changed rectangles and disposals of an optimised animation.
#include "gif/frame_optimizer.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <new>
#include <utility>

namespace gifjoin {

KeyTable keyTable(const Bytes& rgb, std::int32_t transparentIndex) {
  KeyTable keys{};
  const std::int32_t entries = static_cast<std::int32_t>(rgb.size() / 3);
  const std::int32_t bits = colourTableBits(entries - 1);
  const std::int32_t transparent =
      transparentIndex >= 0 ? static_cast<std::int32_t>(transparentIndex & 0xFF) : -1;
  for (std::int32_t v = 0; v < 256; ++v) {
    if (v == transparent) {
      keys[v] = kTransparentKey;
    } else if (v >= (1 << bits) || entries == 0) {
      keys[v] = kOpaqueBits;  // past the table: black, as viewers show it
    } else {
      const auto at = static_cast<std::size_t>(std::min(v, entries - 1)) * 3;
      keys[v] = kOpaqueBits | ColourKey{rgb[at + 2]} << 16 | ColourKey{rgb[at + 1]} << 8 |
                ColourKey{rgb[at]};
    }
  }
  return keys;
}

namespace {

constexpr PlanCode kNoCode = 0xFFFF;

// Two colours a viewer shows that count as the same: equal, or, in lossy
// runs, both opaque and within `within` of each other in red, green and
// blue.
inline bool nearKeys(ColourKey a, ColourKey b, std::int32_t within) {
  if (a == b) return true;
  if (a == kTransparentKey || b == kTransparentKey) return false;
  for (int shift = 0; shift < 24; shift += 8) {
    const std::int32_t d =
        static_cast<std::int32_t>(a >> shift & 0xFF) - static_cast<std::int32_t>(b >> shift & 0xFF);
    if (d > within || d < -within) return false;
  }
  return true;
}

constexpr std::size_t colourSlot(ColourKey key, std::size_t slots) {
  return (key * 2654435761u) >> 20 & (slots - 1);
}

}  // namespace

bool FrameOptimizer::start(std::int32_t width, std::int32_t height, std::int32_t unchangedWithin) {
  within_ = std::max(unchangedWithin, 0);
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  if (pixels > kMaxCanvasPixels) return false;
  // A viewer starts from a transparent canvas.
  canvas_.reset(new (std::nothrow) ColourKey[std::max<std::size_t>(pixels, 1)]());
  shownValues_.reset(new (std::nothrow) std::uint8_t[std::max<std::size_t>(pixels, 1)]);
  if (!canvas_ || !shownValues_) return false;
  zeroRow_.assign(static_cast<std::size_t>(width_), 0);
  hasPending_ = false;
  haveShown_ = false;
  haveFirst_ = false;
  canvasCurrent_ = true;
  frames_ = 0;
  return true;
}

std::vector<PlanCode> FrameOptimizer::takeCodes(std::size_t n) {
  std::vector<PlanCode> codes;
  if (!spare_.empty()) {
    codes = std::move(spare_.back());
    spare_.pop_back();
  }
  codes.resize(n);
  return codes;
}

void FrameOptimizer::recycle(std::vector<PlanCode>&& codes) {
  if (spare_.size() < 3) spare_.push_back(std::move(codes));
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

// Where the frame differs from the canvas (beyond the lossy bound, when
// kNear), and where it shows nothing over something the canvas shows (only
// drawing cannot get there).
template <bool kNear>
void FrameOptimizer::scan(const Frame8& frame, const KeyTable& keys, bool lookForClears,
                          Box& changed, Box& clears) {
  const std::int32_t within = within_;
  auto same = [within](ColourKey a, ColourKey b) {
    return kNear ? nearKeys(a, b, within) : a == b;
  };
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint8_t* values = row(frame, y);
    const ColourKey* shown = canvas_.get() + static_cast<std::size_t>(y) * width_;
    std::int32_t first = 0;
    while (first < width_ && same(keys[values[first]], shown[first])) ++first;
    if (first == width_) continue;
    std::int32_t last = width_ - 1;
    while (same(keys[values[last]], shown[last])) --last;
    changed.add(first, last, y);
    if (!lookForClears) continue;
    for (std::int32_t x = first; x <= last; ++x) {
      if (keys[values[x]] == kTransparentKey && shown[x] != kTransparentKey) clears.add(x, x, y);
    }
  }
}

void FrameOptimizer::scanAny(const Frame8& frame, const KeyTable& keys, bool lookForClears,
                             Box& changed, Box& clears) {
  if (within_ > 0) {
    scan<true>(frame, keys, lookForClears, changed, clears);
  } else {
    scan<false>(frame, keys, lookForClears, changed, clears);
  }
}

// The frame's value that shows an opaque colour, or -1.
std::int32_t FrameOptimizer::valueShowing(ColourKey key) const {
  std::size_t s = colourSlot(key, kColourSlots);
  while (slotValue_[s] >= 0) {
    if (slotKey_[s] == key) return slotValue_[s];
    s = (s + 1) & (kColourSlots - 1);
  }
  return -1;
}

// The codes of the plan's rectangle in a lossy run. A pixel near what the
// canvas shows is unchanged, and the canvas keeps showing what it showed:
// its code is the frame's value of that colour, or, when the frame has
// none, a value it does not draw, which the plan shows as transparent. Every pixel shown is then
// within the bound of its file's, however many frames it stays.
void FrameOptimizer::planNear(const Frame8& frame, const KeyTable& keys, FramePlan& plan) {
  const FrameRect rect = plan.rect;
  std::bitset<256> drawn;
  std::size_t through = 0;
  PlanCode* out = plan.codes.data();
  for (std::int32_t y = rect.top; y < rect.top + rect.height; ++y) {
    const std::uint8_t* values = row(frame, y) + rect.left;
    ColourKey* shown = canvas_.get() + static_cast<std::size_t>(y) * width_ + rect.left;
    ColourKey lastKey = 1;  // no key is 1
    std::int32_t lastValue = -1;
    for (std::int32_t x = 0; x < rect.width; ++x) {
      const std::uint8_t v = first_[values[x]];
      const ColourKey key = keys[v];
      if (key == shown[x]) {
        *out++ = static_cast<PlanCode>(v | kUnchangedCode);
      } else if (nearKeys(key, shown[x], within_)) {
        if (shown[x] != lastKey) {
          lastKey = shown[x];
          lastValue = valueShowing(lastKey);
        }
        if (lastValue >= 0) {
          *out++ = static_cast<PlanCode>(lastValue | kUnchangedCode);
        } else {
          *out++ = static_cast<PlanCode>(v | kUnchangedCode);
          ++through;
        }
      } else {
        *out++ = v;
        drawn.set(v);
        shown[x] = key;
      }
    }
  }
  if (through == 0) return;
  // The pixels whose colour the frame lacks show through a value the frame
  // does not draw, made transparent in the plan, when they are at least an
  // eighth of the rectangle (fewer, scattered among drawn pixels, cost more
  // than they save); else, or when it draws every value, they are drawn in
  // their own colours.
  std::int32_t free = 0;
  while (free < 256 && drawn.test(static_cast<std::size_t>(free))) ++free;
  if (through * 8 < plan.codes.size()) free = 256;
  if (free < 256) plan.shown[static_cast<std::size_t>(free)] = kTransparentKey;
  out = plan.codes.data();
  for (std::int32_t y = rect.top; y < rect.top + rect.height; ++y) {
    ColourKey* shown = canvas_.get() + static_cast<std::size_t>(y) * width_ + rect.left;
    for (std::int32_t x = 0; x < rect.width; ++x, ++out) {
      const auto v = static_cast<std::uint8_t>(*out);
      if ((*out & kUnchangedCode) == 0 || keys[v] == shown[x]) continue;
      if (free < 256) {
        *out = static_cast<PlanCode>(free | kUnchangedCode);
      } else {
        *out = v;
        shown[x] = keys[v];
      }
    }
  }
}

// Where the frame's values differ from the last frame's, row by row: equal
// rows are passed over by one comparison, and the ends of a changed row are
// found eight values at a time.
void FrameOptimizer::scanValues(const Frame8& frame, Box& changed) {
  const auto width = static_cast<std::size_t>(width_);
  if (width == 0) return;  // rows of no values (maybe a null pointer): nothing changes
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint8_t* values = row(frame, y);
    const std::uint8_t* shown = shownValues_.get() + static_cast<std::size_t>(y) * width;
    if (std::memcmp(values, shown, width) == 0) continue;
    std::size_t first = 0;
    while (first + 8 <= width) {
      std::uint64_t a = 0, b = 0;
      std::memcpy(&a, values + first, 8);
      std::memcpy(&b, shown + first, 8);
      if (a != b) break;
      first += 8;
    }
    while (values[first] == shown[first]) ++first;
    std::size_t end = width;  // one past the last difference
    while (end >= first + 8) {
      std::uint64_t a = 0, b = 0;
      std::memcpy(&a, values + end - 8, 8);
      std::memcpy(&b, shown + end - 8, 8);
      if (a != b) break;
      end -= 8;
    }
    while (values[end - 1] == shown[end - 1]) --end;
    changed.add(static_cast<std::int32_t>(first), static_cast<std::int32_t>(end - 1), y);
  }
}

// Bring the colours of the canvas up to what the last frame's values show.
void FrameOptimizer::showCanvas() {
  if (canvasCurrent_) return;
  const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  for (std::size_t i = 0; i < pixels; ++i) canvas_[i] = shownKeys_[shownValues_[i]];
  canvasCurrent_ = true;
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
    // The canvas shows the waiting frame: its pixels outside its rectangle
    // were already there, so they are written as unchanged.
    std::array<std::pair<ColourKey, PlanCode>, 257> valueOf{};
    std::size_t known = 0;
    auto codeOf = [&](ColourKey key) -> PlanCode {
      for (std::size_t i = 0; i < known; ++i) {
        if (valueOf[i].first == key) return valueOf[i].second;
      }
      for (std::size_t v = 0; v < 256; ++v) {
        if (pending_.shown[v] == key) {
          if (known < valueOf.size()) valueOf[known++] = {key, static_cast<PlanCode>(v)};
          return static_cast<PlanCode>(v | kUnchangedCode);
        }
      }
      // Lossy runs: the canvas may show a colour near the frame's that
      // the frame cannot show. Otherwise not reached.
      return within_ > 0 ? kNoCode : kUnchangedCode;
    };
    // Such a pixel is drawn as the waiting frame's file has it.
    auto ownCode = [&](std::size_t at) {
      const ColourKey key = pending_.shown[shownValues_[at]];
      PlanCode v = 0;
      while (pending_.shown[v] != key) ++v;
      return v;
    };
    std::vector<PlanCode> codes = takeCodes(static_cast<std::size_t>(wide.area()));
    for (std::int32_t y = 0; y < wide.height; ++y) {
      const std::int32_t sy = wide.top + y;
      const ColourKey* shown = canvas_.get() + static_cast<std::size_t>(sy) * width_ + wide.left;
      PlanCode* out = codes.data() + static_cast<std::size_t>(y) * wide.width;
      ColourKey lastKey = 1;  // no key is 1
      PlanCode lastCode = 0;
      for (std::int32_t x = 0; x < wide.width; ++x) {
        if (shown[x] != lastKey) {
          lastKey = shown[x];
          lastCode = codeOf(lastKey);
          if (lastCode != kNoCode) lastCode |= kUnchangedCode;
        }
        out[x] = lastCode != kNoCode
                     ? lastCode
                     : ownCode(static_cast<std::size_t>(sy) * width_ + wide.left + x);
      }
      if (sy >= old.top && sy < old.top + old.height) {
        // The old rectangle's codes without the marks of its scan: the
        // wider plan is counted and marked anew.
        const PlanCode* from =
            pending_.codes.data() + static_cast<std::size_t>(sy - old.top) * old.width;
        std::transform(from, from + old.width, out + (old.left - wide.left),
                       [](PlanCode code) { return static_cast<PlanCode>(code & ~kDrawnMark); });
      }
    }
    pending_.scanned = false;
    recycle(std::move(pending_.codes));
    pending_.codes = std::move(codes);
    pending_.rect = wide;
  }
  pending_.disposal = Disposal::Background;
  for (std::int32_t y = wide.top; y < wide.top + wide.height; ++y) {
    std::fill_n(canvas_.get() + static_cast<std::size_t>(y) * width_ + wide.left, wide.width,
                kTransparentKey);
  }
}

bool FrameOptimizer::add(const Frame8& frame, const KeyTable& keys, FramePlan& previous) {
  // Values that show the same are written as one (worked out again only
  // when the colours are not those of the last frame).
  if (!haveFirst_ || keys != firstKeys_) {
    distinct_ = true;
    for (std::size_t v = 0; v < 256; ++v) {
      first_[v] = static_cast<std::uint8_t>(v);
      for (std::size_t u = 0; u < v; ++u) {
        if (keys[u] == keys[v]) {
          first_[v] = static_cast<std::uint8_t>(u);
          distinct_ = false;
          break;
        }
      }
    }
    firstKeys_ = keys;
    haveFirst_ = true;
    if (within_ > 0) {
      slotValue_.fill(-1);
      for (std::size_t v = 0; v < 256; ++v) {
        if (first_[v] != v || keys[v] == kTransparentKey) continue;
        std::size_t s = colourSlot(keys[v], kColourSlots);
        while (slotValue_[s] >= 0) s = (s + 1) & (kColourSlots - 1);
        slotKey_[s] = keys[v];
        slotValue_[s] = static_cast<std::int16_t>(v);
      }
    }
  }
  const bool showsNothingSomewhere =
      std::find(keys.begin(), keys.end(), kTransparentKey) != keys.end();
  FramePlan plan;
  plan.number = frames_++;
  plan.shown = keys;
  // A frame with the colours of the last one, and nothing transparent,
  // is compared value by value.
  const bool byValue = within_ == 0 && haveShown_ && !showsNothingSomewhere && keys == shownKeys_;
  Box changed;
  if (byValue) {
    scanValues(frame, changed);
  } else {
    showCanvas();
    Box clears;
    scanAny(frame, keys, showsNothingSomewhere && hasPending_, changed, clears);
    if (hasPending_ && !clears.empty()) {
      widenPending(clears);
      changed = Box();
      scanAny(frame, keys, false, changed, clears);
    }
  }

  if (changed.empty()) {
    // Nothing to draw: the smallest frame, one pixel that stays as it is.
    plan.rect = FrameRect{0, 0, 1, 1};
    plan.codes = takeCodes(1);
    const std::uint8_t value = width_ > 0 && height_ > 0 ? row(frame, 0)[0] : 0;
    plan.codes[0] = static_cast<PlanCode>(first_[value] | kUnchangedCode);
    if (within_ > 0 && width_ > 0 && height_ > 0 && keys[value] != canvas_[0]) {
      // Near what the canvas shows: the frame's value of that colour.
      const std::int32_t showing = valueShowing(canvas_[0]);
      if (showing >= 0) {
        plan.codes[0] = static_cast<PlanCode>(showing | kUnchangedCode);
      } else {
        // Shown through a value made transparent.
        plan.shown[value ^ 1] = kTransparentKey;
        plan.codes[0] = static_cast<PlanCode>((value ^ 1) | kUnchangedCode);
      }
    }
  } else {
    plan.rect = FrameRect{changed.left, changed.top, changed.right - changed.left + 1,
                          changed.bottom - changed.top + 1};
    plan.codes = takeCodes(static_cast<std::size_t>(plan.rect.area()));
    PlanCode* out = plan.codes.data();
    if (within_ > 0) planNear(frame, keys, plan);
    // A frame compared value by value is counted and marked row by row as
    // its codes are made, while they are at hand.
    const bool scanning = byValue && within_ == 0;
    if (scanning) scan_.start();
    for (std::int32_t y = plan.rect.top; within_ == 0 && y < plan.rect.top + plan.rect.height;
         ++y) {
      const std::size_t at = static_cast<std::size_t>(y) * width_ + plan.rect.left;
      const std::uint8_t* values = row(frame, y) + plan.rect.left;
      if (byValue) {
        std::uint8_t* shown = shownValues_.get() + at;
        const auto width = static_cast<std::size_t>(plan.rect.width);
        if (distinct_) {
          // Every value shows a colour of its own: a plain loop the compiler
          // turns into vector code.
          for (std::size_t x = 0; x < width; ++x) {
            out[x] = static_cast<PlanCode>(values[x] | (values[x] == shown[x]) << 8);
          }
        } else {
          for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t v = first_[values[x]];
            out[x] = static_cast<PlanCode>(v | (v == first_[shown[x]]) << 8);
          }
        }
        if (scanning) {
          const auto begin = static_cast<std::size_t>(out - plan.codes.data());
          scan_.feed(plan.codes.data(), begin, begin + width);
        }
        out += width;
        std::memcpy(shown, values, width);
      } else {
        ColourKey* shown = canvas_.get() + at;
        for (std::int32_t x = 0; x < plan.rect.width; ++x) {
          const ColourKey key = keys[values[x]];
          const auto code =
              static_cast<PlanCode>(first_[values[x]] | (key == shown[x] ? kUnchangedCode : 0));
          *out++ = code;
          shown[x] = key;
        }
      }
    }
    if (scanning) {
      scan_.finish(plan.codes.data(), plan.codes.size(), plan.counts);
      plan.scanned = true;
    }
  }
  if (byValue) {
    canvasCurrent_ = false;
  } else {
    // The canvas shows this frame everywhere now; keep its values (a
    // screen 0 wide has none, and its rows may be null pointers).
    for (std::int32_t y = 0; y < height_ && width_ > 0; ++y) {
      std::memcpy(shownValues_.get() + static_cast<std::size_t>(y) * width_, row(frame, y),
                  static_cast<std::size_t>(width_));
    }
    shownKeys_ = keys;
    haveShown_ = true;
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

void scanPlan(FramePlan& plan) {
  if (plan.scanned) return;
  PlanScan scan;
  scan.start();
  scan.feed(plan.codes.data(), 0, plan.codes.size());
  scan.finish(plan.codes.data(), plan.codes.size(), plan.counts);
  plan.scanned = true;
}

void PlanScan::start() {
  tally_.fill(0);
  last_ = 0;
  lastFour_ = 0;
  lastRun_ = 0;
  open_ = false;
}

void PlanScan::close(PlanCode* codes, std::size_t at) {
  if (oneCode_) {
    for (std::size_t k = from_; k < at; ++k) codes[k] |= kDrawnMark;
  }
  open_ = false;
}

void PlanScan::step(PlanCode* codes, std::size_t k) {
  const PlanCode code = codes[k];
  if ((code & kUnchangedCode) == 0) {
    if (open_) close(codes, k);
  } else if (!open_) {
    open_ = true;
    oneCode_ = true;
    from_ = k;
    first_ = code;
  } else if (code != first_) {
    oneCode_ = false;
  }
}

void PlanScan::feed(PlanCode* codes, std::size_t i, std::size_t end) {
  constexpr std::uint64_t kFour = 0x0001000100010001u;
  constexpr std::uint64_t kFourUnchanged = kFour * kUnchangedCode;
  for (; i + 4 <= end; i += 4) {
    std::uint64_t word = 0;
    std::memcpy(&word, codes + i, sizeof word);
    if (word == lastFour_) {
      // More of the last code: no stretch begins or ends. A long run goes
      // on sixteen at a time.
      lastRun_ += 4;
      while (i + 20 <= end) {
        std::uint64_t next[4];
        std::memcpy(next, codes + i + 4, sizeof next);
        if (((next[0] ^ lastFour_) | (next[1] ^ lastFour_) | (next[2] ^ lastFour_) |
             (next[3] ^ lastFour_)) != 0) {
          break;
        }
        lastRun_ += 16;
        i += 16;
      }
      continue;
    }
    tally_[last_] += lastRun_;
    lastRun_ = 0;
    ++tally_[codes[i]];
    ++tally_[kPlanCodes + codes[i + 1]];
    ++tally_[2 * kPlanCodes + codes[i + 2]];
    ++tally_[3 * kPlanCodes + codes[i + 3]];
    const std::uint64_t unchanged = word & kFourUnchanged;
    if (unchanged == 0) {
      if (open_) close(codes, i);
    } else if (unchanged == kFourUnchanged && open_) {
      if (word != first_ * kFour) oneCode_ = false;
    } else {
      for (std::size_t k = i; k < i + 4; ++k) step(codes, k);
    }
    last_ = codes[i + 3];
    lastFour_ = last_ * kFour;
  }
  for (; i < end; ++i) {
    tally_[last_] += lastRun_;
    lastRun_ = 0;
    ++tally_[codes[i]];
    step(codes, i);
    last_ = codes[i];
    lastFour_ = last_ * kFour;
  }
}

void PlanScan::finish(PlanCode* codes, std::size_t count,
                      std::array<std::uint32_t, kPlanCodes>& counts) {
  tally_[last_] += lastRun_;
  lastRun_ = 0;
  if (open_) close(codes, count);
  for (std::size_t c = 0; c < kPlanCodes; ++c) {
    counts[c] = tally_[c] + tally_[kPlanCodes + c] + tally_[2 * kPlanCodes + c] +
                tally_[3 * kPlanCodes + c];
  }
}

}  // namespace gifjoin
