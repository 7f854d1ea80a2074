// Benchmarks of the reading and writing layers on realistic frames, with
// giflib decoding and encoding the same frames in the same run so that the
// ratios between them come from one measurement.
//
// Items are pixels (items_per_second = pixels/s); bytes are the compressed
// GIF bytes read or written (bytes_per_second). Set GIFJOIN_BENCH_WORKLOADS
// to a directory made by make_workloads.py to add the Pillow-written files
// plots_1.gif and photo_1.gif as frames too.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/driver.h"
#include "frames.h"
#include "general/console.h"
#include "general/text_field.h"
#include "general/units.h"
#include "gif/add_image.h"
#include "gif/code_buffer.h"
#include "gif/data_blocks.h"
#include "gif/gif_image.h"
#include "gif/lzw_decoder.h"
#include "gif/lzw_encoder.h"
#include "gif/read.h"
#include "gif/write.h"

namespace fs = std::filesystem;
using namespace gifjoin;
using namespace gifjoin::bench;

namespace {

// Console lines of the reader and writer go nowhere.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c == EOF ? 0 : c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};
NullBuffer g_nullBuffer;
std::ostream g_null(&g_nullBuffer);

fs::path g_dir;

// Frames of a short animation, as the writer and the whole-run benchmarks
// use them.
constexpr int kSeriesFrames = 16;

struct Workload {
  Frame frame;
  ImageData data;
  fs::path gifPath;   // the frame as a GIF file
  fs::path dataPath;  // its image data sub-blocks alone
  std::vector<std::int32_t> pixels;
  // (code << 8 | width) of the frame's LZW codes as our encoder makes them.
  std::vector<std::uint32_t> codes;
  std::size_t codeBytes = 0;
  std::vector<Frame> series;  // kSeriesFrames moving frames (empty when loaded)
  std::string seriesBase;     // path + base name of the series files
};

std::vector<std::unique_ptr<Workload>> g_workloads;

void writeFile(const fs::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// The codes and widths of the frame, computed with the list-form table the
// way the writer's encoder makes them (a clear code first, a clear code once
// code 4095 is assigned).
std::vector<std::uint32_t> encoderCodes(const std::vector<std::int32_t>& pixels) {
  std::vector<std::uint32_t> codes;
  auto table = std::make_unique<LZWCodeTable>();
  constexpr std::int32_t codeSize = 8;
  table->reset_table(codeSize, 255);
  auto put = [&](std::int32_t code) {
    codes.push_back(static_cast<std::uint32_t>(code) << 8 |
                    static_cast<std::uint32_t>(table->codeWidth));
  };
  put(table->clearCode);
  std::int32_t prefix = pixels[0];
  for (std::size_t i = 1; i < pixels.size(); ++i) {
    std::int32_t code = 0;
    if (table->find_child(prefix, pixels[i], code)) {
      prefix = code;
      continue;
    }
    put(prefix);
    if (table->nextCode > table->maxCode) {
      put(table->clearCode);
      table->reset_table(codeSize, 255);
    } else {
      table->add_entry(prefix, pixels[i]);
    }
    prefix = pixels[i];
  }
  put(prefix);
  put(table->endCode);
  return codes;
}

Workload& addWorkload(Frame frame, std::vector<Frame> series) {
  auto w = std::make_unique<Workload>();
  w->frame = std::move(frame);
  w->data = findImageData(w->frame.gifBytes);
  w->gifPath = g_dir / (w->frame.name + ".gif");
  w->dataPath = g_dir / (w->frame.name + ".lzw");
  writeFile(w->gifPath, w->frame.gifBytes.data(), w->frame.gifBytes.size());
  writeFile(w->dataPath, w->frame.gifBytes.data() + w->data.begin, w->data.end - w->data.begin);
  w->pixels.assign(w->frame.indices.begin(), w->frame.indices.end());
  w->codes = encoderCodes(w->pixels);
  std::size_t bits = 0;
  for (std::uint32_t c : w->codes) bits += c & 0xFF;
  w->codeBytes = (bits + 7) / 8;
  w->series = std::move(series);
  if (!w->series.empty()) {
    w->seriesBase = (g_dir / ("series_" + w->frame.name)).string();
    for (std::size_t i = 0; i < w->series.size(); ++i) {
      const Frame& f = w->series[i];
      writeFile(w->seriesBase + "_" + std::to_string(i + 1) + ".gif", f.gifBytes.data(),
                f.gifBytes.size());
    }
  }
  g_workloads.push_back(std::move(w));
  return *g_workloads.back();
}

void addDrawn(FrameKind kind, std::int32_t width, std::int32_t height) {
  std::vector<Frame> series;
  for (int k = 0; k < kSeriesFrames; ++k) series.push_back(makeFrame(kind, width, height, k));
  Frame first = series.front();
  addWorkload(std::move(first), std::move(series));
}

// A unit open on a file for as long as the object lives.
class OpenUnit {
 public:
  explicit OpenUnit(const fs::path& path) : unit_(getFreeUnit()) {
    if (unit_ <= 0 || units().openForReading(unit_, path.string()) != 0) {
      throw std::runtime_error("cannot open " + path.string());
    }
  }
  ~OpenUnit() { units().release(unit_); }
  OpenUnit(const OpenUnit&) = delete;
  OpenUnit& operator=(const OpenUnit&) = delete;
  int unit() const { return unit_; }

 private:
  int unit_;
};

void setRates(benchmark::State& state, std::size_t pixels, std::size_t bytes) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(pixels));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
}

