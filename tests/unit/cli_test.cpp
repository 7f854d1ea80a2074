// The command line: valid forms give the join request the dialogue would
// give, and every kind of unusable argument is named in one line.
#include "app/cli.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "general/text_field.h"

namespace gifjoin {
namespace {

CommandLine parse(std::initializer_list<std::string_view> args) {
  const std::vector<std::string_view> list(args);
  return parseCommandLine(list);
}

std::string shown(std::initializer_list<std::string_view> args) {
  std::string text;
  for (const auto arg : args) {
    text += '[';
    text += arg;
    text += ']';
  }
  return text;
}

TEST(CommandLine, ValidFormsGiveTheRequest) {
  const std::string longName(300, 'n');
  const struct {
    std::initializer_list<std::string_view> args;
    std::string base, output;
    std::int32_t lower, higher, delay, loop;
    bool verbose;
  } cases[] = {
      {{"walk", "1", "3"}, "walk", "", 1, 3, 30, 65535, true},
      {{"-d", "7", "-l", "0", "-o", "out.gif", "walk", "1", "3"},
       "walk",
       "out.gif",
       1,
       3,
       7,
       0,
       true},
      {{"--delay=7", "--loop=0", "--output=out.gif", "walk", "1", "3"},
       "walk",
       "out.gif",
       1,
       3,
       7,
       0,
       true},
      {{"--delay", "65535", "--loop", "1", "--output", "-x.gif", "--quiet", "walk", "1", "3"},
       "walk",
       "-x.gif",
       1,
       3,
       65535,
       1,
       false},
      {{"-d0", "-qo", "o.gif", "walk", "1", "3"}, "walk", "o.gif", 1, 3, 0, 65535, false},
      {{"-qd7", "walk", "1", "3"}, "walk", "", 1, 3, 7, 65535, false},
      {{"walk", "1", "3", "-q", "-d", "5"}, "walk", "", 1, 3, 5, 65535, false},  // options last
      {{"-d", "+7", "walk", "+1", "3"}, "walk", "", 1, 3, 7, 65535, true},
      {{"-d", "007", "walk", "007", "010"}, "walk", "", 7, 10, 7, 65535, true},
      // A dash followed by a digit is an index; so is a lone dash a name.
      {{"walk", "-2", "3"}, "walk", "", -2, 3, 30, 65535, true},
      {{"walk", "-3", "-1"}, "walk", "", -3, -1, 30, 65535, true},
      {{"-2", "1", "3"}, "-2", "", 1, 3, 30, 65535, true},
      {{"-", "1", "3"}, "-", "", 1, 3, 30, 65535, true},
      {{"walk", "-2147483648", "2147483647"},
       "walk",
       "",
       -2147483647 - 1,
       2147483647,
       30,
       65535,
       true},
      // After -- every argument is an operand.
      {{"-q", "--", "-walk", "1", "3"}, "-walk", "", 1, 3, 30, 65535, false},
      {{"--", "--help", "-2", "-1"}, "--help", "", -2, -1, 30, 65535, true},
      {{"--", "-q", "-0", "+1"}, "-q", "", 0, 1, 30, 65535, true},
      // Names keep blanks and are cut to 255 characters like the answers.
      {{"my walk", "1", "1"}, "my walk", "", 1, 1, 30, 65535, true},
      {{"", "1", "1"}, "", "", 1, 1, 30, 65535, true},
      {{longName, "1", "1"}, longName.substr(0, 255), "", 1, 1, 30, 65535, true},
  };
  for (const auto& c : cases) {
    const CommandLine command = parse(c.args);
    ASSERT_EQ(command.action, CommandLine::Action::Join) << shown(c.args) << " " << command.error;
    const JoinRequest& r = command.request;
    EXPECT_EQ(r.baseName.size(), kFieldLength) << shown(c.args);
    EXPECT_EQ(trimRight(r.baseName), c.base) << shown(c.args);
    EXPECT_EQ(r.outputName, c.output) << shown(c.args);
    EXPECT_EQ(r.lowerIndex, c.lower) << shown(c.args);
    EXPECT_EQ(r.higherIndex, c.higher) << shown(c.args);
    EXPECT_EQ(r.delay, c.delay) << shown(c.args);
    EXPECT_EQ(r.loopCount, c.loop) << shown(c.args);
    EXPECT_EQ(r.verbose, c.verbose) << shown(c.args);
  }
}

TEST(CommandLine, TheFirstHelpOrVersionWinsOverWhatFollows) {
  const struct {
    std::initializer_list<std::string_view> args;
    CommandLine::Action action;
  } cases[] = {
      {{"-h"}, CommandLine::Action::Help},
      {{"--help"}, CommandLine::Action::Help},
      {{"-V"}, CommandLine::Action::Version},
      {{"--version"}, CommandLine::Action::Version},
      {{"walk", "1", "--help", "--bogus"}, CommandLine::Action::Help},
      {{"-qh"}, CommandLine::Action::Help},
      {{"-V", "-h"}, CommandLine::Action::Version},
      {{"--bogus", "--help"}, CommandLine::Action::Error},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.args).action, c.action) << shown(c.args);
}

struct ErrorCase {
  std::initializer_list<std::string_view> args;
  std::string message;
};

void expectErrors(std::initializer_list<ErrorCase> cases) {
  for (const auto& c : cases) {
    const CommandLine command = parse(c.args);
    EXPECT_EQ(command.action, CommandLine::Action::Error) << shown(c.args);
    EXPECT_EQ(command.error, c.message) << shown(c.args);
  }
}

TEST(CommandLineErrors, UnknownOption) {
  expectErrors({
      {{"-x", "walk", "1", "3"}, "unknown option '-x'"},
      {{"-qx", "walk", "1", "3"}, "unknown option '-x'"},
      {{"--bogus", "walk", "1", "3"}, "unknown option '--bogus'"},
      {{"--out=o.gif", "walk", "1", "3"}, "unknown option '--out'"},
      {{"walk", "1", "3", "--Quiet"}, "unknown option '--Quiet'"},
      {{"-walk", "1", "3"}, "unknown option '-w'"},
  });
}

TEST(CommandLineErrors, MissingValue) {
  expectErrors({
      {{"walk", "1", "3", "-o"}, "option '-o' needs a value"},
      {{"walk", "1", "3", "--delay"}, "option '--delay' needs a value"},
      {{"walk", "1", "3", "-ql"}, "option '-l' needs a value"},
  });
}

TEST(CommandLineErrors, ValueGivenToAnOptionWithoutOne) {
  expectErrors({
      {{"--quiet=yes", "walk", "1", "3"}, "option '--quiet' takes no value"},
      {{"--help=", "walk", "1", "3"}, "option '--help' takes no value"},
  });
}

TEST(CommandLineErrors, ValueNotAWholeNumber) {
  expectErrors({
      {{"-d", "abc", "walk", "1", "3"}, "the delay 'abc' given with '-d' is not a whole number"},
      {{"--delay=", "walk", "1", "3"}, "the delay '' given with '--delay' is not a whole number"},
      {{"-d", "1.5", "walk", "1", "3"}, "the delay '1.5' given with '-d' is not a whole number"},
      {{"--loop", " 3", "walk", "1", "3"},
       "the loop count ' 3' given with '--loop' is not a whole number"},
      {{"-l", "+", "walk", "1", "3"}, "the loop count '+' given with '-l' is not a whole number"},
  });
}

TEST(CommandLineErrors, ValueOutOfRange) {
  expectErrors({
      {{"-d", "65536", "walk", "1", "3"},
       "the delay '65536' given with '-d' is out of range (0 to 65535)"},
      {{"-d", "-1", "walk", "1", "3"},
       "the delay '-1' given with '-d' is out of range (0 to 65535)"},
      {{"--loop=99999999999999999999", "walk", "1", "3"},
       "the loop count '99999999999999999999' given with '--loop' is out of range (0 to 65535)"},
  });
}

TEST(CommandLineErrors, EmptyOutputName) {
  expectErrors({
      {{"-o", "", "walk", "1", "3"}, "the output name given with '-o' is empty"},
      {{"--output=  ", "walk", "1", "3"}, "the output name given with '--output' is empty"},
  });
}

TEST(CommandLineErrors, TooFewOrTooManyOperands) {
  expectErrors({
      {{"-q"}, "missing the base name, the lower and the higher index"},
      {{"--"}, "missing the base name, the lower and the higher index"},
      {{"walk"}, "missing the lower and the higher index"},
      {{"walk", "1"}, "missing the higher index"},
      {{"-o", "walk", "1", "3"}, "missing the higher index"},  // walk is the output
      {{"walk", "1", "3", "4"}, "too many operands: '4' follows the higher index"},
      {{"walk", "1", "3", "--", "-q"}, "too many operands: '-q' follows the higher index"},
  });
}

TEST(CommandLineErrors, IndexNotAnInteger) {
  const std::string range = " is not an integer (a whole number from -2147483648 to 2147483647)";
  expectErrors({
      {{"walk", "abc", "3"}, "the lower index 'abc'" + range},
      {{"walk", "1", "3x"}, "the higher index '3x'" + range},
      {{"walk", "-2x", "3"}, "the lower index '-2x'" + range},
      {{"walk", "", "3"}, "the lower index ''" + range},
      {{"walk", "1", "2147483648"}, "the higher index '2147483648'" + range},
      {{"walk", "-2147483649", "1"}, "the lower index '-2147483649'" + range},
      {{"walk", "0x10", "1"}, "the lower index '0x10'" + range},
  });
}

TEST(CommandLineErrors, UnusablePattern) {
  const std::string forms = "' (the index takes %d, %Nd or %0Nd; %% is a percent sign)";
  const std::string none = "has no conversion for the index (%d, %Nd or %0Nd)";
  const struct {
    std::string_view format;
    std::string problem;
  } cases[] = {
      {"frame.gif", none},
      {"100%%.gif", none},
      {"%d_%3d", "has 2 conversions; it takes exactly one, for the index"},
      {"f%s", "has the unusable form '%s" + forms},
      {"%-3d", "has the unusable form '%-3d" + forms},
      {"%5.2f", "has the unusable form '%5.2f" + forms},
      {"%ld", "has the unusable form '%ld" + forms},
      {"%d%", "has the unusable form '%" + forms},
  };
  for (const auto& c : cases) {
    const CommandLine command = parse({"-p", c.format, "1", "3"});
    EXPECT_EQ(command.action, CommandLine::Action::Error) << c.format;
    EXPECT_EQ(command.error,
              "the pattern '" + std::string(c.format) + "' given with '-p' " + c.problem);
  }
  // With a pattern the operands are LOWER HIGHER only.
  expectErrors({
      {{"--pattern=f%d", "1"}, "missing the higher index"},
      {{"-p", "f%d", "f", "1", "3"},
       "too many operands: '3' follows the higher index (the pattern takes the place of the "
       "base name)"},
  });
}

TEST(CommandLine, HelpFitsOneScreen) {
  std::istringstream help(helpText());
  int lines = 0;
  for (std::string line; std::getline(help, line); ++lines) {
    EXPECT_LE(line.size(), 80U) << line;
  }
  EXPECT_LE(lines, 24);
}

}  // namespace
}  // namespace gifjoin
