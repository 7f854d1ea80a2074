// Lists of input files: natural order and the wildcards expanded on Windows.
#include "app/file_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gifjoin {
namespace {

TEST(FileList, NaturalOrderComparesNumbersByValue) {
  std::vector<std::string> names = {"f_10.gif", "f_2.gif",     "frame-10.gif", "f_1.gif",
                                    "F_3.gif",  "frame-9.gif", "f_002.gif",    "f_100.gif",
                                    "f_.gif",   "f_1a.gif",    "f_1.5.gif"};
  sortNaturally(names);
  const std::vector<std::string> want = {"f_.gif",    "f_1.5.gif",   "f_1.gif",     "f_1a.gif",
                                         "f_002.gif", "f_2.gif",     "F_3.gif",     "f_10.gif",
                                         "f_100.gif", "frame-9.gif", "frame-10.gif"};
  EXPECT_EQ(names, want);
  // Digits beyond any integer type still compare by value.
  EXPECT_TRUE(naturalLess("x99999999999999999999999", "x100000000000000000000000"));
  EXPECT_FALSE(naturalLess("a", "a"));
}

TEST(FileList, WildcardsMatchAsAShellDoes) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.gif", "frame_1.gif", true},
      {"*.gif", "frame_1.gifx", false},
      {"f_?.gif", "f_1.gif", true},
      {"f_?.gif", "f_10.gif", false},
      {"f_?.gif", "f_ж.gif", true},
      {"*_*_*.gif", "a_b_c.gif", true},
      {"*a*b", "xaxxb", true},
      {"*a*b", "xaxxbc", false},
      {"*.GIF", "walk.gif", true},
      {"**", "", true},
      {"?", "", false},
      {"写真_*.gif", "写真_12.gif", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wildcardMatch(c.pattern, c.name, true), c.match) << c.pattern << " " << c.name;
  }
  EXPECT_FALSE(wildcardMatch("*.GIF", "walk.gif", false));
}

}  // namespace
}  // namespace gifjoin
