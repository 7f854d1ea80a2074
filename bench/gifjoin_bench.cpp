// Benchmarks of the reading and writing layers on realistic frames, with
// giflib decoding and encoding the same frames in the same run so that the
// ratios between them come from one measurement. Everything is read from
// and written to memory: no file is touched once the frames are made.
//
// Items are pixels (items_per_second = pixels/s); bytes are the compressed
// GIF bytes read or written (bytes_per_second). Every frame is read as
// giflib wrote it with its rows in order and interlaced (as Pillow writes
// by default); the suffix _interlaced names the second. Set
// GIFJOIN_BENCH_WORKLOADS to a directory made by make_workloads.py to add
// the Pillow-written files plots_1.gif and photo_1.gif as frames too; their
// own bytes are read under the suffix _file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/driver.h"
#include "frames.h"
#include "general/byte_source.h"
#include "general/text_field.h"
#include "gif/code_buffer.h"
#include "gif/code_reader.h"
#include "gif/data_blocks.h"
#include "gif/frame_stream.h"
#include "gif/gif_image.h"
#include "gif/lzw_decoder.h"
#include "gif/lzw_encoder.h"
#include "gif/read.h"
#include "gif/write.h"
#include "support/code_table.h"
#include "support/memory_io.h"

namespace fs = std::filesystem;
using namespace gifjoin;
using namespace gifjoin::bench;
using gifjoin::testing::MemoryJoinIo;
using gifjoin::testing::nowhere;

namespace {

// Frames of a short animation, as the writer and the whole-run benchmarks
// use them.
constexpr int kSeriesFrames = 16;

// One way the frame is written as a GIF file.
struct Encoding {
  std::string suffix;  // of the benchmark names: "", "_interlaced" or "_file"
  const std::vector<std::uint8_t>* bytes = nullptr;
  ImageData data;
  // The frame's values in the order the image data carries them.
  std::vector<std::int32_t> dataOrder;

  std::span<const std::uint8_t> file() const { return *bytes; }
  std::span<const std::uint8_t> imageData() const {
    return std::span<const std::uint8_t>(*bytes).subspan(data.begin, data.end - data.begin);
  }
  std::size_t dataBytes() const { return data.end - data.begin; }
};

struct Workload {
  Frame frame;
  std::vector<std::int32_t> pixels;
  // Rows in order, interlaced, and (for a loaded frame) the file's own bytes.
  std::vector<Encoding> encodings;
  // (code << 8 | width) of the frame's LZW codes as our encoder makes them.
  std::vector<std::uint32_t> codes;
  std::size_t codeBytes = 0;
  std::vector<Frame> series;  // kSeriesFrames moving frames (empty when loaded)

