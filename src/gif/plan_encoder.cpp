// Colour tables, transparency and image data of optimised frames.
#include "gif/plan_encoder.h"

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <cstring>

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

// Count `files` more for `key` in `list`, adding it when new.
void tally(std::vector<SeriesColour>& list, ColourKey key, std::uint32_t files) {
  const auto known =
      std::find_if(list.begin(), list.end(), [&](const SeriesColour& c) { return c.key == key; });
  if (known != list.end()) {
    known->files += files;
  } else {
    list.push_back({key, files});
  }
}

// Bytes of a colour table of n colours (at least one entry).
std::size_t tableBytes(std::size_t n) {
  return std::size_t{3} << colourTableBits(static_cast<std::int32_t>(std::max<std::size_t>(n, 1)) -
                                           1);
}

}  // namespace

void GlobalPalette::build(FramePlan& first, const SeriesColours& series,
                          const std::vector<std::vector<ColourKey>>& drawnByFrame, bool allDrawn) {
  // Colours drawn or listed by most files first, so that frames whose
  // colours are all common ones use only low indices and start with
  // shorter codes; the first frame's colours by how much they are used
  // among equals.
  scanPlan(first);
  const std::array<std::uint32_t, kPlanCodes>& counts = first.counts;
  std::vector<Entry> colours;
  bool seeThrough = false;
  for (std::size_t v = 0; v < 256; ++v) {
    const std::uint32_t n = counts[v] + counts[v | kUnchangedCode];
    if (n == 0) continue;
    if (first.shown[v] == kTransparentKey) {
      seeThrough = true;
    } else {
      colours.push_back({first.shown[v], 1, n});
    }
  }
  // How many of the later frames seen draw each colour.
  std::vector<SeriesColour> drawn;
  for (const std::vector<ColourKey>& frame : drawnByFrame) {
    for (const ColourKey key : frame) tally(drawn, key, 1);
  }
  if (allDrawn) {
    // The table built from what the frames draw, or from what the files
    // list (the table many share), whichever costs fewer table bytes in all.
    std::vector<ColourKey> firstDrawn;
    for (const Entry& entry : colours) firstDrawn.push_back(entry.key);
    std::vector<Entry> listed = colours;
    addDrawn(colours, drawnByFrame);
    addListed(listed, series, drawn, seeThrough);
    auto cost = [&](const std::vector<Entry>& table) {
      auto served = [&](const std::vector<ColourKey>& frame) {
        return std::all_of(frame.begin(), frame.end(), [&](ColourKey key) {
          return std::find_if(table.begin(), table.end(),
                              [&](const Entry& e) { return e.key == key; }) != table.end();
        });
      };
      std::size_t bytes = tableBytes(table.size());
      if (!served(firstDrawn)) bytes += tableBytes(firstDrawn.size());
      for (const std::vector<ColourKey>& frame : drawnByFrame) {
        if (!served(frame)) bytes += tableBytes(frame.size());
      }
      return bytes;
    };
    if (cost(listed) < cost(colours)) colours = std::move(listed);
    for (Entry& entry : colours) {
      const auto known = std::find_if(drawn.begin(), drawn.end(),
                                      [&](const SeriesColour& c) { return c.key == entry.key; });
      if (known != drawn.end()) entry.files += known->files;
    }
  } else {
    addListed(colours, series, drawn, seeThrough);
  }
  std::stable_sort(colours.begin(), colours.end(), [](const Entry& a, const Entry& b) {
    return a.files != b.files ? a.files > b.files : a.pixels > b.pixels;
  });
  index_.fill(-1);
  rgb_.clear();
  for (std::size_t i = 0; i < colours.size(); ++i) {
    std::size_t s = hashSlot(colours[i].key, kSlots);
    while (index_[s] >= 0) s = (s + 1) & (kSlots - 1);
    keys_[s] = colours[i].key;
    index_[s] = static_cast<std::int16_t>(i);
    appendRgb(rgb_, colours[i].key);
  }
  // What shows through takes an index no frame draws with, past the
  // colours when need be (see PlanEncoder::choose).
  const auto n = static_cast<std::int32_t>(colours.size());
  bits_ = colourTableBits(std::max(n - 1, 0));
}