// ---- reading -----------------------------------------------------------------

// Every code of the image data with the widths the decoder asks for: 9 bits
// after a clear code, one more each time the next code to assign reaches
// the width's limit, at most 12.
std::int64_t readAllCodes(CodeReader& codes, GIFImage& image, int unit, int minCodeSize) {
  const std::int32_t clear = 1 << minCodeSize;
  std::int32_t width = minCodeSize + 1;
  std::int32_t next = clear + 2;
  bool first = true;
  std::int32_t status = 0;
  std::int64_t n = 0;
  codes.reset();
  for (;;) {
    const std::int32_t code = codes.read(image, unit, width, status);
    if (code < 0 || code == clear + 1) break;
    ++n;
    if (code == clear) {
      width = minCodeSize + 1;
      next = clear + 2;
      first = true;
      continue;
    }
    if (!first && next < 4096) {
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    first = false;
  }
  return n;
}

void BM_CodeReader(benchmark::State& state, const Workload* w) {
  GIFImage image;
  image.reset();
  CodeReader codes;
  std::int64_t n = 0;
  for (auto _ : state) {
    OpenUnit file(w->dataPath);
    n = readAllCodes(codes, image, file.unit(), w->data.minCodeSize);
    benchmark::DoNotOptimize(n);
  }
  setRates(state, w->frame.pixels(), w->data.end - w->data.begin);
  state.counters["codes/s"] =
      benchmark::Counter(static_cast<double>(n) * state.iterations(), benchmark::Counter::kIsRate);
}

// The decoder one value per call (lzw_decode's path), then the end code.
std::size_t decodePerCall(GifReader& reader, GIFImage& image, int unit, int minCodeSize,
                          std::int32_t* out, std::size_t count) {
  std::int32_t status = 0;
  reader.decoder.init(reader.codes, minCodeSize);
  std::size_t n = 0;
  for (; n < count; ++n) {
    const std::int32_t v = reader.decoder.next(image, reader.codes, unit, status);
    if (v < 0) return n;
    out[n] = v;
  }
  benchmark::DoNotOptimize(reader.decoder.next(image, reader.codes, unit, status));
  return n;
}

// The bulk path the raster reader takes, then the end code.
std::size_t decodeBulk(GifReader& reader, GIFImage& image, int unit, int minCodeSize,
                       std::int32_t* out, std::size_t count) {
  std::int32_t status = 0;
  std::int32_t stop = 0;
  reader.decoder.init(reader.codes, minCodeSize);
  const std::int32_t n = reader.decoder.decodeRun(image, reader.codes, unit, out,
                                                  static_cast<std::int32_t>(count), stop, status);
  benchmark::DoNotOptimize(reader.decoder.next(image, reader.codes, unit, status));
  return static_cast<std::size_t>(n);
}

template <auto Decode>
void BM_LzwDecode(benchmark::State& state, const Workload* w) {
  auto reader = std::make_unique<GifReader>();
  GIFImage image;
  image.reset();
  std::vector<std::int32_t> out(w->frame.pixels());
  for (auto _ : state) {
    OpenUnit file(w->dataPath);
    benchmark::DoNotOptimize(
        Decode(*reader, image, file.unit(), w->data.minCodeSize, out.data(), out.size()));
    benchmark::ClobberMemory();
  }
  setRates(state, w->frame.pixels(), w->data.end - w->data.begin);
}

void BM_ReadGIFImage(benchmark::State& state, const Workload* w) {
  auto reader = std::make_unique<GifReader>();
  GIFImage image;
  const std::string path = w->gifPath.string();
  for (auto _ : state) {
    std::int32_t status = 0;
    ReadGIFImage(image, *reader, path, 1, status, 0);
    benchmark::DoNotOptimize(image.pixels.frame(1));
    image.reset();
  }
  setRates(state, w->frame.pixels(), w->frame.gifBytes.size());
}

void BM_GiflibDecodeFile(benchmark::State& state, const Workload* w) {
  const std::string path = w->gifPath.string();
  for (auto _ : state) benchmark::DoNotOptimize(giflibDecodeFile(path));
  setRates(state, w->frame.pixels(), w->frame.gifBytes.size());
}

void BM_GiflibDecodeMemory(benchmark::State& state, const Workload* w) {
  for (auto _ : state) benchmark::DoNotOptimize(giflibDecodeMemory(w->frame.gifBytes));
  setRates(state, w->frame.pixels(), w->frame.gifBytes.size());
}

// ---- writing -----------------------------------------------------------------

void BM_LzwEncoder(benchmark::State& state, const Workload* w) {
  LZWEncoder encoder;
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    out.clear();
    std::int32_t codeSize = 8;
    encoder.encode(w->pixels.data(), w->pixels.size(), codeSize, out);
    benchmark::DoNotOptimize(out.data());
  }
  setRates(state, w->frame.pixels(), out.size());
}