  // The encoding the code reader and the decoder benchmarks read: the
  // file's own bytes for a loaded frame, else the rows in order.
  const Encoding& primary() const {
    return encodings.back().suffix == "_file" ? encodings.back() : encodings.front();
  }
};

std::vector<std::unique_ptr<Workload>> g_workloads;

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

Encoding makeEncoding(const Frame& frame, std::string suffix,
                      const std::vector<std::uint8_t>& bytes) {
  Encoding e;
  e.suffix = std::move(suffix);
  e.bytes = &bytes;
  e.data = findImageData(bytes);
  const std::vector<std::uint8_t> order =
      inRowOrder(frame, e.data.interlaced ? RowOrder::Interlaced : RowOrder::Sequential);
  e.dataOrder.assign(order.begin(), order.end());
  return e;
}

void addWorkload(Frame frame, std::vector<Frame> series) {
  auto w = std::make_unique<Workload>();
  w->frame = std::move(frame);
  const Frame& f = w->frame;
  w->encodings.push_back(makeEncoding(f, "", f.gifBytes));
  w->encodings.push_back(makeEncoding(f, "_interlaced", f.interlacedGifBytes));
  if (!f.fileBytes.empty()) w->encodings.push_back(makeEncoding(f, "_file", f.fileBytes));
  w->pixels.assign(f.indices.begin(), f.indices.end());
  w->codes = encoderCodes(w->pixels);
  std::size_t bits = 0;
  for (std::uint32_t c : w->codes) bits += c & 0xFF;
  w->codeBytes = (bits + 7) / 8;
  w->series = std::move(series);
  g_workloads.push_back(std::move(w));
}

void addDrawn(FrameKind kind, std::int32_t width, std::int32_t height) {
  std::vector<Frame> series;
  for (int k = 0; k < kSeriesFrames; ++k) series.push_back(makeFrame(kind, width, height, k));
  Frame first = series.front();
  addWorkload(std::move(first), std::move(series));
}

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
std::int64_t readAllCodes(CodeReader& codes, const GIFImage& image, SubBlockReader& blocks,
                          int minCodeSize) {
  const std::int32_t clear = 1 << minCodeSize;
  std::int32_t width = minCodeSize + 1;
  std::int32_t next = clear + 2;
  bool first = true;
  std::int32_t status = 0;
  std::int64_t n = 0;
  codes.reset();
  for (;;) {
    const std::int32_t code = codes.read(image, blocks, width, status);
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
  const Encoding& e = w->primary();
  GIFImage image;
  image.reset();
  CodeReader codes;
  SubBlockReader blocks;
  blocks.console = &nowhere();
  std::int64_t n = 0;
  for (auto _ : state) {
    MemorySource source(e.imageData());
    blocks.source = &source;
    blocks.zeroDataBlock = false;
    n = readAllCodes(codes, image, blocks, e.data.minCodeSize);
    benchmark::DoNotOptimize(n);
  }
  setRates(state, w->frame.pixels(), e.dataBytes());
  state.counters["codes/s"] =
      benchmark::Counter(static_cast<double>(n) * state.iterations(), benchmark::Counter::kIsRate);
}

// The decoder one value per call (lzw_decode's path), then the end code.
// The reader's input is the image data sub-blocks alone.
std::size_t decodePerCall(GifReader& reader, const GIFImage& image, ByteSource& data,
                          int minCodeSize, std::int32_t* out, std::size_t count) {
  std::int32_t status = 0;
  reader.blocks.source = &data;
  reader.blocks.zeroDataBlock = false;
  reader.decoder.init(reader.codes, minCodeSize);
  std::size_t n = 0;
  for (; n < count; ++n) {
    const std::int32_t v = reader.decoder.next(image, reader.codes, reader.blocks, status);
    if (v < 0) return n;
    out[n] = v;
  }
  benchmark::DoNotOptimize(reader.decoder.next(image, reader.codes, reader.blocks, status));
  return n;
}

// The bulk path the raster reader takes, then the end code.
std::size_t decodeBulk(GifReader& reader, const GIFImage& image, ByteSource& data, int minCodeSize,
                       std::int32_t* out, std::size_t count) {
  std::int32_t status = 0;
  std::int32_t stop = 0;
  reader.blocks.source = &data;
  reader.blocks.zeroDataBlock = false;
  reader.decoder.init(reader.codes, minCodeSize);
  const std::int32_t n = reader.decoder.decodeRun(image, reader.codes, reader.blocks, out,
                                                  static_cast<std::int32_t>(count), stop, status);
  benchmark::DoNotOptimize(reader.decoder.next(image, reader.codes, reader.blocks, status));
  return static_cast<std::size_t>(n);
}

template <auto Decode>
void BM_LzwDecode(benchmark::State& state, const Workload* w) {
  const Encoding& e = w->primary();
  auto reader = std::make_unique<GifReader>(nowhere());
  GIFImage image;
  image.reset();
  std::vector<std::int32_t> out(w->frame.pixels());
  for (auto _ : state) {
    MemorySource source(e.imageData());
    benchmark::DoNotOptimize(
        Decode(*reader, image, source, e.data.minCodeSize, out.data(), out.size()));
    benchmark::ClobberMemory();
  }
  setRates(state, w->frame.pixels(), e.dataBytes());
}

// The whole file into the record's pixel array (destination nullptr), as
// the record operations read it.
void BM_ReadGIFImage(benchmark::State& state, const Workload* w, const Encoding* e) {
  auto reader = std::make_unique<GifReader>(nowhere());
  GIFImage image;
  for (auto _ : state) {
    MemorySource source(e->file());
    std::int32_t status = 0;
    if (!ReadGIFImage(image, *reader, source, "bench.gif", 1, status, 0).ok()) {
      state.SkipWithError("ReadGIFImage stopped");
      break;
    }
    benchmark::DoNotOptimize(image.pixels.frame(1));
    image.reset();
  }
  setRates(state, w->frame.pixels(), e->bytes->size());
}

// The whole file into an 8-bit frame, as the tool reads every file of a
// series: the frame's storage is kept from one file to the next.
void BM_ReadGIFImageFrame8(benchmark::State& state, const Workload* w, const Encoding* e) {
  auto reader = std::make_unique<GifReader>(nowhere());
  GIFImage image;
  Frame8 frame;
  for (auto _ : state) {
    MemorySource source(e->file());
    std::int32_t status = 0;
    frame.clear();
    if (!ReadGIFImage(image, *reader, source, "bench.gif", 1, status, 0, &frame).ok()) {
      state.SkipWithError("ReadGIFImage stopped");
      break;
    }
    benchmark::DoNotOptimize(frame.data());
    image.reset();
  }
  setRates(state, w->frame.pixels(), e->bytes->size());
}

void BM_GiflibDecodeMemory(benchmark::State& state, const Workload* w, const Encoding* e) {
  for (auto _ : state) benchmark::DoNotOptimize(giflibDecodeMemory(*e->bytes));
  setRates(state, w->frame.pixels(), e->bytes->size());
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

// The series as one record of frames with the first frame's colours.
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

// writeGIFImage of the series as one record: the record operations' writer.
std::vector<std::uint8_t> writeRecord(GIFImage& image, int threads) {
  WriteOptions options;
  options.loopCount = 0;
  options.encodeThreads = threads;
  MemorySink sink;
  if (!writeGIFImage(image, sink, "written.gif", nowhere(), options)) {
    throw std::runtime_error("writeGIFImage failed");
  }
  return sink.bytes();
}

void BM_Writer(benchmark::State& state, const Workload* w) {
  GIFImage image = seriesRecord(*w);
  WriteOptions options;
  options.loopCount = 0;
  options.encodeThreads = static_cast<int>(state.range(0));
  MemorySink sink;
  for (auto _ : state) {
    if (!writeGIFImage(image, sink, "written.gif", nowhere(), options)) {
      state.SkipWithError("writeGIFImage failed");
      break;
    }
  }
  setRates(state, seriesPixels(*w), sink.bytes().size());
}

// giflib writing the same animation (looping block, graphic control
// extension per frame) to memory.
void BM_GiflibWriter(benchmark::State& state, const Workload* w) {
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    out.clear();
    giflibWriteAnimation(w->series, out);
    benchmark::DoNotOptimize(out.data());
  }
  setRates(state, seriesPixels(*w), out.size());
}

// ---- streaming run and whole run ------------------------------------------------

// The run's writer: the series' frames handed to a FrameStream one by one
// as the driver hands over the frames it reads (through the ring's
// buffers), compressed on the caller's thread (1) or also on a helper (2),
// and written to memory. The frames are copied into the ring's buffers
// where the reader would decode them: that copy is timed too.
std::vector<std::uint8_t> streamSeries(const Workload& w, const GIFImage& animation, int threads,
                                       MemorySink& sink, bool optimize = false) {
  StreamOptions options;
  options.optimize = optimize;
  options.delay = 30;
  options.loopCount = 0;
  options.threads = threads;
  FrameStream stream(sink, "streamed.gif", nowhere(), options);
  stream.open();
  stream.setAnimation(animation);
  for (const Frame& f : w.series) {
    Frame8& frame = stream.freeFrame();
    frame.present = true;
    frame.width = f.width;
    frame.height = f.height;
    if (!frame.reserve(f.pixels())) throw std::bad_alloc();
    std::memcpy(frame.data(), f.indices.data(), f.pixels());
    frame.written = f.pixels();
    if (stream.frames() == 1) stream.fitFirstFrame(f.width, f.height);
    stream.addFrame(frame, nullptr);
  }
  if (!stream.finish().ok()) {
    throw std::runtime_error("FrameStream did not write the animation");
  }
  return sink.bytes();
}

void BM_FrameStream(benchmark::State& state, const Workload* w) {
  const GIFImage animation = seriesRecord(*w);
  const int threads = static_cast<int>(state.range(0));
  const bool optimize = state.range(1) != 0;
  MemorySink sink;
  std::size_t written = 0;
  for (auto _ : state) {
    try {
      written = streamSeries(*w, animation, threads, sink, optimize).size();
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
  }
  setRates(state, seriesPixels(*w), written);
}

// The series' files in memory, rows in order or interlaced, as a run reads
// them: series_1.gif ...
MemoryJoinIo seriesIo(const Workload& w, RowOrder order) {
  MemoryJoinIo io;
  for (std::size_t i = 0; i < w.series.size(); ++i) {
    const Frame& f = w.series[i];
    io.add("series_" + std::to_string(i + 1) + ".gif",
           order == RowOrder::Interlaced ? f.interlacedGifBytes : f.gifBytes);
  }
  return io;
}

JoinRequest seriesRequest(const Workload& w) {
  JoinRequest request;
  request.baseName = makeField("series");
  request.lowerIndex = 1;
  request.higherIndex = static_cast<std::int32_t>(w.series.size());
  request.outputName = "joined.gif";
  request.delay = 30;
  request.loopCount = 0;
  request.verbose = true;
  return request;
}

// The tool's whole run (read, stream, write) over the series in memory.
void BM_Join(benchmark::State& state, const Workload* w, RowOrder order) {
  MemoryJoinIo io = seriesIo(*w, order);
  const JoinRequest request = seriesRequest(*w);
  for (auto _ : state) {
    if (runJoin(request, io) != kExitWritten) {
      state.SkipWithError("runJoin failed");
      break;
    }
  }
  setRates(state, seriesPixels(*w), io.written().bytes().size());
}

// ---- set-up ---------------------------------------------------------------------

// The frames of an animation as giflib decodes them must be the series.
void expectSeries(const Workload& w, const std::vector<std::uint8_t>& gif,
                  const std::string& what) {
  const auto images = giflibDecodeAll(gif);
  bool same = images.size() == w.series.size();
  for (std::size_t k = 0; same && k < images.size(); ++k) {
    same = images[k] == w.series[k].indices;
  }
  if (!same) throw std::runtime_error(w.frame.name + ": " + what + " does not hold the series");
}

// Before anything is timed: every path of ours must give the frame's pixels
// back, in every encoding, and what we write must decode (by giflib) to the
// frames.
void verify(const Workload& w) {
  const auto fail = [&](const std::string& what) {
    throw std::runtime_error(w.frame.name + ": " + what);
  };
  auto reader = std::make_unique<GifReader>(nowhere());
  GIFImage image;
  image.reset();
  std::vector<std::int32_t> out(w.frame.pixels());
  {
    const Encoding& e = w.primary();
    MemorySource data(e.imageData());
    if (decodePerCall(*reader, image, data, e.data.minCodeSize, out.data(), out.size()) !=
            out.size() ||
        out != e.dataOrder) {
      fail("per-call decoder differs from the frame" + e.suffix);
    }
    std::fill(out.begin(), out.end(), -1);
    MemorySource again(e.imageData());
    if (decodeBulk(*reader, image, again, e.data.minCodeSize, out.data(), out.size()) !=
            out.size() ||
        out != e.dataOrder) {
      fail("bulk decoder differs from the frame" + e.suffix);
    }
  }
  for (const Encoding& e : w.encodings) {
    if (e.suffix == "_interlaced" && !e.data.interlaced) fail("giflib did not write interlaced");
    const auto decoded = giflibDecodeAll(*e.bytes);
    if (decoded.empty() || decoded.front() != w.frame.indices) {
      fail("giflib's decoding differs from the frame" + e.suffix);
    }
    std::int32_t status = 0;
    image.reset();
    {
      MemorySource source(e.file());
      if (!ReadGIFImage(image, *reader, source, "verify.gif", 1, status, 0).ok() || status != 0 ||
          !image.pixels.present() ||
          !std::equal(w.pixels.begin(), w.pixels.end(), image.pixels.frame(1))) {
        fail("ReadGIFImage into the record differs from the frame" + e.suffix);
      }
    }
    image.reset();
    Frame8 frame;
    {
      MemorySource source(e.file());
      if (!ReadGIFImage(image, *reader, source, "verify.gif", 1, status, 0, &frame).ok() ||
          status != 0 || !frame.present || frame.width != w.frame.width ||
          frame.height != w.frame.height || frame.written != w.frame.pixels() ||
          !std::equal(w.frame.indices.begin(), w.frame.indices.end(), frame.data())) {
        fail("ReadGIFImage into a Frame8 differs from the frame" + e.suffix);
      }
    }
  }

  // Our encoder's stream decodes back to the frame.
  LZWEncoder encoder;
  std::vector<std::uint8_t> encoded;
  std::int32_t codeSize = 8;
  encoder.encode(w.pixels.data(), w.pixels.size(), codeSize, encoded);
  const Encoding& sequential = w.encodings.front();
  std::vector<std::uint8_t> gif(
      sequential.bytes->begin(),
      sequential.bytes->begin() + static_cast<std::ptrdiff_t>(sequential.data.begin) - 1);
  gif.insert(gif.end(), encoded.begin(), encoded.end());
  gif.push_back(0x00);
  gif.push_back(0x3B);
  image.reset();
  std::int32_t status = 0;
  {
    MemorySource source(gif);
    if (!ReadGIFImage(image, *reader, source, "ours.gif", 1, status, 0).ok() || status != 0 ||
        !std::equal(w.pixels.begin(), w.pixels.end(), image.pixels.frame(1))) {
      fail("our encoder's data does not decode to the frame");
    }
  }
  const auto back = giflibDecodeAll(gif);
  if (back.empty() || back.front() != w.frame.indices) fail("giflib cannot decode our data");
  // The code buffer gives the encoder's bytes from the encoder's codes.
  std::vector<std::uint8_t> packed{static_cast<std::uint8_t>(codeSize)};
  CodeBuffer buffer;
  buffer.init_buffer(packed);
  for (std::uint32_t c : w.codes) buffer.put_code(c >> 8, static_cast<std::int32_t>(c & 0xFF));
  buffer.write_data_block();
  buffer.free_buffer();
  if (packed != encoded) fail("the codes of the list-form table differ from the encoder's");

  if (w.series.empty()) return;
  // The writers' animations hold the series; the record's writer and the
  // stream write the same file whatever the threads, and so does the
  // whole run, from files with their rows in order or interlaced.
  GIFImage record = seriesRecord(w);
  const std::vector<std::uint8_t> written = writeRecord(record, 1);
  expectSeries(w, written, "writeGIFImage's file");
  if (writeRecord(record, 2) != written) fail("writeGIFImage with 2 threads writes another file");
  std::vector<std::uint8_t> peer;
  giflibWriteAnimation(w.series, peer);
  expectSeries(w, peer, "giflib's animation");
  for (int threads : {1, 2}) {
    MemorySink sink;
    if (streamSeries(w, record, threads, sink) != written) {
      fail("FrameStream with " + std::to_string(threads) + " threads writes another file");
    }
  }
  for (RowOrder order : {RowOrder::Sequential, RowOrder::Interlaced}) {
    MemoryJoinIo io = seriesIo(w, order);
    if (runJoin(seriesRequest(w), io) != kExitWritten) fail("runJoin did not write");
    expectSeries(w, io.written().bytes(), "runJoin's file");
  }
}

void registerAll() {
  for (const auto& owned : g_workloads) {
    const Workload* w = owned.get();
    const std::string n = w->frame.name;
    auto add = [](const std::string& name, auto&&... args) {
      return benchmark::RegisterBenchmark(name.c_str(), args...);
    };
    add("read/code_reader/" + n, BM_CodeReader, w);
    add("read/lzw_per_call/" + n, BM_LzwDecode<decodePerCall>, w);
    add("read/lzw_bulk/" + n, BM_LzwDecode<decodeBulk>, w);
    for (const Encoding& e : w->encodings) {
      add("read/ReadGIFImage" + e.suffix + "/" + n, BM_ReadGIFImage, w, &e);
      add("read/ReadGIFImage_frame8" + e.suffix + "/" + n, BM_ReadGIFImageFrame8, w, &e);
      add("read/giflib_memory" + e.suffix + "/" + n, BM_GiflibDecodeMemory, w, &e);
    }
    add("write/code_buffer/" + n, BM_CodeBuffer, w);
    add("write/lzw_encoder/" + n, BM_LzwEncoder, w);
    add("write/lzw_encode_fn/" + n, BM_LzwEncodeFunction, w);
    add("write/giflib_memory/" + n, BM_GiflibEncode, w);
    if (!w->series.empty()) {
      add("file/writeGIFImage/" + n, BM_Writer, w)
          ->ArgName("threads")
          ->Arg(1)
          ->Arg(2)
          ->UseRealTime();
      add("file/giflib_writer/" + n, BM_GiflibWriter, w)->UseRealTime();
      // optimize 1: the -O writer (what changed, transparency, tables).
      add("file/frame_stream/" + n, BM_FrameStream, w)
          ->ArgNames({"threads", "optimize"})
          ->ArgsProduct({{1, 2}, {0, 1}})
          ->UseRealTime();
      add("file/join/" + n, BM_Join, w, RowOrder::Interlaced)->UseRealTime();
      add("file/join_sequential/" + n, BM_Join, w, RowOrder::Sequential)->UseRealTime();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
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
  return result;
}