// Every frame seen: a later frame's colours join the table when all of
// them fit and the table grows by less than the frame's own table would
// cost; the frames that need the fewest new colours first.
void GlobalPalette::addDrawn(std::vector<Entry>& colours,
                             const std::vector<std::vector<ColourKey>>& drawnByFrame) {
  std::vector<bool> decided(drawnByFrame.size(), false);
  auto isIn = [&](ColourKey key) {
    return std::find_if(colours.begin(), colours.end(),
                        [&](const Entry& e) { return e.key == key; }) != colours.end();
  };
  for (;;) {
    std::size_t pick = drawnByFrame.size();
    std::size_t fewest = 0;
    for (std::size_t f = 0; f < drawnByFrame.size(); ++f) {
      if (decided[f]) continue;
      const auto n =
          static_cast<std::size_t>(std::count_if(drawnByFrame[f].begin(), drawnByFrame[f].end(),
                                                 [&](ColourKey key) { return !isIn(key); }));
      if (pick == drawnByFrame.size() || n < fewest) pick = f, fewest = n;
    }
    if (pick == drawnByFrame.size()) break;
    decided[pick] = true;
    const std::size_t size = colours.size() + fewest;
    if (size > 256 ||
        tableBytes(size) - tableBytes(colours.size()) > tableBytes(drawnByFrame[pick].size())) {
      continue;
    }
    for (const ColourKey key : drawnByFrame[pick]) {
      if (!isIn(key)) colours.push_back({key, 1, 0});
    }
  }
}

// Not every frame seen: the colours the later files list, as far as they
// fit, or the table many files share.
void GlobalPalette::addListed(std::vector<Entry>& colours, const SeriesColours& series,
                              const std::vector<SeriesColour>& drawn, bool seeThrough) {
  // The later files' colours that the first frame does not show.
  std::size_t room = 256 - colours.size();
  if (seeThrough && room > 0) --room;
  // A colour the first file lists but its frame does not show is taken for
  // an unused entry of a table the files share (a fixed or padded palette)
  // and left out: a later frame that shows it after all carries it in a
  // local table.
  const std::size_t fromFirst = colours.size();
  auto shown = [&](ColourKey key) {
    return std::find_if(colours.begin(), colours.begin() + fromFirst, [&](const Entry& e) {
             return e.key == key;
           }) != colours.begin() + fromFirst;
  };
  std::vector<SeriesColour> byFiles;
  byFiles.reserve(series.later.size());
  for (const SeriesColour& colour : series.later) {
    if (shown(colour.key) ||
        !std::binary_search(series.firstListed.begin(), series.firstListed.end(), colour.key)) {
      byFiles.push_back(colour);
    }
  }
  // Colours later frames were seen to draw count once more for each.
  for (const SeriesColour& colour : drawn) tally(byFiles, colour.key, colour.files);
  std::stable_sort(byFiles.begin(), byFiles.end(),
                   [](const auto& a, const auto& b) { return a.files > b.files; });
  std::size_t missing = 0;
  for (const SeriesColour& colour : byFiles) {
    const auto known = std::find_if(colours.begin(), colours.end(),
                                    [&](const Entry& e) { return e.key == colour.key; });
    if (known != colours.end()) {
      known->files += colour.files;
    } else {
      ++missing;
    }
  }
  const bool fits = !series.later.empty() && missing <= room;
  if (!fits && !series.shared.empty() &&
      series.sharedFiles * tableBytes(series.shared.size()) > 2 * tableBytes(colours.size())) {
    // Colours that do not fit in one table: the table that many files
    // share serves them whole, when that saves more local tables than the
    // first frame's colours would, the first frame's colours first.
    std::vector<Entry> shared;
    for (const ColourKey key : series.shared) {
      const auto inFirst = std::find_if(colours.begin(), colours.end(),
                                        [&](const Entry& e) { return e.key == key; });
      shared.push_back({key, 1, inFirst != colours.end() ? inFirst->pixels : 0});
    }
    colours = std::move(shared);
  } else {
    // As many of the missing colours as there is room for, most listed
    // first.
    for (const SeriesColour& colour : byFiles) {
      if (room == 0) break;
      if (!shown(colour.key)) {
        colours.push_back({colour.key, colour.files, 0});
        --room;
      }
    }
  }
}

