// The image record: reset, copy, release, accessors and the operations that
// fill the colour map and pixel array from plain arrays. Also the pixel
// storage, which grows in place so that appended frames are never copied.
#include "gif/gif_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

#include "general/text_field.h"

#if defined(__linux__)
// mremap, which lets a mapping grow without copying, is Linux's own; other
// systems take the C library's allocator below.
#include <sys/mman.h>
#define GIFJOIN_HAVE_MMAP 1
#endif

namespace gifjoin {

namespace {

struct Block {
  void* data = nullptr;
  std::size_t bytes = 0;
};

#ifdef GIFJOIN_HAVE_MMAP
// Large arrays come straight from the system as zero pages, and a mapping
// can grow in place (mremap) without copying the frames it holds. Huge-page
// advice is left out on purpose: on virtual machines whose freed memory goes
// back to the host, the first touch of fresh huge pages is far slower than
// that of plain pages.
constexpr std::size_t kMapThreshold = std::size_t{1} << 20;
constexpr std::size_t kMapGranule = std::size_t{64} << 10;
// One released mapping of up to this size is kept for the next array: a
// series reads one file after another into arrays of the same size, and a
// kept mapping spares the page faults of a fresh one for every file.
constexpr std::size_t kSpareLimit = std::size_t{64} << 20;

std::size_t roundUp(std::size_t n, std::size_t to) {
  return (n + to - 1) / to * to;
}

void releaseMapping(Block& block) {
  munmap(block.data, block.bytes);
  block = {};
}

class SpareMapping {
 public:
  ~SpareMapping() {
    if (spare_.data != nullptr) releaseMapping(spare_);
  }
  // Keep `block` (taking it) and give back the one kept before, if any.
  Block keep(Block block) {
    std::lock_guard lock(mutex_);
    std::swap(block, spare_);
    return block;
  }
  // The kept mapping when it holds `bytes` without wasting much.
  Block take(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    if (spare_.data == nullptr || spare_.bytes < bytes ||
        spare_.bytes > 2 * bytes + kMapThreshold) {
      return {};
    }
    return std::exchange(spare_, Block{});
  }