// lzw_encode on a record: a new encoder (and child table) for every call.
void BM_LzwEncodeFunction(benchmark::State& state, const Workload* w) {
  GIFImage image;
  image.reset();
  image.pixels.allocate(w->frame.width, w->frame.height, 1);
  std::copy(w->pixels.begin(), w->pixels.end(), image.pixels.frame(1));
  image.numFrames = 1;
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    out.clear();
    std::int32_t codeSize = 8;
    lzw_encode(image, out, codeSize, 1);
    benchmark::DoNotOptimize(out.data());
  }
  setRates(state, w->frame.pixels(), out.size());
}

void BM_CodeBuffer(benchmark::State& state, const Workload* w) {
  CodeBuffer buffer;
  std::vector<std::uint8_t> out;
  out.reserve(w->codeBytes + w->codeBytes / 255 + 16);
  for (auto _ : state) {
    out.clear();
    buffer.init_buffer(out);
    for (std::uint32_t c : w->codes) {
      buffer.put_code(c >> 8, static_cast<std::int32_t>(c & 0xFF));
    }
    buffer.write_data_block();
    buffer.free_buffer();
    benchmark::DoNotOptimize(out.data());
  }
  setRates(state, w->frame.pixels(), out.size());
  state.counters["codes/s"] = benchmark::Counter(
      static_cast<double>(w->codes.size()) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_GiflibEncode(benchmark::State& state, const Workload* w) {
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    out.clear();
    giflibEncode(w->frame, out);
    benchmark::DoNotOptimize(out.data());
  }
  setRates(state, w->frame.pixels(), out.size());
}

GIFImage seriesRecord(const Workload& w) {
  GIFImage image;
  image.reset();
  const Frame& f = w.series.front();
  image.screenWidth = f.width;
  image.screenHeight = f.height;
  image.pixels.allocate(f.width, f.height, static_cast<std::int32_t>(w.series.size()));
  for (std::size_t k = 0; k < w.series.size(); ++k) {
    std::copy(w.series[k].indices.begin(), w.series[k].indices.end(),
              image.pixels.frame(static_cast<std::int32_t>(k + 1)));
  }
  image.numFrames = static_cast<std::int32_t>(w.series.size());
  image.allocateColormap(256);
  image.numColors = 256;
  for (std::int32_t i = 0; i < 256; ++i) {
    for (int c = 1; c <= 3; ++c) {
      image.colormap(c, i) = f.palette[static_cast<std::size_t>(3 * i + c - 1)];
    }
  }
  image.delayTime = 30;
  return image;
}

std::size_t seriesPixels(const Workload& w) {
  return w.series.size() * w.series.front().pixels();
}

void BM_Writer(benchmark::State& state, const Workload* w) {
  GIFImage image = seriesRecord(*w);
  WriteOptions options;
  options.loopCount = 0;
  options.encodeThreads = static_cast<int>(state.range(0));
  const std::string path = (g_dir / ("written_" + w->frame.name + ".gif")).string();
  for (auto _ : state) {
    if (!writeGIFImage(image, path, options)) state.SkipWithError("writeGIFImage failed");
  }
  setRates(state, seriesPixels(*w), fs::file_size(path));
}

// giflib writing the same animation (looping block, graphic control
// extension per frame) to a file.
void BM_GiflibWriter(benchmark::State& state, const Workload* w) {
  const std::string path = (g_dir / ("giflib_" + w->frame.name + ".gif")).string();
  const Frame& f0 = w->series.front();
  std::array<GifColorType, 256> colours{};
  for (std::size_t i = 0; i < 256; ++i) {
    colours[i] = {f0.palette[3 * i], f0.palette[3 * i + 1], f0.palette[3 * i + 2]};
  }
  for (auto _ : state) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr) {
      state.SkipWithError("EGifOpenFileName failed");
      break;
    }
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    bool ok = EGifPutScreenDesc(gif, f0.width, f0.height, 8, 0, map) == GIF_OK;
    const std::uint8_t loop[3] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
         EGifPutExtensionBlock(gif, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
    for (const Frame& f : w->series) {
      const std::uint8_t control[4] = {0x08, 30, 0, 0};
      ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK &&
           EGifPutImageDesc(gif, 0, 0, f.width, f.height, false, nullptr) == GIF_OK &&
           EGifPutLine(gif, const_cast<GifPixelType*>(f.indices.data()),
                       static_cast<int>(f.indices.size())) == GIF_OK;
    }
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK || !ok) state.SkipWithError("giflib write failed");
  }
  setRates(state, seriesPixels(*w), fs::file_size(path));
}