std::int32_t GlobalPalette::find(ColourKey shown) const {
  std::size_t s = hashSlot(shown, kSlots);
  while (index_[s] >= 0) {
    if (keys_[s] == shown) return index_[s];
    s = (s + 1) & (kSlots - 1);
  }
  return -1;
}

// The table and indices of one way of writing the frame; false when its
// colours and the transparent index do not fit in 256 entries.
bool PlanEncoder::choose(const FramePlan& plan, bool unchangedTransparent, bool local,
                         const GlobalPalette& global, Variant& variant) {
  const bool needsTransparent = hasTransparent_ || (unchangedTransparent && hasUnchanged_);
  auto drawn = [&](std::size_t v) {
    return plan.shown[v] != kTransparentKey &&
           (counts_[v] > 0 || (!unchangedTransparent && counts_[v | kUnchangedCode] > 0));
  };
  // The global table, when it holds every colour and an index is free for
  // what shows through.
  bool inGlobal = !local;
  std::bitset<256> used;
  std::int32_t top = 0;
  for (std::size_t v = 0; v < 256 && inGlobal; ++v) {
    if (!drawn(v)) continue;
    if (global_[v] < 0) inGlobal = false;
    if (!inGlobal) break;
    used.set(static_cast<std::size_t>(global_[v]));
    top = std::max<std::int32_t>(top, global_[v]);
  }
  // What shows through takes the lowest index the frame does not draw
  // with: a padding entry, a colour of the table the frame does not use,
  // or an index past the table's end (a transparent pixel is never looked
  // up), whichever keeps the codes shortest.
  std::int32_t transparent = -1;
  if (inGlobal && needsTransparent) {
    for (std::int32_t i = 0; i < 256 && transparent < 0; ++i) {
      if (!used.test(static_cast<std::size_t>(i))) transparent = i;
    }
    inGlobal = transparent >= 0;
  }
  std::array<std::int16_t, 256> indexOf{};
  indexOf.fill(-1);
  std::int32_t n = 0;
  if (inGlobal) {
    variant.local = false;
    variant.bits = global.bits();
    variant.codeSize = raisedCodeSize(colourTableBits(std::max(top, transparent)));
    indexOf = global_;
  } else {
    // A local table of just the frame's colours; the transparent index
    // follows them, past the table's end when they fill it.
    variant.local = true;
    variant.rgb.clear();
    for (std::size_t v = 0; v < 256; ++v) {
      if (!drawn(v)) continue;
      if (n == 256) return false;
      indexOf[v] = static_cast<std::int16_t>(n++);
      appendRgb(variant.rgb, plan.shown[v]);
    }
    const std::int32_t colours = n;
    if (needsTransparent) {
      if (n == 256) return false;
      transparent = n++;
      // The transparent entry holds a colour too (the one before it, as the
      // table's padding would), so that colours added after it below land
      // at the index they are written with.
      const std::size_t size = variant.rgb.size();
      const std::array<std::uint8_t, 3> last =
          size >= 3 ? std::array<std::uint8_t, 3>{variant.rgb[size - 3], variant.rgb[size - 2],
                                                  variant.rgb[size - 1]}
                    : std::array<std::uint8_t, 3>{};
      variant.rgb.insert(variant.rgb.end(), last.begin(), last.end());
    }
    variant.bits = colourTableBits(std::max(colours - 1, 0));
    variant.codeSize = raisedCodeSize(colourTableBits(std::max(n - 1, 0)));
  }
  variant.transparent = transparent;
  variant.unchangedTransparent = unchangedTransparent;
  variant.interlaced = false;
  const auto t = static_cast<std::uint8_t>(std::max(transparent, 0));
  // Unchanged pixels written as the transparent index may also take their
  // own colour where the table has it within the codes the frame uses.
  const std::int32_t codes = 1 << variant.codeSize;
  std::int32_t entries = variant.local ? n : codes;
  variant.choosing = false;
  for (std::size_t v = 0; v < 256; ++v) {
    const bool seeThrough = plan.shown[v] == kTransparentKey;
    const auto own = static_cast<std::uint8_t>(std::max<std::int16_t>(indexOf[v], 0));
    variant.index[v] = variant.choice[v] = seeThrough ? t : own;
    variant.index[v | kUnchangedCode] = seeThrough || unchangedTransparent ? t : own;
    variant.choice[v | kUnchangedCode] = variant.index[v | kUnchangedCode];
    if (!unchangedTransparent || seeThrough || counts_[v | kUnchangedCode] == 0) continue;
    std::int32_t other = -1;
    if (drawn(v) || (!variant.local && global_[v] >= 0 && global_[v] < codes)) {
      other = indexOf[v] >= 0 ? indexOf[v] : global_[v];
    } else if (variant.local && entries < (1 << variant.bits)) {
      // A free entry of the local table's padding.
      other = entries++;
      appendRgb(variant.rgb, plan.shown[v]);
    }
    if (other >= 0 && other != t) {
      variant.choice[v | kUnchangedCode] = static_cast<std::uint8_t>(other);
      variant.choosing = true;
    }
  }
  // Codes marked as stretches of one colour take the same values here.
  std::copy_n(variant.index.begin(), kPlanCodes, variant.index.begin() + kPlanCodes);
  std::copy_n(variant.choice.begin(), kPlanCodes, variant.choice.begin() + kPlanCodes);
  return true;
}

