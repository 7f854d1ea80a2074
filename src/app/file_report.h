// What became of each file of a series, for scripts: one line per file with
// a problem on standard error (quiet runs), and the count that makes a
// strict run fail. Nothing here prints; the driver writes what it returns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gifjoin {

// What the driver saw of one file of the series.
struct FileOutcome {
  bool found = false;       // a regular file of that name existed when it was read
  std::int32_t status = 0;  // the reader's status (0: read to its end or to the wanted image)
  bool hasImage = false;    // an image came out of it (pixels, possibly cut short)
  bool refused = false;     // its image was left out for its size
  std::int32_t width = 0;   // its image's size (hasImage)
  std::int32_t height = 0;
  std::int32_t screenWidth = 0;  // the animation's screen when it was refused
  std::int32_t screenHeight = 0;
};

// True when the file was not joined whole: missing, unreadable in part or
// whole, or refused.
bool isProblem(const FileOutcome& outcome);

// "gifjoin: NAME: WHAT" for a file with a problem (no line end); `name` is
// the file name without trailing blanks.
std::string problemLine(std::string_view name, const FileOutcome& outcome);

// The closing line of a strict run that left `notJoined` files out (no
// line end).
std::string strictFailureLine(std::int64_t notJoined);

// What makes FORMAT unusable as a pattern of input names, as the end of a
// sentence ("has no conversion for the index ..."); empty when it is
// usable. A usable FORMAT has exactly one conversion %d, %Nd (blanks in
// front up to N characters) or %0Nd (zeros after the sign up to N
// characters); %% stands for a percent sign; any other % form is unusable.
std::string patternProblem(std::string_view format);

// The input file name for `index`: FORMAT with its one integer conversion
// replaced as printf would (see the command line's -p), cut to 255
// characters as a field. An unusable FORMAT is taken as it stands.
std::string patternName(std::string_view format, std::int64_t index);

// FORMAT with its conversion replaced by "Animated": the default output
// name of a patterned series, as a field.
std::string patternAnimatedName(std::string_view format);

}  // namespace gifjoin
