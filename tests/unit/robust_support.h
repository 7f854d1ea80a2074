// Helpers of the robustness tests: a check that every console line the
// reader writes is one of its designed lines, the first failure report in
// a console text, and the layout of a valid file (which part of the file
// every byte belongs to), so that a file cut at any length can be matched
// with the report the reader must give for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "general/text_field.h"
#include "support/gif_bytes.h"

namespace gifjoin::testing {

// `line` against `pattern`, where "%d" stands for an integer with any
// leading blanks, "%f" for a decimal number and "%s" for any rest of the
// line; everything else must be equal.
inline bool matchesPattern(std::string_view line, std::string_view pattern) {
  std::size_t i = 0;
  std::size_t p = 0;
  while (p < pattern.size()) {
    if (pattern[p] == '%' && p + 1 < pattern.size()) {
      const char kind = pattern[p + 1];
      p += 2;
      if (kind == 's') return true;
      if (kind == 'd') {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i < line.size() && line[i] == '-') ++i;
      }
      const std::size_t start = i;
      while (i < line.size() &&
             ((line[i] >= '0' && line[i] <= '9') || (kind == 'f' && line[i] == '.')))
        ++i;
      if (i == start) return false;
      continue;
    }
    if (i >= line.size() || line[i] != pattern[p]) return false;
    ++i;
    ++p;
  }
  return i == line.size();
}

// Every line the reader may write for the file `name`, as patterns. Lines
// that are 255-character message fields are matched without their padding.
class ReaderLines {
 public:
  explicit ReaderLines(const std::string& name) {
    const std::string n = name;
    patterns_ = {
        "Opening " + n,
        "OpenGIF error in global colour map size.-->%d %d",
        " openGIF warning: non-square pixels, ratio= %f",
        "WARNING in subroutine RasterImageModule::openGIF.",
        "WARNING in subroutine RasterImageModule::read_colormap.",
        "WARNING in subroutine RasterImageModule::ReadGIFImage.",
        "WARNING in subroutine RasterImageModule::do_extension.",
        "WARNING in subroutine RasterImageModule::get_data_block.",
        "WARNING in subroutine RasterImageModule::read_image.",
        " ERROR WHILE OPENING " + n + ".",
        " ERROR WHILE READING FROM " + n + ".",
        "Failed to open file.",
        "Error reading 'magic number'.",
        " Invalid GIF format?????? in " + n + " expected GIF87a or GIF89a !",
        "Error reading buffer.",
        "Error reading global colormap.",
        "Problem reading colormap at j=%d",
        "Could not open GIF image.",
        "Error while reading buffer from " + n + ". Exit status = %d",
        "Only%dimage(s) found in file.",
        "Error in local colour map, size=%d",
        " Error reading local color map: Aborting read operation.",
        "Cannot read width/height!",
        "Problem reading extension.",
        "Problem in count for data block.",
        "Problem reading data block.",
        "Problem reading code size byte.",
        "--> PLEASE CHECK IF THE FILE EXISTS!",
        "  ---=== TRYING TO CONTINUE PROGRAM ===--- ",
        " read_gif: extension graphic control extension",
        " read_gif: extension comment extension",
        " read_gif: extension application extension",
        " read_gif: extension plain text extension",
        " read_gif: extension unknown extension",
        "  unknown extension %d  label",
        "  gif comment: %s",
        " ignoring bogus character %d",
        " Image size:%d%d",
        "  reading%d  by%d  GIF image from " + n + "  interlaced",
        "  reading%d  by%d  GIF image from " + n + "            ",
        "skipping an image",
        " read_gif: too much input data, ignoring extra...",
        "  ran off the end of my bits",
        "code =%d, table(0,code) =%d",
        "circular table entry in file",
        n,
        "this is a serious error.",
        "ERROR in subroutine RasterImageModule::read_image.",
        " ERROR while allocating image. Terminating program.",
        "ERROR while allocating image. Terminating program.",
        "  ---=== TERMINATING PROGRAM ===--- ",
    };
  }

