// gifjoin: joins a numbered series of GIF files into one animated GIF.
// Without arguments it holds the console dialogue; with arguments it takes
// the base name, the indices and the options from the command line.
#include <iostream>
#include <string_view>
#include <vector>

#include "app/cli.h"
#include "app/driver.h"
#include "general/console.h"
#include "general/units.h"

namespace {

int run(int argc, char** argv) {
  if (argc <= 1) return gifjoin::runDialogue(std::cin);

  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const gifjoin::CommandLine command = gifjoin::parseCommandLine(args);
  switch (command.action) {
    case gifjoin::CommandLine::Action::Join:
      return gifjoin::runJoin(command.request);
    case gifjoin::CommandLine::Action::Help:
      std::cout << gifjoin::helpText();
      return 0;
    case gifjoin::CommandLine::Action::Version:
      std::cout << gifjoin::versionText();
      return 0;
    case gifjoin::CommandLine::Action::Error:
      break;
  }
  std::cerr << "gifjoin: " << command.error << '\n' << gifjoin::kHelpHint << '\n';
  return gifjoin::kExitBadAnswers;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  gifjoin::useUtf8Console();
  gifjoin::removeTemporaryFilesOnInterrupt();
  const int status = run(argc, argv);
  // Progress lines and reports that could not be written are a failure of
  // the run, even when the output file was written.
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "gifjoin: could not write to standard output\n";
    return status == gifjoin::kExitBadAnswers ? status : gifjoin::kExitNotWritten;
  }
  return status;
}
