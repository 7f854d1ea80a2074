// The deciding stage of an optimised animation: for each frame, what a
// viewer's canvas already shows, the rectangle where the frame must draw,
// which of its pixels are unchanged, and what the frame before must leave
// behind (its disposal) so that every frame shows exactly its own file.
// Pure work on pixels and colours: no files, no threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "gif/gif_blocks.h"
#include "gif/gif_image.h"

namespace gifjoin {

// A pixel as a viewer shows it: opaque colours are 0xFF in the top byte and
// blue, green, red below; a transparent pixel is 0.
using ColourKey = std::uint32_t;
inline constexpr ColourKey kTransparentKey = 0;
inline constexpr ColourKey kOpaqueBits = 0xFF000000u;

// How each of the 256 values of a frame shows, as viewers show its file:
// the transparent index shows nothing, values past the table's 2^bits
// entries show opaque black, and the table's padding repeats its last
// colour.
using KeyTable = std::array<ColourKey, 256>;

// An opaque colour of the series and how many files list it in their
// colour tables.
struct SeriesColour {
  ColourKey key = kTransparentKey;
  std::uint32_t files = 0;
};

// What the colour tables of a series' files show, read before their pixels.
struct SeriesColours {
  // The opaque colours of the files after the first and how many list
  // each; empty when they do not fit in one table of 256 entries.
  std::vector<SeriesColour> later;
  // The opaque colours the first file's table lists, sorted.
  std::vector<ColourKey> firstListed;
  // The opaque colours of the table that the most files list, when two or
  // more do (the first file counted too), and how many list it.
  std::vector<ColourKey> shared;
  std::uint32_t sharedFiles = 0;
};
KeyTable keyTable(const Bytes& rgb, std::int32_t transparentIndex);

// A pixel of a frame plan: the frame's value (the first of the values that
// show the same), plus kUnchangedCode when the canvas already shows it.
using PlanCode = std::uint16_t;
inline constexpr PlanCode kUnchangedCode = 0x100;
inline constexpr std::size_t kPlanCodes = 0x200;

// Marks the code of a pixel in a stretch of unchanged pixels, in raster
// order between drawn ones (or the frame's ends), that are all of one code:
// such a stretch may be drawn in its colour and read as one run with what
// is around it.
inline constexpr PlanCode kDrawnMark = kPlanCodes;

// One frame of the optimised animation, decided and ready to be encoded.
struct FramePlan {
  FrameRect rect;
  std::vector<PlanCode> codes;  // rect.width * rect.height, raster order, some marked
  std::array<std::uint32_t, kPlanCodes> counts{};  // pixels of each code, once scanned
  bool scanned = false;                            // counted and marked (scanPlan)
  KeyTable shown{};                                // how the frame's values show
  Disposal disposal = Disposal::Keep;
  std::int32_t number = 0;  // 0 for the first frame
};

// Counts the codes of a plan and marks its stretches of unchanged pixels
// of one code (kDrawnMark), fed in raster order a piece at a time.
class PlanScan {
 public:
  void start();
  // Codes [begin, end) of the plan whose codes start at `codes`.
  void feed(PlanCode* codes, std::size_t begin, std::size_t end);
  void finish(PlanCode* codes, std::size_t count, std::array<std::uint32_t, kPlanCodes>& counts);

 private:
  void step(PlanCode* codes, std::size_t k);
  void close(PlanCode* codes, std::size_t at);

