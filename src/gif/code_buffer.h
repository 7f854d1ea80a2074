// Code output buffer: packs variable-width LZW codes least significant bit
// first and appends them to the image data as sub-blocks of 255 data bytes,
// the last one shorter. It never writes the zero-length block terminator;
// the GIF writer adds that after the encoder returns.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace gifjoin {

class CodeBuffer {
 public:
  static constexpr std::size_t kBlockBytes = 255;  // data bytes of a full sub-block

  // Start a new run of codes whose sub-blocks are appended to `out`.
  void init_buffer(std::vector<std::uint8_t>& out);

  // Append one code of `width` bits (1 to 12; code < 2^width). A sub-block
  // is appended as soon as 255 data bytes are complete.
  void put_code(std::uint32_t code, std::int32_t width) {
    bitAccumulator_ |= static_cast<std::uint64_t>(code) << bitCount_;
    bitCount_ += width;
    if (bitCount_ >= 32) flushWord();
  }

  // Append the bytes still held (the partial byte padded with zero bits) as
  // the last sub-block; nothing when no bits are pending.
  void write_data_block();

  // Detach from the output. The buffer can be started again with init_buffer.
  void free_buffer();

 private:
  // Move 32 completed bits into the block; append the block when full.
  void flushWord();
  void emitBlock(std::size_t n);

  std::uint64_t bitAccumulator_ = 0;  // pending bits, oldest in bit 0
  std::int32_t bitCount_ = 0;         // valid bits in the accumulator (below 32 between calls)
  std::size_t fill_ = 0;              // complete bytes in block_ (below 255 between calls)
  std::array<std::uint8_t, kBlockBytes + 8> block_{};
  std::vector<std::uint8_t>* out_ = nullptr;
};

}  // namespace gifjoin
