// Turning a decided frame plan into GIF bytes: the colour table the frame
// is written with (the animation's global one when its colours are there,
// else a local table of just its colours), whether unchanged pixels are
// written as the transparent index or as their colours (the smaller is
// kept), the minimum code size its values need, then the graphic control
// extension, the image descriptor and the LZW image data.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gif/frame_optimizer.h"
#include "gif/gif_blocks.h"
#include "gif/lzw_encoder.h"
#include "gif/optimize_settings.h"

namespace gifjoin {

// The animation's global colour table: the colours of the first frame,
// most used first, so that frames which use only a few of them need short
// codes, then the colours the later files can show, as far as they fit.
class GlobalPalette {
 public:
  // One table for every frame when the series' colours fit in it; else the
  // table most files share, when two or more do; else the first frame's.
  // `drawn`: the colours each frame after the first was seen to draw, all
  // of them when `allDrawn`; else the files' tables tell of the others.
  void build(FramePlan& first, const SeriesColours& series,
             const std::vector<std::vector<ColourKey>>& drawn = {}, bool allDrawn = false);
  const Bytes& rgb() const { return rgb_; }
  std::int32_t bits() const { return bits_; }
  // Index of an opaque colour, or -1.
  std::int32_t find(ColourKey shown) const;

 private:
  struct Entry {
    ColourKey key;
    std::uint32_t files;   // files that draw or list it
    std::uint32_t pixels;  // pixels of the first frame that show it
  };
  static void addDrawn(std::vector<Entry>& colours,
                       const std::vector<std::vector<ColourKey>>& drawnByFrame);
  static void addListed(std::vector<Entry>& colours, const SeriesColours& series,
                        const std::vector<SeriesColour>& drawn, bool seeThrough);

  static constexpr std::size_t kSlots = 1024;
  Bytes rgb_;
  std::int32_t bits_ = 1;
  std::array<ColourKey, kSlots> keys_{};
  std::array<std::int16_t, kSlots> index_{};
};

// How the values of unchanged pixels that could take either are picked.
enum class Way : std::uint8_t {
  Plain,         // always the first
  Runs,          // the second along a run of one colour that has changes
  Choosing,      // whichever the string table knows
  RunsChoosing,  // as Runs, or the other where only that one the table knows
  Segments,      // the second along a stretch of unchanged pixels of one colour
};

// One encoding PlanEncoder::encode tries for a frame; the smallest wins.
struct Trial {
  // The colour table: the global one (or a local one when the frame's
  // colours are not all in it), a local one of the frame's colours, the
  // winner's, or a local one for the winner's way when that makes the codes
  // shorter.
  enum class Table : std::uint8_t { Global, Local, Winner, WinnerLocal };
  // Unchanged pixels written as the transparent index, in their own
  // colours, or as the winner wrote them.
  enum class Unchanged : std::uint8_t { Transparent, Own, Winner };
  // When the trial is made (the shares and areas are the settings').
  enum class When : std::uint8_t {
    // Unchanged pixels may be transparent (none, a small rectangle, or
    // enough of them), and the rectangle is larger than mostChoosing ...
    TransparentLarge,
    // ... and the trial before could not be made or had no choice.
    TransparentLargeUnmade,
    // Unchanged pixels may be transparent, rectangle up to mostChoosing ...
    Transparent,
    // ... and the trial before had pixels to choose for.
    TransparentChoosing,
    // Unchanged pixels in their own colours are worth a try, or nothing
    // was made yet.
    Own,
    // A large rectangle that made something with the global table tries a
    // local one only for the winner (the Local trials are for the others).
    LocalWinner,
    // The winner once more: its full string table kept while it does well
    // (up to mostChoosing, or a larger rectangle of which most changes) /
    // kept to the end (up to mostChoosing) / rows interlaced (up to
    // mostChoosing, more than two rows, a way that reads the plan's codes).
    WinnerWhenWorse,
    WinnerNever,
    WinnerInterlaced,
  };
  Table table = Table::Global;
  Unchanged unchanged = Unchanged::Transparent;
  Way way = Way::Plain;  // for Unchanged::Winner: the winner's
  bool winnerClearing = false;
  Clearing clearing = Clearing::WhenFull;  // unless winnerClearing
  bool interlaced = false;
  When when = When::Transparent;
};

// The order of the trials: each considered in turn, a later one kept only
// when strictly smaller.
const std::vector<Trial>& trialOrder();

// One thread's tools for encoding plans; kept from frame to frame.
class PlanEncoder {
 public:
  // Append the frame's blocks (graphic control extension through the block
  // terminator) to `out`.
  void encode(FramePlan& plan, const GlobalPalette& global, std::int32_t delay, Bytes& out,
              const OptimizeSettings& settings = {});

 private:
  // One way of writing the frame: its table and the index of every code.
  struct Variant {
    bool local = false;
    Bytes rgb;  // local table
    std::int32_t bits = 1;
    std::int32_t transparent = -1;
    std::int32_t codeSize = 2;
    Clearing clearing = Clearing::WhenFull;
    // The value of each code, and another value it may take; the second
    // half repeats the first for codes marked kDrawnMark.
    std::array<std::uint8_t, 2 * kPlanCodes> index{};
    std::array<std::uint8_t, 2 * kPlanCodes> choice{};
    bool choosing = false;  // some code has another value
    Way way = Way::Plain;
    bool unchangedTransparent = false;
    bool forcedLocal = false;
    bool interlaced = false;  // rows written in the four passes of an interlaced image
    Bytes data;
  };

  bool choose(const FramePlan& plan, bool unchangedTransparent, bool local,
              const GlobalPalette& global, Variant& variant);
  void encodeVariant(const FramePlan& plan, Variant& variant);
  void encodeSegments(const PlanCode* codes, std::size_t count, Variant& variant);
  void interlace(const FramePlan& plan);
  const NearValues& nearFor(const Variant& variant, const GlobalPalette& global);
  void runs(const FramePlan& plan, const Variant& variant);

  std::array<std::uint32_t, kPlanCodes> counts_{};
  std::array<std::int16_t, 256> global_{};  // global index of each value's colour
  // Values of codes, and of codes marked to be drawn (kDrawnMark).
  std::array<std::uint8_t, 2 * kPlanCodes> markedLookup_{};
  bool hasTransparent_ = false;
  bool hasUnchanged_ = false;
  // The values of the Runs ways and the other value of each pixel, and
  // the frame and table they were worked out for (both Runs ways, and the
  // winner's second try, use them as they are).
  std::vector<PlanCode> interlaced_;  // the plan's codes, rows in interlaced order
  std::vector<std::uint8_t> values_;
  std::vector<std::uint8_t> others_;
  struct RunsFor {
    std::int32_t frame = -1;
    bool local = false;
    bool unchangedTransparent = false;
    bool operator==(const RunsFor&) const = default;
  } runsFor_;
  Variant variants_[2];
  LZWEncoder lzw_;
  // Lossy runs: how far a colour may move in the string matching, and the
  // near values of the table they were last worked out for.
  std::int32_t stringsWithin_ = 0;
  const GlobalPalette* globalFor_ = nullptr;
  NearValues near_{};
  Bytes nearRgb_;
  std::int32_t nearTransparent_ = -2;
  bool nearLocal_ = false;
};

}  // namespace gifjoin