// ---- frame store and whole run -------------------------------------------------

// Appending decoded frames to a record whose room was reserved first, as
// the driver does: the cost of the frame store's fresh pages and the copy.
void BM_AppendFrames(benchmark::State& state, const Workload* w) {
  const auto frames = static_cast<std::int32_t>(state.range(0));
  const Frame& f = w->frame;
  for (auto _ : state) {
    GIFImage record;
    record.reset();
    record.screenWidth = f.width;
    record.screenHeight = f.height;
    record.pixels.allocate(f.width, f.height, 1);
    record.numFrames = 1;
    record.pixels.reserveFrames(frames);
    for (std::int32_t k = 2; k <= frames; ++k) {
      addImage(record, w->pixels.data(), f.width, f.height);
    }
    benchmark::DoNotOptimize(record.pixels.frame(frames));
  }
  setRates(state, f.pixels() * static_cast<std::size_t>(frames),
           f.pixels() * static_cast<std::size_t>(frames) * 4);
}

// The tool's whole run (read, append, write) over the series files.
void BM_Join(benchmark::State& state, const Workload* w) {
  JoinRequest request;
  request.baseName = makeField(w->seriesBase);
  request.lowerIndex = 1;
  request.higherIndex = static_cast<std::int32_t>(w->series.size());
  request.outputName = (g_dir / ("joined_" + w->frame.name + ".gif")).string();
  request.delay = 30;
  request.loopCount = 0;
  request.verbose = true;
  for (auto _ : state) {
    if (runJoin(request) != kExitWritten) state.SkipWithError("runJoin failed");
  }
  setRates(state, seriesPixels(*w), fs::file_size(request.outputName));
}

