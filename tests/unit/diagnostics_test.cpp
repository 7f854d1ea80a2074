// Layouts of the warning, error and input/output-failure reports.
#include "general/diagnostics.h"

#include <gtest/gtest.h>

#include <iostream>
#include <regex>

#include "app/stop.h"
#include "general/console.h"
#include "general/text_field.h"
#include "support/console_capture.h"

namespace gifjoin {
namespace {

using testing::ConsoleCapture;
using testing::padded;

const std::string kHint = padded("--> PLEASE CHECK IF THE FILE EXISTS!");

TEST(WriteWarning, HeadingDependsOnRoutineNameAndMessageIsWrittenAsPassed) {
  ConsoleCapture out;
  writeWarning(makeField("Could not open GIF since no unit is available"),
               "  RasterImageModule::openGIF ");
  EXPECT_EQ(out.text(), "WARNING in subroutine RasterImageModule::openGIF.\n" +
                            padded("Could not open GIF since no unit is available") +
                            "\n  ---=== TRYING TO CONTINUE PROGRAM ===--- \n");
  out.clear();
  writeWarning("plain");
  EXPECT_EQ(out.text(),
            "Serious WARNING in program:\nplain\n  ---=== TRYING TO CONTINUE PROGRAM ===--- \n");
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
// The whole of `text`, as a pattern for what a stopped process wrote.
std::string exactly(const std::string& text) {
  std::string pattern("^");
  pattern += std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
  pattern += '$';
  return pattern;
}

TEST(WriteErrorAndStop, WritesTrimmedThenUntrimmedMessageAndStopsWithStatusOne) {
  // The report goes to standard error here, where the stopped process's
  // output is looked at.
  EXPECT_EXIT(
      {
        setConsole(&std::cerr);
        writeErrorAndStop(makeField("ERROR while allocating image. Terminating program."),
                          "RasterImageModule::read_image");
      },
      ::testing::ExitedWithCode(1),
      exactly("ERROR in subroutine RasterImageModule::read_image.\n"
              " ERROR while allocating image. Terminating program.\n" +
              padded("ERROR while allocating image. Terminating program.") +
              "\n  ---=== TERMINATING PROGRAM ===--- \n"));
  EXPECT_EXIT(
      {
        setConsole(&std::cerr);
        writeErrorAndStop("boom");
      },
      ::testing::ExitedWithCode(1),
      exactly("Serious ERROR in program:\n boom\nboom\n  ---=== TERMINATING PROGRAM ===--- \n"));
}
#endif

TEST(CheckIOStatus, SuccessWritesNothing) {
  ConsoleCapture out;
  EXPECT_FALSE(checkIOStatus(0, "x.gif", "msg", "A::b", "OPEN"));
  EXPECT_EQ(out.text(), "");
}

TEST(CheckIOStatus, EndOfFileAndErrorsAreReportedAlikeWithOneLinePerPart) {
  ConsoleCapture out;
  EXPECT_TRUE(checkIOStatus(-1, " pics_3.gif  ", "Failed to open file.",
                            "RasterImageModule::openGIF", "OPEN"));
  const std::string full =
      "WARNING in subroutine RasterImageModule::openGIF.\n"
      " ERROR WHILE OPENING pics_3.gif.\nFailed to open file.\n" +
      kHint + "\n";
  EXPECT_EQ(out.text(), full);
  out.clear();
  EXPECT_TRUE(
      checkIOStatus(5, "pics_3.gif", "Failed to open file.", "RasterImageModule::openGIF", "OPEN"));
  EXPECT_EQ(out.text(), full);
  out.clear();
  // Two lines when only the mandatory parts are present.
  EXPECT_TRUE(checkIOStatus(2, "a.gif", std::nullopt, std::nullopt, "READ"));
  EXPECT_EQ(out.text(), " ERROR WHILE READING FROM a.gif.\n" + kHint + "\n");
}

TEST(CheckIOStatus, OperationLookupIsExactCaseSensitiveAndIgnoresLeadingBlanks) {
  struct Case {
    std::optional<std::string_view> operation;
    std::string line;
    std::string hint;
  };
  const std::string kinky = " ERROR WHILE DOING SOME KINCKY STUFF, I DO NOT WANT TO MENTION, TO f.";
  const Case cases[] = {
      {"CLOSE", " ERROR WHILE CLOSING f.", kHint},
      {" OPEN", " ERROR WHILE OPENING f.", kHint},
      {"OPEN  ", " ERROR WHILE OPENING f.", kHint},
      {"READ", " ERROR WHILE READING FROM f.", kHint},
      {"READPARAM", " ERROR WHILE READING PARAMETER f.",
       padded("--> PLEASE CHECK IF THE OPTION IS SPELLED CORRECTLY!")},
      {"REWIND", " ERROR WHILE REWINDING f.", kHint},
      {"REWRITE", " ERROR WHILE REWRITING f.", kHint},
      {"WRITE", " ERROR WHILE WRITING TO f.", kHint},
      {"open", kinky, kHint},
      {std::nullopt, kinky, kHint},
  };
  for (const Case& c : cases) {
    ConsoleCapture out;
    checkIOStatus(1, "f", std::nullopt, std::nullopt, c.operation);
    EXPECT_EQ(out.text(), c.line + "\n" + c.hint + "\n") << c.operation.value_or("(none)");
  }
}

TEST(CheckIOStatus, BlankFileNameKeepsTheBlankAfterThePhrase) {
  ConsoleCapture out;
  checkIOStatus(1, "    ", std::nullopt, std::nullopt, "OPEN");
  EXPECT_EQ(out.text(), " ERROR WHILE OPENING .\n" + kHint + "\n");
}

}  // namespace
}  // namespace gifjoin

namespace gifjoin {
namespace {

TEST(ListDirectedLines, NumbersTakeASeparatingBlankAndRealsNineSignificantDigits) {
  EXPECT_EQ(ListLine().text("Image size:").integer(10).integer(-3).str(),
            " Image size:          10          -3");
  EXPECT_EQ(ListLine().text(" unknown extension ").integer(2).text(" label").str(),
            "  unknown extension            2  label");
  EXPECT_EQ(ListLine().text("r=").real(0.5F).str(), " r= 0.500000000");
  EXPECT_EQ(ListLine().text("r=").real(1.015625F).str(), " r= 1.01562500");
  EXPECT_EQ(ListLine().text("r=").real(0.25F).str(), " r= 0.250000000");
  EXPECT_EQ(ListLine().text("r=").real(4.21875F).str(), " r= 4.21875000");
}

}  // namespace
}  // namespace gifjoin
