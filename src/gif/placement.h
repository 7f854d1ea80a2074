// Frames of any size or position (--any-size, --pieces): where each file's
// picture goes on the animation's one canvas, and the canvas-sized frame
// that shows it there. A file's picture is what a viewer shows of the file
// alone: its logical screen (widened to hold its first image, as browsers
// do), transparent but where its first image draws. With --any-size every
// frame shows its file's picture alone, placed on the canvas with the fill
// around it; with --pieces each file's image is drawn over what the frames
// before left, with its offset, transparency and disposal, as the viewer of
// the animation it was cut from does. What comes out is always a full
// canvas of values and the colour table they show with, so the frame
// stream and the optimiser take it as any other frame.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "gif/frame_optimizer.h"
#include "gif/gif_image.h"

namespace gifjoin {

// A file's screen and first image, from its first bytes.
struct FileLayout {
  std::int32_t screenWidth = 0;
  std::int32_t screenHeight = 0;
  std::int32_t left = 0;  // the first image's offset and size
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t transparent = -1;  // of the first image's graphic control; -1: none
  std::int32_t disposal = 0;      // of the same

  // The picture the file shows alone: the screen, widened to hold the
  // first image.
  std::int32_t pictureWidth() const { return std::max(screenWidth, left + width); }
  std::int32_t pictureHeight() const { return std::max(screenHeight, top + height); }
  bool sameScreen(const FileLayout& other) const {
    return screenWidth == other.screenWidth && screenHeight == other.screenHeight;
  }
};

enum class LayoutScan {
  Found,     // `layout` holds the file's screen and first image
  NeedMore,  // the bytes end before the first image descriptor
  Nothing,   // not a GIF, or no image
};

// Read the screen descriptor and the blocks up to the first image
// descriptor, skipping every sub-block. Reports nothing.
LayoutScan scanLayout(std::span<const std::uint8_t> bytes, FileLayout& layout);

// Where a picture lines up along one side of the canvas.
enum class Edge { Start, Middle, End };

struct PlacementOptions {
  enum class Canvas { Largest, First, Fixed };
  enum class Fill { Corner, Transparent, Colour };
  Canvas canvas = Canvas::Largest;
  std::int32_t width = 0;  // Canvas::Fixed
  std::int32_t height = 0;
  Edge horizontal = Edge::Middle;
  Edge vertical = Edge::Middle;
  Fill fill = Fill::Corner;
  ColourKey colour = kOpaqueBits;  // Fill::Colour
};

// The offset of a picture of `picture` pixels on a canvas of `canvas`
// pixels; negative when it is cut. In the middle, an odd pixel of margin or
// of cut goes to the end (right or bottom).
std::int32_t placedAt(std::int32_t canvas, std::int32_t picture, Edge edge);

// The canvas of a run, from the layouts of its files in order (before any
// pixel is read), and how many pictures it cuts.
class CanvasSize {
 public:
  explicit CanvasSize(const PlacementOptions& options);
  void add(const FileLayout& layout);
  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  // Pictures larger than a canvas that was fixed before them.
  std::int64_t cut() const { return cut_; }

 private:
  PlacementOptions::Canvas mode_;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool fixed_ = false;
  std::int64_t cut_ = 0;
};

// What the composed frames could not show exactly as the rule says: the
// count of frames of each kind (see Composer::compose).
struct PlacementNotes {
  std::int64_t opaqueNothing = 0;   // no index left for transparency
  std::int64_t nearestColours = 0;  // colours shown as the nearest of the table
};

class Composer {
 public:
  // `pieces`: files are pieces of one animation (--pieces); otherwise each
  // file is a picture of its own (--any-size).
  Composer(const PlacementOptions& options, std::int32_t canvasWidth, std::int32_t canvasHeight,
           bool pieces);

  // True when the file's image is the whole frame as it is (--any-size,
  // the picture and its image exactly the canvas): it may then be read
  // straight into the frame, with the file's colours.
  bool direct(const FileLayout& layout) const;

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }

  // The frame that shows the file, into `out` (a canvas-sized frame is
  // made of it). `image` holds the file's first image as read (values past
  // the `written` ones are 0), `colours` the file's table and transparent
  // index on the way in and the frame's on the way out: the file's table,
  // with free entries taken for the transparent index and colours it lacks
  // (growing it up to 256 entries where needed). When a table has no entry
  // left, what shows nothing is shown in the colour of the image's top-left
  // pixel, and a colour it lacks as the nearest it has (see notes()).
  // std::bad_alloc when the canvas cannot be held.
  void compose(const Frame8& image, const FileLayout& layout, FrameColours& colours, Frame8& out);

  const PlacementNotes& notes() const { return notes_; }

 private:
  struct Rect {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
  };
  Rect clip(Rect r, const Rect& to) const;
  Rect placedPicture(const FileLayout& layout) const;
  // The canvas: transparent inside `picture`, `fill` outside it.
  void reset(const Rect& picture, ColourKey fill);
  void fillRect(const Rect& r, ColourKey key);
  // The image's pixels that are not transparent, at `at` within `within`.
  Rect draw(const Frame8& image, const FileLayout& layout, const std::array<ColourKey, 256>& keys,
            std::int32_t x, std::int32_t y, const Rect& within);
  ColourKey fillFor(const Frame8& image, const FileLayout& layout,
                    const std::array<ColourKey, 256>& keys) const;
  void toFrame(const Frame8& image, FrameColours& colours, const std::array<ColourKey, 256>& keys,
               Frame8& out);

  const PlacementOptions options_;
  const std::int32_t width_;
  const std::int32_t height_;
  const bool pieces_;
  std::vector<ColourKey> canvas_;  // what the frame shows, as colours
  // --pieces: the first file's screen and where it lies on the canvas, and
  // what the last piece leaves when it goes.
  bool started_ = false;
  FileLayout first_;
  Rect home_;
  Rect pending_;
  std::int32_t pendingDisposal_ = 0;
  std::vector<ColourKey> saved_;  // under the last piece, for disposal 3
  PlacementNotes notes_;
};

}  // namespace gifjoin