void PlanEncoder::encodeVariant(const FramePlan& plan, Variant& variant) {
  variant.data.clear();
  std::int32_t codeSize = variant.codeSize;
  const PlanCode* codes = variant.interlaced ? interlaced_.data() : plan.codes.data();
  const std::size_t count = plan.codes.size();
  if (variant.way == Way::Choosing) {
    lzw_.encodeChoosing(codes, variant.index.data(), variant.choice.data(), count, codeSize,
                        variant.data, variant.clearing);
    return;
  }
  if (variant.way == Way::Plain) {
    if (stringsWithin_ > 0) {
      lzw_.encodeNear(codes, variant.index.data(), count, codeSize, variant.data, variant.clearing,
                      nearFor(variant, *globalFor_));
      return;
    }
    lzw_.encode(codes, variant.index.data(), count, codeSize, variant.data, variant.clearing);
    return;
  }
  if (variant.way == Way::Segments) {
    encodeSegments(codes, count, variant);
    return;
  }
  // Runs kept whole: a stretch of a row in one colour that is drawn
  // somewhere is drawn all along, unchanged pixels included, where the
  // table has the colour; a stretch that is unchanged all along shows
  // through.
  const RunsFor runsFor{plan.number, variant.local, variant.unchangedTransparent};
  if (runsFor != runsFor_) runs(plan, variant);
  runsFor_ = runsFor;
  if (variant.way == Way::RunsChoosing) {
    lzw_.encodeChoosing(values_.data(), others_.data(), count, codeSize, variant.data,
                        variant.clearing);
  } else {
    lzw_.encode(values_.data(), count, count, codeSize, variant.data, variant.clearing);
  }
}

