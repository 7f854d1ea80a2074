// Unit registry: maps unit numbers to open files. Reads go through a
// 64 KiB buffer so that the reader's many small reads stay cheap; written
// files are made under a temporary name and renamed into place on close.
#include "general/units.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#if defined(_WIN32)
// The temporary output file is created through the Windows API; see
// createTemporary() below.
#include <fcntl.h>
#include <io.h>

#include "general/windows_api.h"
#endif

#if __has_include(<unistd.h>)
#include <unistd.h>
#define GIFJOIN_HAVE_UNLINK 1
#endif

namespace gifjoin {

namespace {

// Names of the temporary files being written, kept where a signal handler
// can read them: a run interrupted while it writes removes its temporary
// file before it ends, as it does on every other failure.
constexpr std::size_t kPendingPath = 4096;
struct PendingFile {
  volatile std::sig_atomic_t used = 0;
  char path[kPendingPath] = {};
};
PendingFile g_pending[UnitRegistry::kHighestUnit + 1];

void markPending(int unit, const std::string& path) {
  if (unit < 0 || unit > UnitRegistry::kHighestUnit || path.size() >= kPendingPath) return;
  PendingFile& pending = g_pending[unit];
  pending.used = 0;
  path.copy(pending.path, path.size());
  pending.path[path.size()] = '\0';
  pending.used = 1;
}

void clearPending(int unit) {
  if (unit >= 0 && unit <= UnitRegistry::kHighestUnit) g_pending[unit].used = 0;
}

extern "C" void removePendingAndEnd(int signal) {
#ifdef GIFJOIN_HAVE_UNLINK
  for (const PendingFile& pending : g_pending) {
    if (pending.used != 0) ::unlink(pending.path);
  }
#endif
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Create `path` for writing; fails with EEXIST when it exists already.
std::FILE* createTemporary(const std::string& path, int& error) {
#if defined(_WIN32)
  // fopen's "x" mode is unknown to the msvcrt.dll that MinGW programs use,
  // and a file that fopen opened cannot be deleted while it is open, which
  // an interrupted run must do. CreateFile gives both: CREATE_NEW fails for
  // an existing file, FILE_SHARE_DELETE lets the handler delete it.
  const HANDLE handle =
      ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    switch (::GetLastError()) {
      case ERROR_FILE_EXISTS:
      case ERROR_ALREADY_EXISTS:
        error = EEXIST;
        break;
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_PATHNAME:
        error = ENOENT;
        break;
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
      case ERROR_WRITE_PROTECT:
        error = EACCES;
        break;
      case ERROR_DISK_FULL:
      case ERROR_HANDLE_DISK_FULL:
        error = ENOSPC;
        break;
      default:
        error = EIO;
    }
    return nullptr;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    ::DeleteFileA(path.c_str());
    error = EMFILE;
    return nullptr;
  }
  std::FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) {
    error = errno != 0 ? errno : EMFILE;
    ::_close(fd);
    ::DeleteFileA(path.c_str());
  }
  return file;
#else
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (file == nullptr) error = errno != 0 ? errno : EIO;
  return file;
#endif
}

}  // namespace