// ---- set-up ---------------------------------------------------------------------

// Before anything is timed: every path of ours must give the frame's pixels
// back, and our written file must decode (by giflib) to the frames.
void verify(const Workload& w) {
  const auto fail = [&](const std::string& what) {
    throw std::runtime_error(w.frame.name + ": " + what);
  };
  auto reader = std::make_unique<GifReader>();
  GIFImage image;
  image.reset();
  std::vector<std::int32_t> out(w.frame.pixels());
  {
    OpenUnit file(w.dataPath);
    if (decodePerCall(*reader, image, file.unit(), w.data.minCodeSize, out.data(), out.size()) !=
            out.size() ||
        out != w.pixels) {
      fail("per-call decoder differs from the frame");
    }
  }
  std::fill(out.begin(), out.end(), -1);
  {
    OpenUnit file(w.dataPath);
    if (decodeBulk(*reader, image, file.unit(), w.data.minCodeSize, out.data(), out.size()) !=
            out.size() ||
        out != w.pixels) {
      fail("bulk decoder differs from the frame");
    }
  }
  std::int32_t status = 0;
  ReadGIFImage(image, *reader, w.gifPath.string(), 1, status, 0);
  if (status != 0 || !image.pixels.present() ||
      !std::equal(w.pixels.begin(), w.pixels.end(), image.pixels.frame(1))) {
    fail("ReadGIFImage differs from the frame");
  }
  if (giflibDecodeMemory(w.frame.gifBytes) != w.frame.pixels()) fail("giflib cannot decode");

  // Our encoder's stream decodes back to the frame.
  LZWEncoder encoder;
  std::vector<std::uint8_t> encoded;
  std::int32_t codeSize = 8;
  encoder.encode(w.pixels.data(), w.pixels.size(), codeSize, encoded);
  std::vector<std::uint8_t> gif(
      w.frame.gifBytes.begin(),
      w.frame.gifBytes.begin() + static_cast<std::ptrdiff_t>(w.data.begin) - 1);
  gif.insert(gif.end(), encoded.begin(), encoded.end());
  gif.push_back(0x00);
  gif.push_back(0x3B);
  const fs::path path = g_dir / (w.frame.name + "_ours.gif");
  writeFile(path, gif.data(), gif.size());
  image.reset();
  ReadGIFImage(image, *reader, path.string(), 1, status, 0);
  if (status != 0 || !std::equal(w.pixels.begin(), w.pixels.end(), image.pixels.frame(1))) {
    fail("our encoder's data does not decode to the frame");
  }
  if (giflibDecodeFile(path.string()) != w.frame.pixels()) fail("giflib cannot decode our data");
  // The code buffer gives the encoder's bytes from the encoder's codes.
  std::vector<std::uint8_t> packed{static_cast<std::uint8_t>(codeSize)};
  CodeBuffer buffer;
  buffer.init_buffer(packed);
  for (std::uint32_t c : w.codes) buffer.put_code(c >> 8, static_cast<std::int32_t>(c & 0xFF));
  buffer.write_data_block();
  buffer.free_buffer();
  if (packed != encoded) fail("the codes of the list-form table differ from the encoder's");
}