  // The first line of `text` that is none of the reader's lines, if any.
  std::optional<std::string> stranger(const std::string& text) const {
    std::size_t at = 0;
    while (at < text.size()) {
      std::size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string_view line(text.data() + at, end - at);
      if (line.size() == 255) line = trimRight(line);
      bool known = false;
      for (const std::string& pattern : patterns_) {
        if (matchesPattern(line, pattern)) {
          known = true;
          break;
        }
      }
      if (!known) return std::string(line);
      at = end + 1;
    }
    return std::nullopt;
  }

 private:
  std::vector<std::string> patterns_;
};

// The first report of a failed read: the routine that wrote it and its
// message (without padding).
struct FailureReport {
  std::string routine;
  std::string message;
  bool operator==(const FailureReport&) const = default;
};

inline std::optional<FailureReport> firstFailure(const std::string& text) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.emplace_back(text.data() + at, end - at);
    at = end + 1;
  }
  const auto routineOf = [](std::string_view heading) {
    constexpr std::string_view kHead = "WARNING in subroutine ";
    if (heading.substr(0, kHead.size()) != kHead || heading.size() <= kHead.size())
      return std::string();
    return std::string(heading.substr(kHead.size(), heading.size() - kHead.size() - 1));
  };
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].substr(0, 13) == " ERROR WHILE " && i + 1 < lines.size()) {
      return FailureReport{routineOf(lines[i - 1]), std::string(trimRight(lines[i + 1]))};
    }
    if (lines[i].substr(0, 32) == "Error while reading buffer from ") {
      return FailureReport{routineOf(lines[i - 1]), std::string(trimRight(lines[i]))};
    }
  }
  return std::nullopt;
}

// Which part of a GIF file a byte belongs to.
enum class Part {
  Signature,
  Screen,
  GlobalTable,
  Introducer,
  Label,
  Count,
  Data,
  Descriptor,
  LocalTable,
  CodeSize,
};

struct Mark {
  std::size_t start;
  Part part;
  int image;  // images met so far, this one included (from 1)
};

// The parts of a valid file, in file order.
inline std::vector<Mark> layoutOf(const Bytes& b) {
  std::vector<Mark> marks{{0, Part::Signature, 0}, {6, Part::Screen, 0}};
  std::size_t p = 13;
  int image = 0;
  if ((b[10] & 0x80) != 0) {
    marks.push_back({p, Part::GlobalTable, 0});
    p += 3 * (std::size_t{2} << (b[10] & 7));
  }
  const auto subBlocks = [&] {
    for (;;) {
      const std::size_t count = b[p];
      marks.push_back({p, Part::Count, image});
      if (count == 0) break;
      marks.push_back({p + 1, Part::Data, image});
      p += 1 + count;
    }
    ++p;
  };
  while (p < b.size()) {
    const std::uint8_t introducer = b[p];
    if (introducer == 0x2C) ++image;
    marks.push_back({p, Part::Introducer, image});
    if (introducer == 0x3B) break;
    if (introducer == 0x21) {
      marks.push_back({p + 1, Part::Label, image});
      p += 2;
      subBlocks();
      continue;
    }
    marks.push_back({p + 1, Part::Descriptor, image});
    const std::uint8_t packed = b[p + 9];
    p += 10;
    if ((packed & 0x80) != 0) {
      marks.push_back({p, Part::LocalTable, image});
      p += 3 * (std::size_t{2} << (packed & 7));
    }
    marks.push_back({p, Part::CodeSize, image});
    ++p;
    subBlocks();
  }
  return marks;
}

// The part that the byte at `offset` belongs to.
inline const Mark& markAt(const std::vector<Mark>& marks, std::size_t offset) {
  std::size_t found = 0;
  for (std::size_t i = 0; i < marks.size() && marks[i].start <= offset; ++i) found = i;
  return marks[found];
}

// Conservative: any byte 0x2C after the screen descriptor taken as an image
// descriptor. True when one of them declares more than `limit` pixels.
inline bool declaresLargeImage(const Bytes& b, std::uint64_t limit = std::uint64_t{1} << 22) {
  for (std::size_t i = 13; i + 9 <= b.size(); ++i) {
    if (b[i] != 0x2C) continue;
    const std::uint64_t w = b[i + 5] | b[i + 6] << 8;
    const std::uint64_t h = b[i + 7] | b[i + 8] << 8;
    if (w * h > limit) return true;
  }
  return false;
}

}  // namespace gifjoin::testing
