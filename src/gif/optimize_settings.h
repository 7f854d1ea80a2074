// The choices of an optimised run in one place: how hard the encoder tries
// each frame, how the streaming writer paces its work, and how far colours
// may move (lossy runs). The command line fills one of these and hands it
// down to the optimiser and the encoder; nothing below keeps a choice of
// its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gifjoin {

// A share of a whole, as a fraction.
struct Share {
  std::uint64_t over = 1;
  std::uint64_t under = 2;
  // part is at least the share of whole / at most / below it.
  constexpr bool reachedBy(std::uint64_t part, std::uint64_t whole) const {
    return part * under >= whole * over;
  }
  constexpr bool notAbove(std::uint64_t part, std::uint64_t whole) const {
    return part * under <= whole * over;
  }
};

struct OptimizeSettings {
  // ---- The encoder (PlanEncoder::encode) ----
  // Rectangles up to this many pixels try every way, each with the global
  // table and with a local table of their own colours; larger ones try a
  // local table only where it makes the codes shorter.
  std::size_t smallArea = std::size_t{1} << 14;
  // Largest rectangle that tries the ways beyond the plain one (they cost a
  // pass or a second look-up per pixel), always tries unchanged pixels in
  // their own colours, and tries the winner again with other clearings and
  // interlaced; larger ones try those only as the shares below say.
  std::size_t mostChoosing = std::size_t{1} << 18;
  // A larger rectangle tries unchanged pixels as the transparent index when
  // at least `someUnchanged` of it is unchanged, in their own colours when
  // that much and at most `halfUnchanged` is, and the winner with the full
  // string table kept while it does well when less than `halfUnchanged`
  // is (a frame of video gains most from it).
  Share someUnchanged{1, 16};
  Share halfUnchanged{1, 2};

  // ---- The streaming writer (FrameStream) ----
  // Below this many pixels per frame a helper thread costs more than it saves.
  std::size_t helperMinPixels = std::size_t{1} << 14;
  // An optimised file counts as clearly smaller than a plain join when it
  // is below this share (in thousandths) of the plain file's estimated
  // size; the estimate has come within 0.4% of the plain file on our series.
  std::uint64_t clearlySmallerPerMille = 993;
  // Of an optimised run's frames, the first two and every this many-th are
  // also encoded plain, to learn how our plain encoding compares with what
  // the files spent on their images; a series of no more than
  // `plainMeasuredFiles` files is measured frame by frame.
  std::int32_t plainSampleEvery = 16;
  std::int32_t plainMeasuredFiles = 16;
  // ... the every-so-many-th only while the optimised file so far is at
  // least this share (in percent) of the plain one's estimate.
  std::uint64_t plainNearPercent = 95;
  // The global colour table is built once this many frames after the
  // first are decided, or once their plans hold this many codes (1 MiB), or
  // at the end: what they draw goes into it.
  std::size_t paletteFrames = 8;
  std::size_t paletteCodes = std::size_t{1} << 19;
  // Decided frames waiting to be encoded before the reading thread encodes
  // one itself: enough to keep the helper busy, few enough to keep memory
  // flat.
  std::size_t mostWaitingPlans = 2;

  // ---- How far colours may move (0: not at all) ----
  // The largest difference in red, green or blue (0 to 255) between a
  // pixel as a viewer shows it and the pixel of its file.
  std::int32_t lossy = 0;
  // Of that, how far a pixel may be from what the canvas shows and still
  // count as unchanged; the rest is left to the string matching of the
  // encoder. Compared with what the canvas really shows, so errors never
  // add up from frame to frame.
  std::int32_t unchangedWithin = 0;
  std::int32_t stringsWithin = 0;

  bool lossless() const { return unchangedWithin == 0 && stringsWithin == 0; }
};

// The settings of lossy level n (0: lossless -O; the largest error in any
// channel is n).
OptimizeSettings lossySettings(std::int32_t n);

// The strongest lossy level.
inline constexpr std::int32_t kMaxLossy = 255;

}  // namespace gifjoin
