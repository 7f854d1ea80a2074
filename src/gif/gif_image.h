// The image record: everything one GIF file yields (screen values, graphic
// control values, one colour map, decoded frames), and also the growing
// animation. This is the chief header of the GIF layers; the reading,
// writing and frame-appending operations live in their own headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gifjoin {

// Pixel frames: 32-bit values addressed (x, y, frame), all from 1, x
// fastest. Storage may hold room for more frames than `frames()` so that
// appending a frame costs amortised constant time; that room is never
// visible through the extents. A copy that cannot be held throws
// std::bad_alloc, which the driver reports as an image that cannot be held.
class PixelArray {
 public:
  PixelArray() = default;
  PixelArray(const PixelArray& other);
  PixelArray& operator=(const PixelArray& other);
  PixelArray(PixelArray&& other) noexcept;
  PixelArray& operator=(PixelArray&& other) noexcept;
  ~PixelArray();

  bool present() const { return present_; }
  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  std::int32_t frames() const { return frames_; }
  std::size_t framePixels() const {
    return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  }

  // Create a zero-filled array (extents below 0 count as 0). Returns false
  // when memory cannot be had; the array is then absent.
  bool allocate(std::int32_t width, std::int32_t height, std::int32_t frames);
  void release();

  // Add one zero-filled frame at the end. False when memory cannot be had.
  bool appendFrame();

  // 1-based access.
  std::int32_t& operator()(std::int32_t x, std::int32_t y, std::int32_t k) {
    return data_[index(x, y, k)];
  }
  std::int32_t operator()(std::int32_t x, std::int32_t y, std::int32_t k) const {
    return data_[index(x, y, k)];
  }
  // First value of frame k (1-based); rows follow each other, x fastest.
  std::int32_t* frame(std::int32_t k) { return data_ + framePixels() * (k - 1); }
  const std::int32_t* frame(std::int32_t k) const { return data_ + framePixels() * (k - 1); }

 private:
  std::size_t index(std::int32_t x, std::int32_t y, std::int32_t k) const {
    return (static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(height_) +
            static_cast<std::size_t>(y - 1)) *
               static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(x - 1);
  }
  bool growTo(std::int32_t frames);

  std::int32_t* data_ = nullptr;
  std::size_t capacityBytes_ = 0;
  std::int32_t capacityFrames_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::int32_t frames_ = 0;
  bool present_ = false;
};

// A 2-D frame of 16-bit values, first index x, as the driver hands it to
// addImage and setImage.
struct Frame16 {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::int16_t> values;  // width * height, x fastest
};

// One frame of colour indices as the run carries it from the reader to the
// writer: width x height 8-bit values in raster order, of which the first
// `written` are held and the rest are zero. Storage grows with the data the
// reader decodes and is kept for the next frame, so a frame never costs
// more memory than its data, and a series reuses the same few buffers.
class Frame8 {
 public:
  bool present = false;  // an image was read into it
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::size_t written = 0;  // values held, from the first; the rest are zero
  // What the file spent on this image's data (sub-blocks with their count
  // bytes; 0: not known).
  std::uint64_t packedBytes = 0;

  std::size_t pixels() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  std::uint8_t* data() { return data_.get(); }
  const std::uint8_t* data() const { return data_.get(); }
  std::size_t capacity() const { return capacity_; }
  // Room for at least n values, keeping the `written` ones; false when
  // memory cannot be had. The storage may move.
  bool reserve(std::size_t n);
  // Hold the first n values (n > written): the new ones become zero.
  void zeroTo(std::size_t n);
  // No image: ready for the next file, storage kept.
  void clear() {
    present = false;
    width = 0;
    height = 0;
    written = 0;
    packedBytes = 0;
  }

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
};

// The colours one frame was read with: its own colour table (red, green,
// blue per entry; empty when its file left no colour map) and its own
// transparent colour index (negative: none).
struct FrameColours {
  std::vector<std::uint8_t> rgb;
  std::int32_t transparentColorIndex = -1;
};

class GIFImage {
 public:
  GIFImage() = default;
  GIFImage(const GIFImage& other) = default;
  GIFImage& operator=(const GIFImage& other) = default;
  GIFImage(GIFImage&&) noexcept = default;
  GIFImage& operator=(GIFImage&&) noexcept = default;
  ~GIFImage() = default;

  // Fields, in the record's order. A new record has every number 0, an
  // empty file name and neither array.
  std::string fileName;
  std::int32_t transparentColorIndex = 0;
  std::int32_t delayTime = 0;
  std::int32_t userInputFlag = 0;
  std::int32_t disposalMethod = 0;
  std::int32_t pixelAspectRatio = 0;
  std::int32_t backgroundColorIndex = 0;
  std::int32_t colorTableSize = 0;
  std::int32_t colorResolution = 0;
  std::int32_t screenHeight = 0;
  std::int32_t screenWidth = 0;
  std::int32_t numColors = 0;
  std::int32_t useLocalColormap = 0;
  std::int32_t numFrames = 0;

  // Colour map: colormap(c, i), c = 1..3 (red, green, blue), i = 0..entries-1.
  bool hasColormap() const { return hasColormap_; }
  std::int32_t colormapEntries() const {
    return static_cast<std::int32_t>(colormapData_.size() / 3);
  }
  std::int16_t& colormap(int c, std::int32_t i) {
    return colormapData_[static_cast<std::size_t>(i) * 3 + static_cast<std::size_t>(c - 1)];
  }
  std::int16_t colormap(int c, std::int32_t i) const {
    return colormapData_[static_cast<std::size_t>(i) * 3 + static_cast<std::size_t>(c - 1)];
  }
  // Create a zero-filled colour map with the given number of entries.
  void allocateColormap(std::int32_t entries);
  void releaseColormap();

  PixelArray pixels;
  // Colours of the frames, beside their pixels: entry k - 1 for frame k.
  // Frames without an entry (or an empty one) are shown with the record's
  // colour map and transparency.
  std::vector<std::optional<FrameColours>> frameColours;

  // Put the record into its reset state.
  void reset();
  // Free colour map and pixels; scalars untouched.
  void release();

  std::int32_t getDelayTime() const { return delayTime; }
  void setDelayTime(std::int32_t value) { delayTime = value; }
  std::int32_t getNumFrames() const { return numFrames; }

  // One frame of the given 16-bit array, values sign-extended; the screen
  // becomes the array's size. Colour map and other fields unchanged.
  // std::bad_alloc when the frame cannot be held.
  void setImage(const Frame16& image);
  // Colour map from packed red*65536 + green*256 + blue values.
  void setColormap(const std::vector<std::int32_t>& colors);

 private:
  bool hasColormap_ = false;
  std::vector<std::int16_t> colormapData_;
};

// The colour map as packed integers, indices 0..numColors-1. Whatever the
// output held before is replaced. Returns false (and leaves the output
// empty) for a record whose numColors exceeds its colour map.
bool getColormap(std::vector<std::int32_t>& colormap, const GIFImage& image);

void unpackRGB(std::int32_t value, std::int32_t& red, std::int32_t& green, std::int32_t& blue);
std::int32_t packRGB(std::int32_t red, std::int32_t green, std::int32_t blue);

}  // namespace gifjoin
