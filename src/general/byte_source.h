// Where the GIF layers' bytes come from and go to. The tool reads and
// writes files through units (a unit taken, the file opened on it, given
// back on every return); tests, fuzz targets and benchmarks hand buffers in
// memory instead. The GIF layers see only these interfaces.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gifjoin {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Take a unit for the input: a positive number, or 0 or less when none is
  // free (the unit registry has said so on the console).
  virtual int take() = 0;
  // Open the named input. 0, or a positive status (a name that is no
  // regular file fails like a missing one).
  virtual std::int32_t open(std::string_view name) = 0;
  // Read exactly n bytes: 0; -1 at the end of the input (the bytes that
  // were there are in `out`); a positive status on other errors.
  virtual std::int32_t read(std::uint8_t* out, std::size_t n) = 0;
  // The input is done with: its unit goes back. Harmless when repeated.
  virtual void release() = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // As ByteSource::take; when `quiet`, without a word on the console when
  // none is free.
  virtual int take(bool quiet) = 0;
  // Create the named output; nothing is visible under that name before
  // commit(). 0 or a positive status.
  virtual std::int32_t open(std::string_view name) = 0;
  // 0 or a positive status.
  virtual std::int32_t write(const std::uint8_t* data, std::size_t n) = 0;
  // Make the output complete and visible. 0 or a positive status; after a
  // failure nothing is left behind.
  virtual std::int32_t commit() = 0;
  // Drop the output: an existing file of that name stays as it was.
  virtual void abandon() = 0;
  // The system's reason for the last failure.
  virtual std::string lastError() const = 0;
};

// A file through a unit of the registry.
class UnitSource final : public ByteSource {
 public:
  UnitSource() = default;
  ~UnitSource() override { release(); }
  UnitSource(const UnitSource&) = delete;
  UnitSource& operator=(const UnitSource&) = delete;
  int take() override;
  std::int32_t open(std::string_view name) override;
  std::int32_t read(std::uint8_t* out, std::size_t n) override;
  void release() override;

 private:
  int unit_ = 0;
};

class UnitSink final : public ByteSink {
 public:
  UnitSink() = default;
  ~UnitSink() override { abandon(); }
  UnitSink(const UnitSink&) = delete;
  UnitSink& operator=(const UnitSink&) = delete;
  int take(bool quiet) override;
  std::int32_t open(std::string_view name) override;
  std::int32_t write(const std::uint8_t* data, std::size_t n) override;
  std::int32_t commit() override;
  void abandon() override;
  std::string lastError() const override { return lastError_; }

 private:
  int unit_ = 0;
  std::string lastError_;
};

// Bytes in memory, read from the start; `missing` makes the open fail as
// for a file that is not there.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes, bool missing = false)
      : bytes_(bytes), missing_(missing) {}
  int take() override { return 1; }
  std::int32_t open(std::string_view) override {
    position_ = 0;
    return missing_ ? ENOENT : 0;
  }
  std::int32_t read(std::uint8_t* out, std::size_t n) override;
  void release() override {}

 private:
  std::span<const std::uint8_t> bytes_;
  bool missing_ = false;
  std::size_t position_ = 0;
};

// Bytes collected in memory; `bytes()` holds the output once committed.
class MemorySink final : public ByteSink {
 public:
  int take(bool) override { return 1; }
  std::int32_t open(std::string_view) override {
    pending_.clear();
    return 0;
  }
  std::int32_t write(const std::uint8_t* data, std::size_t n) override {
    pending_.insert(pending_.end(), data, data + n);
    return 0;
  }
  std::int32_t commit() override {
    bytes_.swap(pending_);
    pending_.clear();
    return 0;
  }
  void abandon() override { pending_.clear(); }
  std::string lastError() const override { return {}; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> pending_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace gifjoin
