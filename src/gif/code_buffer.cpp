// Code output buffer: 64-bit bit accumulator drained four bytes at a time
// into one sub-block's worth of storage; each full sub-block leaves in one
// append. The byte stream is the plain LSB-first packing of the codes, cut
// into sub-blocks of 255 data bytes.
#include "gif/code_buffer.h"

#include <cstring>

namespace gifjoin {

void CodeBuffer::init_buffer(std::vector<std::uint8_t>& out) {
  out_ = &out;
  bitAccumulator_ = 0;
  bitCount_ = 0;
  fill_ = 0;
}

void CodeBuffer::flushWord() {
  const auto word = static_cast<std::uint32_t>(bitAccumulator_);
  std::uint8_t* p = block_.data() + fill_;
  p[0] = static_cast<std::uint8_t>(word);
  p[1] = static_cast<std::uint8_t>(word >> 8);
  p[2] = static_cast<std::uint8_t>(word >> 16);
  p[3] = static_cast<std::uint8_t>(word >> 24);
  fill_ += 4;
  bitAccumulator_ >>= 32;
  bitCount_ -= 32;
  if (fill_ >= kBlockBytes) {
    emitBlock(kBlockBytes);
    // The bytes completed beyond the 255th start the next sub-block.
    fill_ -= kBlockBytes;
    std::memmove(block_.data(), block_.data() + kBlockBytes, fill_);
  }
}

void CodeBuffer::emitBlock(std::size_t n) {
  out_->push_back(static_cast<std::uint8_t>(n));
  out_->insert(out_->end(), block_.begin(), block_.begin() + static_cast<std::ptrdiff_t>(n));
}

void CodeBuffer::write_data_block() {
  // Drain the accumulator byte by byte (at most four bytes, the last one
  // partial); the block has room for them beyond its 255 data bytes.
  while (bitCount_ > 0) {
    block_[fill_++] = static_cast<std::uint8_t>(bitAccumulator_);
    bitAccumulator_ >>= 8;
    bitCount_ = bitCount_ > 8 ? bitCount_ - 8 : 0;
  }
  bitAccumulator_ = 0;
  if (fill_ > kBlockBytes) {
    emitBlock(kBlockBytes);
    fill_ -= kBlockBytes;
    std::memmove(block_.data(), block_.data() + kBlockBytes, fill_);
  }
  if (fill_ > 0) emitBlock(fill_);
  fill_ = 0;
}

void CodeBuffer::free_buffer() {
  out_ = nullptr;
  bitAccumulator_ = 0;
  bitCount_ = 0;
  fill_ = 0;
}

}  // namespace gifjoin
