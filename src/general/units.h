// File units: small integers naming open byte-stream files. Units 5 and 6
// stand for standard input and output; 7 to 100 are handed out to files.
// The registry owns the open files; releasing a unit closes its file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace gifjoin {

inline constexpr int kStandardInput = 5;
inline constexpr int kStandardOutput = 6;

class UnitFile;  // an open byte-stream file (defined in units.cpp)

class UnitRegistry {
 public:
  static constexpr int kHighestUnit = 100;
  static constexpr int kLowestSearched = 6;

  UnitRegistry();
  ~UnitRegistry();
  UnitRegistry(const UnitRegistry&) = delete;
  UnitRegistry& operator=(const UnitRegistry&) = delete;

  // True for 5 and 6 and for every unit a file is open on.
  bool isConnected(int unit) const;

  // Open an existing file for reading. Returns 0, or a positive status
  // (the system's error number; a directory counts as not openable).
  std::int32_t openForReading(int unit, std::string_view name);

  // Create or replace a file for writing. The bytes go to a temporary file
  // beside the target; close() renames it over the target only when every
  // byte was written and the file closed without error.
  std::int32_t openForWriting(int unit, std::string_view name);

  // Read exactly n bytes. 0 on success; -1 at end of file (the bytes that
  // were there are left in the buffer); a positive status on other errors.
  std::int32_t read(int unit, std::uint8_t* buffer, std::size_t n);

  // Write n bytes. 0 or a positive status.
  std::int32_t write(int unit, const std::uint8_t* data, std::size_t n);

  // Close the unit's file (for a written file: flush, close, rename over the
  // target). 0 or a positive status; after a failure nothing is left behind.
  std::int32_t close(int unit);

  // Drop the unit's file without committing it (a written file's temporary
  // file is removed).
  void release(int unit);

  // The system's reason for the last failure of open, write or close.
  const std::string& lastError() const { return lastError_; }

 private:
  std::array<std::unique_ptr<UnitFile>, kHighestUnit + 1> files_;
  std::string lastError_;
  UnitFile* file(int unit) const;
};

// The registry of this process.
UnitRegistry& units();

// Make an interrupt (SIGINT, SIGTERM, SIGHUP) remove the temporary files of
// outputs being written before the run ends, and let writes to a closed
// pipe fail rather than end the run (SIGPIPE ignored).
void removeTemporaryFilesOnInterrupt();

// A file name as the program holds it, UTF-8, as a path, and back: every
// character of a Windows name survives (a narrow string would pass through
// a code page there); elsewhere the bytes stay as they are.
std::filesystem::path pathOf(std::string_view name);
std::string nameOf(const std::filesystem::path& path);

}  // namespace gifjoin