void registerAll() {
  for (const auto& owned : g_workloads) {
    const Workload* w = owned.get();
    const std::string n = w->frame.name;
    benchmark::RegisterBenchmark(("read/code_reader/" + n).c_str(), BM_CodeReader, w);
    benchmark::RegisterBenchmark(("read/lzw_per_call/" + n).c_str(), BM_LzwDecode<decodePerCall>,
                                 w);
    benchmark::RegisterBenchmark(("read/lzw_bulk/" + n).c_str(), BM_LzwDecode<decodeBulk>, w);
    benchmark::RegisterBenchmark(("read/ReadGIFImage/" + n).c_str(), BM_ReadGIFImage, w);
    benchmark::RegisterBenchmark(("read/giflib_file/" + n).c_str(), BM_GiflibDecodeFile, w);
    benchmark::RegisterBenchmark(("read/giflib_memory/" + n).c_str(), BM_GiflibDecodeMemory, w);
    benchmark::RegisterBenchmark(("write/code_buffer/" + n).c_str(), BM_CodeBuffer, w);
    benchmark::RegisterBenchmark(("write/lzw_encoder/" + n).c_str(), BM_LzwEncoder, w);
    benchmark::RegisterBenchmark(("write/lzw_encode_fn/" + n).c_str(), BM_LzwEncodeFunction, w);
    benchmark::RegisterBenchmark(("write/giflib_memory/" + n).c_str(), BM_GiflibEncode, w);
    if (!w->series.empty()) {
      benchmark::RegisterBenchmark(("file/writeGIFImage/" + n).c_str(), BM_Writer, w)
          ->ArgName("threads")
          ->Arg(1)
          ->Arg(2)
          ->UseRealTime();
      benchmark::RegisterBenchmark(("file/giflib_writer/" + n).c_str(), BM_GiflibWriter, w)
          ->UseRealTime();
      benchmark::RegisterBenchmark(("file/append/" + n).c_str(), BM_AppendFrames, w)
          ->ArgName("frames")
          ->Arg(50)
          ->UseRealTime();
      benchmark::RegisterBenchmark(("file/join/" + n).c_str(), BM_Join, w)->UseRealTime();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  setConsole(&g_null);
  g_dir = fs::temp_directory_path() / ("gifjoin_bench_" + std::to_string(::getpid()));
  fs::create_directories(g_dir);
  int result = 0;
  try {
    addDrawn(FrameKind::Plots, 800, 600);
    addDrawn(FrameKind::Plots, 320, 240);
    addDrawn(FrameKind::Photo, 640, 480);
    addDrawn(FrameKind::Photo, 160, 120);
    if (const char* dir = std::getenv("GIFJOIN_BENCH_WORKLOADS"); dir != nullptr && *dir != 0) {
      for (const char* kind : {"plots", "photo"}) {
        const fs::path path = fs::path(dir) / (std::string(kind) + "_1.gif");
        Frame f = loadFrame(path.string(), std::string("pillow_") + kind);
        f.name += "_" + std::to_string(f.width) + "x" + std::to_string(f.height);
        addWorkload(std::move(f), {});
      }
    }
    for (const auto& w : g_workloads) verify(*w);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
  } catch (const std::exception& e) {
    std::cerr << "gifjoin_bench: " << e.what() << '\n';
    result = 1;
  }
  benchmark::Shutdown();
  setConsole(nullptr);
  std::error_code ec;
  fs::remove_all(g_dir, ec);
  return result;
}
