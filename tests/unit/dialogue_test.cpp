// Answers of the console dialogue under list-directed rules, and the names
// of the series files.
#include "app/dialogue.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/driver.h"
#include "general/text_field.h"

namespace gifjoin {
namespace {

std::string nameFrom(const std::string& input) {
  std::istringstream in(input);
  AnswerReader reader(in);
  auto name = reader.readName();
  return name ? std::string(trimRight(*name)) : "<end>";
}

TEST(DialogueAnswers, BaseNameIsTheFirstItemOfTheFirstNonBlankLine) {
  EXPECT_EQ(nameFrom("walk\n"), "walk");
  EXPECT_EQ(nameFrom("\n   \n\t walk  rest\n"), "walk");
  EXPECT_EQ(nameFrom("my walk\n"), "my");
  EXPECT_EQ(nameFrom("a,b\n"), "a");
  EXPECT_EQ(nameFrom("a/b\n"), "a");
  EXPECT_EQ(nameFrom("'my walk'\n"), "my walk");
  EXPECT_EQ(nameFrom("\"it\"\"s, here\" x\n"), "it\"s, here");
  EXPECT_EQ(nameFrom("'don''t'\n"), "don't");
  EXPECT_EQ(nameFrom(",walk\n"), "");
  EXPECT_EQ(nameFrom("walk\r\n"), "walk");
  EXPECT_EQ(nameFrom("walk"), "walk");  // last line without newline
  EXPECT_EQ(nameFrom("\n  \n"), "<end>");
  std::istringstream in(std::string(300, 'a') + "\n");
  AnswerReader reader(in);
  const auto name = reader.readName();
  ASSERT_TRUE(name);
  EXPECT_EQ(*name, std::string(255, 'a'));
}

TEST(DialogueAnswers, IndicesAreDecimalIntegersOnFreshLines) {
  std::istringstream in("3 5\n\n -7,\n+2/\n/\n  \t 12\r\n");
  AnswerReader reader(in);
  std::int32_t v = 99;
  std::string item;
  ASSERT_EQ(reader.readIndex(v, item), AnswerReader::IndexResult::Ok);
  EXPECT_EQ(v, 3);  // the 5 on the same line is discarded
  ASSERT_EQ(reader.readIndex(v, item), AnswerReader::IndexResult::Ok);
  EXPECT_EQ(v, -7);
  ASSERT_EQ(reader.readIndex(v, item), AnswerReader::IndexResult::Ok);
  EXPECT_EQ(v, 2);
  ASSERT_EQ(reader.readIndex(v, item), AnswerReader::IndexResult::Ok);
  EXPECT_EQ(v, 0);  // empty first item
  ASSERT_EQ(reader.readIndex(v, item), AnswerReader::IndexResult::Ok);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(reader.readIndex(v, item), AnswerReader::IndexResult::EndOfInput);
}

TEST(DialogueAnswers, NonIntegersAndOutOfRangeValuesAreRefused) {
  for (const char* text : {"abc", "1.5", "-", "+", "12a", "2147483648", "-2147483649",
                           "99999999999999999999", "0x10", "'3'"}) {
    std::istringstream in(std::string(text) + "\n");
    AnswerReader reader(in);
    std::int32_t v = 0;
    std::string item;
    EXPECT_EQ(reader.readIndex(v, item), AnswerReader::IndexResult::NotInteger) << text;
  }
  std::istringstream in("2147483647\n-2147483648\n");
  AnswerReader reader(in);
  std::int32_t v = 0;
  std::string item;
  ASSERT_EQ(reader.readIndex(v, item), AnswerReader::IndexResult::Ok);
  EXPECT_EQ(v, 2147483647);
  ASSERT_EQ(reader.readIndex(v, item), AnswerReader::IndexResult::Ok);
  EXPECT_EQ(v, -2147483647 - 1);
}

TEST(SeriesNames, IndexWithoutLeadingZerosAndTheCutAt255Characters) {
  EXPECT_EQ(trimRight(seriesName(makeField("walk"), 7)), "walk_7.gif");
  EXPECT_EQ(trimRight(seriesName(makeField("walk"), -2)), "walk_-2.gif");
  EXPECT_EQ(trimRight(seriesName(makeField("walk"), 0)), "walk_0.gif");
  EXPECT_EQ(trimRight(animatedName(makeField("walk"))), "walk_Animated.gif");
  const std::string base(250, 'b');
  const std::string name = seriesName(makeField(base), 1);
  EXPECT_EQ(name.size(), 255U);
  EXPECT_EQ(name, base + "_1.gi");
  EXPECT_EQ(seriesName(makeField(std::string(249, 'b')), 1), std::string(249, 'b') + "_1.gif");
}

}  // namespace
}  // namespace gifjoin