std::filesystem::path pathOf(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string nameOf(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

void removeTemporaryFilesOnInterrupt() {
  // On Windows the C runtime turns Ctrl+C into SIGINT and Ctrl+Break into
  // SIGBREAK, handled on a thread of their own; the temporary file is open
  // there with sharing that lets the handler delete it.
  for (int signal : {SIGINT, SIGTERM}) std::signal(signal, removePendingAndEnd);
#ifdef SIGHUP
  std::signal(SIGHUP, removePendingAndEnd);
#endif
#ifdef SIGBREAK
  std::signal(SIGBREAK, removePendingAndEnd);
#endif
#ifdef SIGPIPE
  // A closed standard output then fails the writes instead of ending the
  // run half way; the run reports it and ends with status 1.
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

class UnitFile {
 public:
  UnitFile(std::FILE* handle, bool writing, std::string target, std::string temporary)
      : handle_(handle),
        writing_(writing),
        target_(std::move(target)),
        temporary_(std::move(temporary)) {
    if (!writing_) buffer_.resize(kBufferSize);
  }
  ~UnitFile() { abandon(); }
  UnitFile(const UnitFile&) = delete;
  UnitFile& operator=(const UnitFile&) = delete;

  std::int32_t read(std::uint8_t* out, std::size_t n) {
    if (writing_) return EBADF;
    while (n > 0) {
      if (pos_ == end_) {
        if (eof_) return -1;
        const std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), handle_);
        pos_ = 0;
        end_ = got;
        if (got == 0) {
          if (std::ferror(handle_)) {
            const int error = errno != 0 ? errno : EIO;
            std::clearerr(handle_);
            return error;
          }
          eof_ = true;
          return -1;
        }
      }
      const std::size_t take = std::min(n, end_ - pos_);
      std::memcpy(out, buffer_.data() + pos_, take);
      pos_ += take;
      out += take;
      n -= take;
    }
    return 0;
  }

  std::int32_t write(const std::uint8_t* data, std::size_t n) {
    if (!writing_) return EBADF;
    if (n == 0) return 0;
    errno = 0;
    if (std::fwrite(data, 1, n, handle_) != n) return errno != 0 ? errno : EIO;
    return 0;
  }

  // Close; for a written file rename the temporary file over the target.
  std::int32_t commit(std::string& reason) {
    std::FILE* handle = handle_;
    handle_ = nullptr;
    errno = 0;
    const bool failed = std::ferror(handle) != 0;
    const int closed = std::fclose(handle);
    if (!writing_) return closed == 0 ? 0 : (errno != 0 ? errno : EIO);
    if (failed || closed != 0) {
      const int error = errno != 0 ? errno : EIO;
      reason = std::strerror(error);
      std::remove(temporary_.c_str());
      return error;
    }
    std::error_code ec;
    std::filesystem::rename(pathOf(temporary_), pathOf(target_), ec);
    if (ec) {
      reason = ec.message();
      std::remove(temporary_.c_str());
      return ec.value() != 0 ? ec.value() : EIO;
    }
    return 0;
  }

  void abandon() {
    if (handle_ == nullptr) return;
    std::fclose(handle_);
    handle_ = nullptr;
    if (writing_) std::remove(temporary_.c_str());
  }

 private:
  static constexpr std::size_t kBufferSize = 1 << 16;
  std::FILE* handle_;
  bool writing_;
  std::string target_;
  std::string temporary_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
};

UnitRegistry::UnitRegistry() = default;
UnitRegistry::~UnitRegistry() = default;

UnitFile* UnitRegistry::file(int unit) const {
  if (unit < 0 || unit > kHighestUnit) return nullptr;
  return files_[static_cast<std::size_t>(unit)].get();
}

bool UnitRegistry::isConnected(int unit) const {
  if (unit == kStandardInput || unit == kStandardOutput) return true;
  return file(unit) != nullptr;
}

std::int32_t UnitRegistry::openForReading(int unit, std::string_view name) {
  if (unit < 0 || unit > kHighestUnit || isConnected(unit)) return EBADF;
  const std::string path(name);
  std::error_code ec;
  if (path.empty() || std::filesystem::is_directory(pathOf(path), ec)) return ENOENT;
  errno = 0;
  std::FILE* handle = std::fopen(path.c_str(), "rb");
  if (handle == nullptr) return errno != 0 ? errno : ENOENT;
  std::setvbuf(handle, nullptr, _IONBF, 0);  // UnitFile buffers reads itself
  files_[static_cast<std::size_t>(unit)] = std::make_unique<UnitFile>(handle, false, path, "");
  return 0;
}

std::int32_t UnitRegistry::openForWriting(int unit, std::string_view name) {
  if (unit < 0 || unit > kHighestUnit || isConnected(unit)) return EBADF;
  const std::string target(name);
  std::error_code ec;
  if (target.empty() || std::filesystem::is_directory(pathOf(target), ec)) {
    lastError_ = std::strerror(EISDIR);
    return EISDIR;
  }
  // The temporary file lives in the target's directory so that the final
  // rename stays within one file system. Its name is short and of its own,
  // so that any target name the system accepts also has a temporary name.
  const std::filesystem::path directory = pathOf(target).parent_path();
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 16; ++attempt) {
    char leaf[32];
    std::snprintf(leaf, sizeof leaf, ".gifjoin-%08x.tmp", static_cast<unsigned>(random()));
    const std::string temporary = nameOf(directory / leaf);
    int error = 0;
    std::FILE* handle = createTemporary(temporary, error);
    if (handle == nullptr) {
      if (error == EEXIST) continue;
      lastError_ = std::strerror(error);
      return error;
    }
    std::setvbuf(handle, nullptr, _IOFBF, 1 << 16);
    files_[static_cast<std::size_t>(unit)] =
        std::make_unique<UnitFile>(handle, true, target, temporary);
    markPending(unit, temporary);
    return 0;
  }
  lastError_ = std::strerror(EEXIST);
  return EEXIST;
}

std::int32_t UnitRegistry::read(int unit, std::uint8_t* buffer, std::size_t n) {
  UnitFile* f = file(unit);
  if (f == nullptr) return EBADF;
  return f->read(buffer, n);
}

std::int32_t UnitRegistry::write(int unit, const std::uint8_t* data, std::size_t n) {
  UnitFile* f = file(unit);
  if (f == nullptr) return EBADF;
  const std::int32_t status = f->write(data, n);
  if (status != 0) lastError_ = std::strerror(status);
  return status;
}

std::int32_t UnitRegistry::close(int unit) {
  UnitFile* f = file(unit);
  if (f == nullptr) return EBADF;
  const std::int32_t status = f->commit(lastError_);
  files_[static_cast<std::size_t>(unit)].reset();
  clearPending(unit);
  return status;
}

void UnitRegistry::release(int unit) {
  if (file(unit) != nullptr) files_[static_cast<std::size_t>(unit)].reset();
  clearPending(unit);
}

UnitRegistry& units() {
  static UnitRegistry registry;
  return registry;
}

}  // namespace gifjoin