void PlanEncoder::runs(const FramePlan& plan, const Variant& variant) {
  const PlanCode* codes = plan.codes.data();
  const std::size_t count = plan.codes.size();
  const auto width = static_cast<std::size_t>(plan.rect.width);
  values_.resize(count);
  others_.resize(count);
  for (std::size_t row = 0; row < count; row += width) {
    const PlanCode* in = codes + row;
    std::uint8_t* out = values_.data() + row;
    for (std::size_t x = 0; x < width;) {
      const auto value = static_cast<std::uint8_t>(in[x]);
      std::size_t end = x;
      bool drawn = false;
      while (end < width && static_cast<std::uint8_t>(in[end]) == value) {
        drawn |= (in[end] & kUnchangedCode) == 0;
        ++end;
      }
      const std::uint8_t* lookup = drawn ? variant.choice.data() : variant.index.data();
      const std::uint8_t* other = drawn ? variant.index.data() : variant.choice.data();
      for (; x < end; ++x) {
        out[x] = lookup[in[x]];
        others_[row + x] = other[in[x]];
      }
    }
  }
}

// Unchanged pixels in raster order, between drawn ones: a stretch of one
// colour is drawn, so it reads as one run with what is around it; a stretch
// of several colours shows through as one run of the transparent index.
// The optimiser marked the codes of the stretches to draw.
// The plan's rows in the order an interlaced image stores them: every
// eighth from 0, every eighth from 4, every fourth from 2, every second
// from 1.
void PlanEncoder::interlace(const FramePlan& plan) {
  const auto width = static_cast<std::size_t>(plan.rect.width);
  const std::int32_t height = plan.rect.height;
  interlaced_.resize(plan.codes.size());
  PlanCode* out = interlaced_.data();
  constexpr std::int32_t kStart[] = {0, 4, 2, 1};
  constexpr std::int32_t kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (std::int32_t y = kStart[pass]; y < height; y += kStep[pass]) {
      std::copy_n(plan.codes.data() + static_cast<std::size_t>(y) * width, width, out);
      out += width;
    }
  }
}

void PlanEncoder::encodeSegments(const PlanCode* codes, std::size_t count, Variant& variant) {
  std::copy_n(variant.index.begin(), kPlanCodes, markedLookup_.begin());
  std::copy_n(variant.choice.begin(), kPlanCodes, markedLookup_.begin() + kPlanCodes);
  std::int32_t codeSize = variant.codeSize;
  if (stringsWithin_ > 0) {
    lzw_.encodeNear(codes, markedLookup_.data(), count, codeSize, variant.data, variant.clearing,
                    nearFor(variant, *globalFor_));
    return;
  }
  lzw_.encode(codes, markedLookup_.data(), count, codeSize, variant.data, variant.clearing);
}

