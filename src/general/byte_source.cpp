// Files through units, and bytes in memory, as the GIF layers' sources and
// sinks.
#include "general/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "general/free_unit.h"
#include "general/units.h"

namespace gifjoin {

namespace {

// True when the name exists and is not a regular file (after following
// symbolic links). A name that does not exist is left to the open.
bool isOtherThanRegularFile(std::string_view name) {
  std::error_code ec;
  const std::filesystem::file_status found = std::filesystem::status(pathOf(name), ec);
  if (ec || !std::filesystem::exists(found)) return false;
  return !std::filesystem::is_regular_file(found);
}

}  // namespace

int UnitSource::take() {
  unit_ = getFreeUnit();
  return unit_;
}

std::int32_t UnitSource::open(std::string_view name) {
  // Only regular files are opened: a FIFO without a writer would block the
  // open for ever, and a device such as /dev/zero would feed the reader
  // without end. A directory fails like a missing file.
  if (isOtherThanRegularFile(name)) return EINVAL;
  return units().openForReading(unit_, name);
}

std::int32_t UnitSource::read(std::uint8_t* out, std::size_t n) {
  return units().read(unit_, out, n);
}

void UnitSource::release() {
  if (unit_ > 0) units().release(unit_);
  unit_ = 0;
}

int UnitSink::take(bool quiet) {
  if (!quiet) {
    unit_ = getFreeUnit();
    return unit_;
  }
  unit_ = -1;
  for (int unit = UnitRegistry::kHighestUnit; unit > UnitRegistry::kLowestSearched; --unit) {
    if (!units().isConnected(unit)) {
      unit_ = unit;
      break;
    }
  }
  return unit_;
}

std::int32_t UnitSink::open(std::string_view name) {
  const std::int32_t status = units().openForWriting(unit_, name);
  if (status != 0) {
    lastError_ = units().lastError();
    units().release(unit_);
    unit_ = 0;
  }
  return status;
}

std::int32_t UnitSink::write(const std::uint8_t* data, std::size_t n) {
  const std::int32_t status = units().write(unit_, data, n);
  if (status != 0) lastError_ = units().lastError();
  return status;
}

std::int32_t UnitSink::commit() {
  const std::int32_t status = units().close(unit_);
  if (status != 0) {
    lastError_ = units().lastError();
    units().release(unit_);
  }
  unit_ = 0;
  return status;
}

void UnitSink::abandon() {
  if (unit_ > 0) units().release(unit_);
  unit_ = 0;
}

std::int32_t MemorySource::read(std::uint8_t* out, std::size_t n) {
  const std::size_t take = std::min(n, bytes_.size() - position_);
  if (take > 0) std::memcpy(out, bytes_.data() + position_, take);
  position_ += take;
  return take == n ? 0 : -1;
}

}  // namespace gifjoin