  // Four tallies side by side, so that neighbouring pixels of one code do
  // not wait on the same counter.
  std::array<std::uint32_t, 4 * kPlanCodes> tally_{};
  PlanCode last_ = 0;           // the code counted last
  std::uint64_t lastFour_ = 0;  // four of it
  std::uint32_t lastRun_ = 0;   // pixels of it not yet in the tallies
  bool open_ = false;           // a stretch of unchanged pixels is open
  bool oneCode_ = false;        // ... and all of it is of one code
  std::size_t from_ = 0;        // where it began
  PlanCode first_ = 0;          // its first code
};

// Scan the plan once: its counts, and its codes marked. Done where the plan
// is encoded, so that the thread that decides the frames keeps up.
void scanPlan(FramePlan& plan);

class FrameOptimizer {
 public:
  // Largest screen given a canvas; a larger animation is written plain.
  static constexpr std::size_t kMaxCanvasPixels = std::size_t{1} << 24;

  // A fresh canvas for a screen of width x height. False when the screen is
  // too large or the memory cannot be had. A pixel whose colour is within
  // `unchangedWithin` in red, green and blue of what the canvas shows (both
  // opaque) counts as unchanged; 0: only the same colour does.
  bool start(std::int32_t width, std::int32_t height, std::int32_t unchangedWithin = 0);

  // Take the next frame, whose values show as `keys`. When a frame was
  // waiting, its plan is complete now and moved into `previous` (true).
  bool add(const Frame8& frame, const KeyTable& keys, FramePlan& previous);

  // The plan of the last frame; false when no frame was added.
  bool finish(FramePlan& last);

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }

  // Code vectors of encoded plans come back here to be used again.
  void recycle(std::vector<PlanCode>&& codes);

 private:
  struct Box {
    std::int32_t left = 0, top = 0, right = -1, bottom = -1;  // inclusive
    bool empty() const { return right < left; }
    void add(std::int32_t x0, std::int32_t x1, std::int32_t y) {
      if (empty()) {
        left = x0, right = x1, top = y, bottom = y;
        return;
      }
      if (x0 < left) left = x0;
      if (x1 > right) right = x1;
      if (y < top) top = y;
      if (y > bottom) bottom = y;
    }
  };

  const std::uint8_t* row(const Frame8& frame, std::int32_t y);
  template <bool kNear>
  void scan(const Frame8& frame, const KeyTable& keys, bool lookForClears, Box& changed,
            Box& clears);
  void scanAny(const Frame8& frame, const KeyTable& keys, bool lookForClears, Box& changed,
               Box& clears);
  void planNear(const Frame8& frame, const KeyTable& keys, FramePlan& plan);
  std::int32_t valueShowing(ColourKey key) const;
  void scanValues(const Frame8& frame, Box& changed);
  void showCanvas();
  void widenPending(const Box& clears);
  std::vector<PlanCode> takeCodes(std::size_t n);

  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::int32_t within_ = 0;  // how near a colour counts as unchanged
  // Lossy runs: the frame's first value of each opaque colour it shows,
  // by colour (open addressing; -1 free).
  static constexpr std::size_t kColourSlots = 1024;
  std::array<ColourKey, kColourSlots> slotKey_{};
  std::array<std::int16_t, kColourSlots> slotValue_{};
  // What the viewer shows after the last frame: the last frame's values
  // as its keys show them, and the same as colours. When frames share
  // their colours they are compared value by value, and the colours are
  // brought up to date only when a frame with other colours comes.
  std::unique_ptr<ColourKey[]> canvas_;
  std::unique_ptr<std::uint8_t[]> shownValues_;
  KeyTable shownKeys_{};
  bool haveShown_ = false;             // shownValues_ and shownKeys_ hold the last frame
  bool canvasCurrent_ = true;          // canvas_ shows what they show
  std::vector<std::uint8_t> zeroRow_;  // a row past the frame's held values
  FramePlan pending_;
  bool hasPending_ = false;
  std::int32_t frames_ = 0;
  std::array<std::uint8_t, 256> first_{};  // the first value that shows the same
  bool distinct_ = true;                   // every value shows a colour of its own
  KeyTable firstKeys_{};                   // the colours first_ was worked out for
  bool haveFirst_ = false;
  std::vector<std::vector<PlanCode>> spare_;
  PlanScan scan_;
};

}  // namespace gifjoin