// The values whose colours are within the bound of each value's colour in
// red, green and blue, nearest first as the eye sees it (green weighs most,
// blue least); never the transparent index, which shows no colour.
const NearValues& PlanEncoder::nearFor(const Variant& variant, const GlobalPalette& global) {
  const Bytes& rgb = variant.local ? variant.rgb : global.rgb();
  if (nearLocal_ == variant.local && nearTransparent_ == variant.transparent && nearRgb_ == rgb) {
    return near_;
  }
  nearLocal_ = variant.local;
  nearTransparent_ = variant.transparent;
  nearRgb_ = rgb;
  const std::size_t entries = std::min<std::size_t>(rgb.size() / 3, 256);
  const std::int32_t within = stringsWithin_;
  struct Candidate {
    std::int32_t distance;
    std::uint8_t value;
  };
  std::array<Candidate, 256> found{};
  for (std::size_t v = 0; v < 256; ++v) {
    std::size_t n = 0;
    if (v < entries && static_cast<std::int32_t>(v) != variant.transparent) {
      for (std::size_t u = 0; u < entries; ++u) {
        if (u == v || static_cast<std::int32_t>(u) == variant.transparent) continue;
        const std::int32_t dr = rgb[3 * u] - rgb[3 * v];
        const std::int32_t dg = rgb[3 * u + 1] - rgb[3 * v + 1];
        const std::int32_t db = rgb[3 * u + 2] - rgb[3 * v + 2];
        if (std::abs(dr) > within || std::abs(dg) > within || std::abs(db) > within) continue;
        found[n++] = {3 * dr * dr + 4 * dg * dg + 2 * db * db, static_cast<std::uint8_t>(u)};
      }
    }
    const std::size_t kept = std::min(n, kNearest);
    std::partial_sort(
        found.begin(), found.begin() + kept, found.begin() + n,
        [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    for (std::size_t k = 0; k < kept; ++k) near_[v][k] = found[k].value;
    near_[v][kept] = static_cast<std::uint8_t>(v);
  }
  return near_;
}

const std::vector<Trial>& trialOrder() {
  using T = Trial;
  using W = T::When;
  static const std::vector<Trial> order = [] {
    std::vector<Trial> trials;
    for (const T::Table table : {T::Table::Global, T::Table::Local}) {
      // Large rectangles: stretches of one colour drawn, else plain.
      trials.push_back({table, T::Unchanged::Transparent, Way::Segments, false, Clearing::WhenFull,
                        false, W::TransparentLarge});
      trials.push_back({table, T::Unchanged::Transparent, Way::Plain, false, Clearing::WhenFull,
                        false, W::TransparentLargeUnmade});
      // The others: plain, then every way of choosing.
      trials.push_back({table, T::Unchanged::Transparent, Way::Plain, false, Clearing::WhenFull,
                        false, W::Transparent});
      for (const Way way : {Way::Runs, Way::Choosing, Way::RunsChoosing, Way::Segments}) {
        trials.push_back({table, T::Unchanged::Transparent, way, false, Clearing::WhenFull, false,
                          W::TransparentChoosing});
      }
      trials.push_back(
          {table, T::Unchanged::Own, Way::Plain, false, Clearing::WhenFull, false, W::Own});
    }
    trials.push_back({T::Table::WinnerLocal, T::Unchanged::Winner, Way::Plain, true,
                      Clearing::WhenFull, false, W::LocalWinner});
    trials.push_back({T::Table::Winner, T::Unchanged::Winner, Way::Plain, false,
                      Clearing::WhenWorse, false, W::WinnerWhenWorse});
    trials.push_back({T::Table::Winner, T::Unchanged::Winner, Way::Plain, false, Clearing::Never,
                      false, W::WinnerNever});
    trials.push_back({T::Table::Winner, T::Unchanged::Winner, Way::Plain, true, Clearing::WhenFull,
                      true, W::WinnerInterlaced});
    return trials;
  }();
  return order;
}

void PlanEncoder::encode(FramePlan& plan, const GlobalPalette& global, std::int32_t delay,
                         Bytes& out, const OptimizeSettings& settings) {
  scanPlan(plan);
  counts_ = plan.counts;
  stringsWithin_ = settings.stringsWithin;
  globalFor_ = &global;
  runsFor_ = RunsFor{};  // the Runs values of another frame, or another animation
  hasTransparent_ = false;
  std::size_t unchanged = 0;
  for (std::size_t v = 0; v < 256; ++v) {
    const bool seeThrough = plan.shown[v] == kTransparentKey;
    if (seeThrough && counts_[v] + counts_[v | kUnchangedCode] > 0) hasTransparent_ = true;
    if (!seeThrough) unchanged += counts_[v | kUnchangedCode];
    global_[v] = static_cast<std::int16_t>(
        seeThrough || counts_[v] + counts_[v | kUnchangedCode] == 0 ? -1
                                                                    : global.find(plan.shown[v]));
  }
  hasUnchanged_ = unchanged > 0;

  // Unchanged pixels as the transparent index (plain, with runs of one
  // colour drawn whole, or chosen by the string table), or as their own
  // colours, with the global table and a local one; then the winner once
  // more in other ways. The trials come in the order trialOrder() gives,
  // and the smallest file is kept.
  const std::size_t area = plan.codes.size();
  const bool small = area <= settings.smallArea;
  const bool upToMost = area <= settings.mostChoosing;
  const bool tryOwn =
      hasUnchanged_ && (upToMost || (settings.halfUnchanged.notAbove(unchanged, area) &&
                                     settings.someUnchanged.reachedBy(unchanged, area)));
  const bool tryTransparent =
      !hasUnchanged_ || small || settings.someUnchanged.reachedBy(unchanged, area);
  const bool mostChanges = !upToMost && !settings.halfUnchanged.reachedBy(unchanged, area);
  auto size = [](const Variant& v) {
    return v.data.size() + (v.local ? std::size_t{3} << v.bits : 0);
  };
  Variant* best = nullptr;
  Variant* trial = &variants_[0];
  auto consider = [&] {
    if (best == nullptr || size(*trial) < size(*best)) {
      std::swap(best, trial);
      if (trial == nullptr) trial = best == &variants_[0] ? &variants_[1] : &variants_[0];
    }
  };
  bool made = false;   // the trial before was made and had pixels to choose for
  int localPass = -1;  // whether local tables get every trial; decided at the first
  for (const Trial& step : trialOrder()) {
    bool open = false;
    switch (step.when) {
      case Trial::When::TransparentLarge:
        open = tryTransparent && !upToMost;
        break;
      case Trial::When::TransparentLargeUnmade:
        open = tryTransparent && !upToMost && !made;
        break;
      case Trial::When::Transparent:
        open = tryTransparent && upToMost;
        break;
      case Trial::When::TransparentChoosing:
        open = tryTransparent && upToMost && made;
        break;
      case Trial::When::Own:
        open = tryOwn || best == nullptr;
        break;
      case Trial::When::LocalWinner:
        open = true;
        break;
      case Trial::When::WinnerWhenWorse:
        open = upToMost || mostChanges;
        break;
      case Trial::When::WinnerNever:
        open = upToMost;
        break;
      case Trial::When::WinnerInterlaced:
        open = upToMost && plan.rect.height > 2 && best != nullptr && best->way != Way::Runs &&
               best->way != Way::RunsChoosing;
        break;
    }
    if ((step.table == Trial::Table::Local || step.table == Trial::Table::WinnerLocal) &&
        localPass < 0) {
      localPass = small || best == nullptr ? 1 : 0;
    }
    if (step.table == Trial::Table::Local && localPass == 0) open = false;
    if (step.table == Trial::Table::WinnerLocal) open = localPass == 0 && best != nullptr;
    if (step.unchanged == Trial::Unchanged::Winner && best == nullptr) open = false;
    if (!open) continue;
    const bool local =
        step.table == Trial::Table::Winner ? best->local : step.table != Trial::Table::Global;
    const bool unchangedTransparent = step.unchanged == Trial::Unchanged::Winner
                                          ? best->unchangedTransparent
                                          : step.unchanged == Trial::Unchanged::Transparent;
    const Way way = step.unchanged == Trial::Unchanged::Winner ? best->way : step.way;
    const Clearing clearing = step.winnerClearing ? best->clearing : step.clearing;
    if (!choose(plan, unchangedTransparent, local, global, *trial)) {
      made = false;
      continue;
    }
    if (step.table == Trial::Table::WinnerLocal) {
      if (trial->codeSize >= best->codeSize) continue;
    } else if (step.unchanged != Trial::Unchanged::Winner) {
      made = trial->choosing;
      if (way != Way::Plain && !made) continue;
    }
    if (step.interlaced) interlace(plan);
    trial->way = way;
    trial->clearing = clearing;
    trial->interlaced = step.interlaced;
    encodeVariant(plan, *trial);
    consider();
  }
  if (best == nullptr) {
    // Nothing fit (a lossy frame whose rectangle was widened until it drew
    // every value): unchanged pixels in their own colours.
    choose(plan, false, false, global, *trial);
    trial->way = Way::Plain;
    trial->clearing = Clearing::WhenFull;
    encodeVariant(plan, *trial);
    consider();
  }
  appendGraphicControl(out, plan.disposal, delay, best->transparent);
  const std::uint8_t flags = best->interlaced ? kInterlaceFlag : 0;
  if (best->local) {
    appendImageWithTable(out, plan.rect, best->rgb, best->bits, flags);
  } else {
    appendImageDescriptor(out, plan.rect, flags);
  }
  out.insert(out.end(), best->data.begin(), best->data.end());
  out.push_back(kBlockTerminator);
}

}  // namespace gifjoin
