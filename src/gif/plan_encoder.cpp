// Colour tables, transparency and image data of optimised frames.
#include "plan_encoder.h"

#include <algorithm>
#include <bitset>
#include <numeric>

namespace gifjoin {

namespace {

constexpr std::size_t hashSlot(ColourKey key, std::size_t slots) {
  return (key * 2654435761u) >> 22 & (slots - 1);
}

void appendRgb(Bytes& rgb, ColourKey shown) {
  rgb.push_back(static_cast<std::uint8_t>(shown));
  rgb.push_back(static_cast<std::uint8_t>(shown >> 8));
  rgb.push_back(static_cast<std::uint8_t>(shown >> 16));
}

}  // namespace

void GlobalPalette::build(const FramePlan& first) {
  // Count the first frame's colours, then order them most used first.
  std::vector<std::pair<ColourKey, std::uint32_t>> counts;
  keys_.fill(0);
  index_.fill(-1);
  auto slot = [&](ColourKey shown) {
    std::size_t s = hashSlot(shown, kSlots);
    while (index_[s] >= 0 && keys_[s] != shown) s = (s + 1) & (kSlots - 1);
    return s;
  };
  for (const ColourKey key : first.keys) {
    if (key == kTransparentKey) continue;
    const ColourKey shown = shownKey(key);
    const std::size_t s = slot(shown);
    if (index_[s] < 0) {
      keys_[s] = shown;
      index_[s] = static_cast<std::int16_t>(counts.size());
      counts.emplace_back(shown, 0);
    }
    ++counts[static_cast<std::size_t>(index_[s])].second;
  }
  std::stable_sort(counts.begin(), counts.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  if (counts.size() > 256) counts.resize(256);
  index_.fill(-1);
  rgb_.clear();
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const std::size_t s = slot(counts[i].first);
    keys_[s] = counts[i].first;
    index_[s] = static_cast<std::int16_t>(i);
    appendRgb(rgb_, counts[i].first);
  }
  colours_ = static_cast<std::int32_t>(counts.size());
  // One entry more than the colours when the first frame shows nothing
  // somewhere; later frames take for what shows through an index of a
  // colour they do not use.
  const bool seeThrough =
      std::find(first.keys.begin(), first.keys.end(), kTransparentKey) != first.keys.end();
  bits_ = colourTableBits(seeThrough ? std::min(colours_, 255) : std::max(colours_ - 1, 0));
}

std::int32_t GlobalPalette::find(ColourKey shown) const {
  std::size_t s = hashSlot(shown, kSlots);
  while (index_[s] >= 0) {
    if (keys_[s] == shown) return index_[s];
    s = (s + 1) & (kSlots - 1);
  }
  return -1;
}

std::int32_t PlanEncoder::slotOf(ColourKey shown) {
  std::size_t s = hashSlot(shown, kSlots);
  while (slotColour_[s] >= 0) {
    if (slotKey_[s] == shown) return slotColour_[s];
    s = (s + 1) & (kSlots - 1);
  }
  slotKey_[s] = shown;
  slotColour_[s] = static_cast<std::int16_t>(colours_.size());
  usedSlots_.push_back(s);
  colours_.push_back(Colour{shown, 0, 0, -1});
  return slotColour_[s];
}

// The table and indices of one way of writing the frame; false when its
// colours and the transparent index do not fit in 256 entries.
bool PlanEncoder::choose(bool unchangedTransparent, bool needsTransparent,
                         const GlobalPalette& global, Variant& variant) {
  variant.unchangedTransparent = unchangedTransparent;
  auto wanted = [&](const Colour& c) {
    return c.changed > 0 || (!unchangedTransparent && c.unchanged > 0);
  };
  // The global table, when it holds every colour and an index is free for
  // what shows through.
  bool inGlobal = true;
  std::bitset<256> used;
  std::int32_t top = 0;
  for (const Colour& c : colours_) {
    if (!wanted(c)) continue;
    if (c.global < 0) {
      inGlobal = false;
      break;
    }
    used.set(static_cast<std::size_t>(c.global));
    top = std::max(top, c.global);
  }
  if (inGlobal) {
    std::int32_t transparent = -1;
    if (needsTransparent) {
      for (std::int32_t i = 0; i < (1 << global.bits()); ++i) {
        if (!used.test(static_cast<std::size_t>(i))) {
          transparent = i;
          break;
        }
      }
    }
    if (!needsTransparent || transparent >= 0) {
      variant.local = false;
      variant.bits = global.bits();
      variant.transparent = transparent;
      variant.codeSize = raisedCodeSize(colourTableBits(std::max(top, transparent)));
      for (std::size_t i = 0; i < colours_.size(); ++i) {
        if (wanted(colours_[i])) {
          variant.indexOfSlot[i] = static_cast<std::uint8_t>(colours_[i].global);
        }
      }
      return true;
    }
  }
  // A local table of just the frame's colours, the transparent index last.
  variant.local = true;
  variant.rgb.clear();
  std::int32_t n = 0;
  for (std::size_t i = 0; i < colours_.size(); ++i) {
    if (!wanted(colours_[i])) continue;
    if (n == 256) return false;
    variant.indexOfSlot[i] = static_cast<std::uint8_t>(n++);
    appendRgb(variant.rgb, colours_[i].key);
  }
  if (needsTransparent) {
    if (n == 256) return false;
    variant.transparent = n++;
  } else {
    variant.transparent = -1;
  }
  variant.bits = colourTableBits(std::max(n - 1, 0));
  variant.codeSize = raisedCodeSize(variant.bits);
  return true;
}

void PlanEncoder::encodeVariant(const FramePlan& plan, Variant& variant) {
  values_.resize(plan.keys.size());
  const auto transparent = static_cast<std::uint8_t>(std::max(variant.transparent, 0));
  ColourKey lastKey = 1;  // no key is 1
  std::uint8_t lastValue = 0;
  for (std::size_t i = 0; i < plan.keys.size(); ++i) {
    const ColourKey key = plan.keys[i];
    if (key != lastKey) {
      lastKey = key;
      if (key == kTransparentKey || (variant.unchangedTransparent && isUnchanged(key))) {
        lastValue = transparent;
      } else {
        lastValue = variant.indexOfSlot[static_cast<std::size_t>(slotOf(shownKey(key)))];
      }
    }
    values_[i] = lastValue;
  }
  variant.data.clear();
  std::int32_t codeSize = variant.codeSize;
  lzw_.encode(values_.data(), values_.size(), values_.size(), codeSize, variant.data);
}

void PlanEncoder::encode(const FramePlan& plan, const GlobalPalette& global, std::int32_t delay,
                         Bytes& out) {
  for (const std::size_t s : usedSlots_) slotColour_[s] = -1;
  if (usedSlots_.empty()) slotColour_.fill(-1);
  usedSlots_.clear();
  colours_.clear();

  bool hasTransparent = false;
  bool hasUnchanged = false;
  ColourKey lastKey = 1;
  Colour* last = nullptr;
  for (const ColourKey key : plan.keys) {
    if (key == kTransparentKey) {
      hasTransparent = true;
      continue;
    }
    const bool unchanged = isUnchanged(key);
    hasUnchanged |= unchanged;
    if (key != lastKey || last == nullptr) {
      lastKey = key;
      last = &colours_[static_cast<std::size_t>(slotOf(shownKey(key)))];
    }
    ++(unchanged ? last->unchanged : last->changed);
  }
  for (Colour& c : colours_) c.global = global.find(c.key);

  // Unchanged pixels as the transparent index, and, when there are any,
  // also as their own colours; the smaller file wins.
  int count = 0;
  Variant* best = nullptr;
  auto size = [](const Variant& v) {
    return v.data.size() + (v.local ? std::size_t{3} << v.bits : 0);
  };
  const bool tries[2] = {true, false};
  for (const bool unchangedTransparent : tries) {
    if (!unchangedTransparent && !hasUnchanged) break;
    Variant& v = variants_[count];
    const bool needsTransparent = hasTransparent || (unchangedTransparent && hasUnchanged);
    if (!choose(unchangedTransparent, needsTransparent, global, v)) continue;
    encodeVariant(plan, v);
    ++count;
    if (best == nullptr || size(v) < size(*best)) best = &v;
  }
  // Some way always fits: the frame's own file has at most 256 entries.
  appendGraphicControl(out, plan.disposal, delay, best->transparent);
  if (best->local) {
    appendImageWithTable(out, plan.rect, best->rgb, best->bits);
  } else {
    appendImageDescriptor(out, plan.rect, 0);
  }
  out.insert(out.end(), best->data.begin(), best->data.end());
  out.push_back(kBlockTerminator);
}

}  // namespace gifjoin
