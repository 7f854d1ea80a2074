// Input names from a pattern as printf would make them, and the lines that
// name a file not joined whole.
#include "app/file_report.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "general/text_field.h"

namespace gifjoin {
namespace {

TEST(PatternName, TheIndexGoesInAsPrintfPutsIt) {
  const struct {
    std::string_view format;
    std::int64_t index;
    std::string name;
  } cases[] = {
      {"frame_%d.gif", 7, "frame_7.gif"},
      {"frame_%d.gif", -7, "frame_-7.gif"},
      {"frame_%03d.gif", 7, "frame_007.gif"},
      {"frame_%03d.gif", 1234, "frame_1234.gif"},
      {"frame_%03d.gif", -1, "frame_-01.gif"},
      {"frame%3d.gif", -1, "frame -1.gif"},
      {"f%0d", 5, "f5"},
      {"%%%02d%%", 3, "%03%"},
      {"%d", -2147483648, "-2147483648"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(trimRight(patternName(c.format, c.index)), c.name) << c.format << " " << c.index;
  }
  EXPECT_EQ(trimRight(patternAnimatedName("%%%d.gif")), "%Animated.gif");
  // Cut as a field; a width beyond the field only pads it.
  const std::string prefix(250, 'a');
  EXPECT_EQ(patternName(prefix + "_%05d.gif", 1), makeField(prefix + "_00001.gif"));
  EXPECT_EQ(patternName("%0999999999999999999999d", -12), makeField("-" + std::string(254, '0')));
}

TEST(ProblemLine, SaysWhatBecameOfTheFile) {
  FileOutcome missing;
  FileOutcome unreadable{.found = true, .status = -1};
  FileOutcome denied{.found = true, .status = EACCES};
  FileOutcome cut{.found = true, .status = -1, .hasImage = true, .width = 8, .height = 6};
  FileOutcome refused{.found = true,
                      .hasImage = true,
                      .refused = true,
                      .width = 640,
                      .height = 480,
                      .screenWidth = 800,
                      .screenHeight = 600};
  FileOutcome noFirst = refused;
  noFirst.screenWidth = noFirst.screenHeight = 0;
  FileOutcome whole{.found = true, .hasImage = true, .width = 8, .height = 6};
  const struct {
    FileOutcome outcome;
    std::string line;
  } cases[] = {
      {missing, "gifjoin: f.gif: missing"},
      {unreadable, "gifjoin: f.gif: nothing readable; left out"},
      {denied, "gifjoin: f.gif: nothing readable (Permission denied); left out"},
      {cut, "gifjoin: f.gif: cut short; frame kept as read"},
      {refused, "gifjoin: f.gif: left out: 640x480, the animation is 800x600 (--any-size keeps it)"},
      {noFirst, "gifjoin: f.gif: left out: 640x480, the first file gave no animation to add it to"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(isProblem(c.outcome)) << c.line;
    EXPECT_EQ(problemLine("f.gif", c.outcome), c.line);
  }
  EXPECT_FALSE(isProblem(whole));
  EXPECT_EQ(strictFailureLine(1), "gifjoin: 1 file not joined whole; no output written (--strict)");
  EXPECT_EQ(strictFailureLine(3),
            "gifjoin: 3 files not joined whole; no output written (--strict)");
}

}  // namespace
}  // namespace gifjoin