 private:
  std::mutex mutex_;
  Block spare_;
};

SpareMapping& spareMapping() {
  static SpareMapping spare;
  return spare;
}
#endif

void freeBlock(Block& block) {
  if (block.data == nullptr) return;
#ifdef GIFJOIN_HAVE_MMAP
  if (block.bytes >= kMapThreshold) {
    Block old = block.bytes <= kSpareLimit ? spareMapping().keep(block) : block;
    if (old.data != nullptr) releaseMapping(old);
    block = {};
    return;
  }
#endif
  std::free(block.data);
  block = {};
}

// A zero-filled block of at least `bytes` bytes.
Block allocateBlock(std::size_t bytes) {
  Block block;
  if (bytes == 0) bytes = 1;
#ifdef GIFJOIN_HAVE_MMAP
  if (bytes >= kMapThreshold) {
    block = spareMapping().take(bytes);
    if (block.data != nullptr) {
      std::memset(block.data, 0, block.bytes);
      return block;
    }
    const std::size_t size = roundUp(bytes, kMapGranule);
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return block;
    block.data = p;
    block.bytes = size;
    return block;
  }
#endif
  block.data = std::calloc(bytes, 1);
  if (block.data != nullptr) block.bytes = bytes;
  return block;
}

// Grow keeping the contents; the new part is zero.
bool growBlock(Block& block, std::size_t bytes) {
  if (bytes <= block.bytes) return true;
#ifdef GIFJOIN_HAVE_MMAP
  if (block.bytes >= kMapThreshold) {
    const std::size_t size = roundUp(bytes, kMapGranule);
    void* p = mremap(block.data, block.bytes, size, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) return false;
    block.data = p;
    block.bytes = size;
    return true;
  }
  Block bigger = allocateBlock(bytes);
  if (bigger.data == nullptr) return false;
  if (block.data != nullptr) std::memcpy(bigger.data, block.data, block.bytes);
  freeBlock(block);
  block = bigger;
  return true;
#else
  // realloc may grow the block where it is; only the new part needs zeros.
  void* p = block.data == nullptr ? std::calloc(bytes, 1) : std::realloc(block.data, bytes);
  if (p == nullptr) return false;
  if (block.data != nullptr) {
    std::memset(static_cast<char*>(p) + block.bytes, 0, bytes - block.bytes);
  }
  block.data = p;
  block.bytes = bytes;
  return true;
#endif
}

bool frameBytes(std::int32_t width, std::int32_t height, std::int32_t frames, std::size_t& bytes) {
  const auto w = static_cast<unsigned long long>(width);
  const auto h = static_cast<unsigned long long>(height);
  const auto f = static_cast<unsigned long long>(frames);
  const unsigned long long limit = std::numeric_limits<std::size_t>::max() / 8;
  if (w != 0 && h > limit / w) return false;
  if (w * h != 0 && f > limit / (w * h * 4)) return false;
  bytes = static_cast<std::size_t>(w * h * f * 4);
  return true;
}

}  // namespace

// ---- PixelArray ----------------------------------------------------------

PixelArray::PixelArray(const PixelArray& other) {
  *this = other;
}

PixelArray& PixelArray::operator=(const PixelArray& other) {
  if (this == &other) return *this;
  release();
  if (!other.present_) return *this;
  // A copy that cannot be held ends the run as any image that cannot be
  // held: the driver reports it.
  if (!allocate(other.width_, other.height_, other.frames_)) throw std::bad_alloc();
  const std::size_t count = framePixels() * static_cast<std::size_t>(frames_);
  if (count != 0) std::memcpy(data_, other.data_, count * sizeof(std::int32_t));
  return *this;
}

PixelArray::PixelArray(PixelArray&& other) noexcept {
  *this = std::move(other);
}

PixelArray& PixelArray::operator=(PixelArray&& other) noexcept {
  if (this == &other) return *this;
  release();
  data_ = std::exchange(other.data_, nullptr);
  capacityBytes_ = std::exchange(other.capacityBytes_, 0);
  capacityFrames_ = std::exchange(other.capacityFrames_, 0);
  width_ = std::exchange(other.width_, 0);
  height_ = std::exchange(other.height_, 0);
  frames_ = std::exchange(other.frames_, 0);
  present_ = std::exchange(other.present_, false);
  return *this;
}

PixelArray::~PixelArray() {
  release();
}

bool PixelArray::allocate(std::int32_t width, std::int32_t height, std::int32_t frames) {
  release();
  width = std::max(width, 0);
  height = std::max(height, 0);
  frames = std::max(frames, 0);
  std::size_t bytes = 0;
  if (!frameBytes(width, height, frames, bytes)) return false;
  Block block = allocateBlock(bytes);
  if (block.data == nullptr) return false;
  data_ = static_cast<std::int32_t*>(block.data);
  capacityBytes_ = block.bytes;
  width_ = width;
  height_ = height;
  frames_ = frames;
  const std::size_t perFrame = framePixels() * sizeof(std::int32_t);
  capacityFrames_ = perFrame == 0
                        ? std::numeric_limits<std::int32_t>::max()
                        : static_cast<std::int32_t>(std::min<std::size_t>(
                              capacityBytes_ / perFrame, std::numeric_limits<std::int32_t>::max()));
  present_ = true;
  return true;
}

void PixelArray::release() {
  Block block{data_, capacityBytes_};
  freeBlock(block);
  data_ = nullptr;
  capacityBytes_ = 0;
  capacityFrames_ = 0;
  width_ = height_ = frames_ = 0;
  present_ = false;
}

bool PixelArray::growTo(std::int32_t frames) {
  if (frames <= capacityFrames_) return true;
  std::size_t bytes = 0;
  if (!frameBytes(width_, height_, frames, bytes)) return false;
  Block block{data_, capacityBytes_};
  if (!growBlock(block, bytes)) return false;
  data_ = static_cast<std::int32_t*>(block.data);
  capacityBytes_ = block.bytes;
  const std::size_t perFrame = framePixels() * sizeof(std::int32_t);
  capacityFrames_ = static_cast<std::int32_t>(
      std::min<std::size_t>(capacityBytes_ / perFrame, std::numeric_limits<std::int32_t>::max()));
  return true;
}

bool PixelArray::appendFrame() {
  // Frames are never shrunk and fresh storage is zero, so the new frame is
  // zero. Room grows geometrically.
  if (!present_ || frames_ == std::numeric_limits<std::int32_t>::max()) return false;
  if (frames_ + 1 > capacityFrames_) {
    const std::int64_t wanted = std::max<std::int64_t>(
        frames_ + 1, std::min<std::int64_t>(std::int64_t{frames_} * 2,
                                            std::numeric_limits<std::int32_t>::max()));
    if (!growTo(static_cast<std::int32_t>(wanted)) && !growTo(frames_ + 1)) return false;
  }
  ++frames_;
  return true;
}

// ---- GIFImage ------------------------------------------------------------

void GIFImage::allocateColormap(std::int32_t entries) {
  colormapData_.assign(static_cast<std::size_t>(std::max(entries, 0)) * 3, 0);
  hasColormap_ = true;
}

void GIFImage::releaseColormap() {
  colormapData_.clear();
  colormapData_.shrink_to_fit();
  hasColormap_ = false;
}

void GIFImage::reset() {
  fileName = makeField("gifimage.gif");
  transparentColorIndex = -1;
  delayTime = 0;
  userInputFlag = -1;
  disposalMethod = 0;
  pixelAspectRatio = 0;
  backgroundColorIndex = 0;
  colorTableSize = 0;
  colorResolution = 0;
  screenHeight = 0;
  screenWidth = 0;
  numColors = 0;
  useLocalColormap = 0;
  numFrames = 0;
  releaseColormap();
  pixels.release();
  frameColours.clear();
}

void GIFImage::release() {
  releaseColormap();
  pixels.release();
  frameColours.clear();
}

void GIFImage::setImage(const Frame16& image) {
  const std::int32_t nx = std::max(image.width, 0);
  const std::int32_t ny = std::max(image.height, 0);
  screenWidth = nx;
  screenHeight = ny;
  if (!pixels.allocate(nx, ny, 1)) throw std::bad_alloc();  // reported by the driver
  numFrames = 1;
  std::int32_t* out = pixels.frame(1);
  const std::size_t count = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
  for (std::size_t i = 0; i < count; ++i) out[i] = image.values[i];
}

void GIFImage::setColormap(const std::vector<std::int32_t>& colors) {
  const auto n = static_cast<std::int32_t>(colors.size());
  colorTableSize = n;
  numColors = n;
  allocateColormap(n);
  for (std::int32_t i = 0; i < n; ++i) {
    std::int32_t r = 0, g = 0, b = 0;
    unpackRGB(colors[static_cast<std::size_t>(i)], r, g, b);
    colormap(1, i) = static_cast<std::int16_t>(r);
    colormap(2, i) = static_cast<std::int16_t>(g);
    colormap(3, i) = static_cast<std::int16_t>(b);
  }
}

bool getColormap(std::vector<std::int32_t>& colormap, const GIFImage& image) {
  colormap.clear();
  const std::int32_t n = std::max(image.numColors, 0);
  if (n > image.colormapEntries()) return false;
  colormap.resize(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    colormap[static_cast<std::size_t>(i)] =
        packRGB(image.colormap(1, i), image.colormap(2, i), image.colormap(3, i));
  }
  return true;
}

void unpackRGB(std::int32_t value, std::int32_t& red, std::int32_t& green, std::int32_t& blue) {
  const auto v = static_cast<std::uint32_t>(value);
  red = static_cast<std::int32_t>((v >> 16) & 0xFF);
  green = static_cast<std::int32_t>((v >> 8) & 0xFF);
  blue = static_cast<std::int32_t>(v & 0xFF);
}

std::int32_t packRGB(std::int32_t red, std::int32_t green, std::int32_t blue) {
  return ((red & 0xFF) << 16) | ((green & 0xFF) << 8) | (blue & 0xFF);
}

bool Frame8::reserve(std::size_t n) {
  if (n <= capacity_) return true;
  // Geometric growth: a frame decoded piece by piece is copied O(1) times.
  const std::size_t grown = std::max(n, capacity_ + capacity_ / 2);
  std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[grown]);
  if (!bigger) return false;
  if (written > 0) std::memcpy(bigger.get(), data_.get(), written);
  data_ = std::move(bigger);
  capacity_ = grown;
  return true;
}

void Frame8::zeroTo(std::size_t n) {
  if (n <= written) return;
  std::memset(data_.get() + written, 0, n - written);
  written = n;
}

}  // namespace gifjoin
