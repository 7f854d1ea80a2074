// Answers of the console dialogue. Each answer is read from a fresh line;
// blank lines are skipped; only the first item of the line counts.
#include "app/dialogue.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "general/text_field.h"

namespace gifjoin {

const char* const kHeaderLines[3] = {
    "Small program to combine a set of GIFs to make one animated gif.",
    "Gif-filenames should be structured as GIFNAME_XX.gif ,",
    "With GIFNAME the basename, and XX an integer number (without preceding zero's).",
};
const char* const kPromptBaseName = " > Provide the basename:";
const char* const kPromptLowerIndex = " > Provide the lower index:";
const char* const kPromptHigherIndex = " > Provide the higher index:";

namespace {

bool isSeparator(char c) {
  return c == ' ' || c == ',' || c == '/';
}

}  // namespace

bool AnswerReader::nextLine(std::string& line) {
  while (std::getline(in_, line)) {
    // Answers typed on Windows end in a carriage return; a tab is a blank.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (char& c : line) {
      if (c == '\t') c = ' ';
    }
    if (line.find_first_not_of(' ') != std::string::npos) {
      line.erase(0, line.find_first_not_of(' '));
      return true;
    }
  }
  return false;
}

std::optional<std::string> AnswerReader::readName() {
  std::string line;
  if (!nextLine(line)) return std::nullopt;
  std::string name;
  const char first = line[0];
  if (first == '\'' || first == '"') {
    for (std::size_t i = 1; i < line.size(); ++i) {
      if (line[i] == first) {
        if (i + 1 < line.size() && line[i + 1] == first) {
          name += first;
          ++i;
          continue;
        }
        break;
      }
      name += line[i];
    }
  } else {
    std::size_t end = 0;
    while (end < line.size() && !isSeparator(line[end])) ++end;
    name = line.substr(0, end);
  }
  return makeField(name);
}

AnswerReader::IndexResult AnswerReader::readIndex(std::int32_t& value, std::string& item) {
  std::string line;
  if (!nextLine(line)) return IndexResult::EndOfInput;
  std::size_t end = 0;
  while (end < line.size() && !isSeparator(line[end])) ++end;
  item = line.substr(0, end);
  if (item.empty()) {
    value = 0;
    return IndexResult::Ok;
  }
  std::size_t pos = 0;
  if (item[0] == '+' || item[0] == '-') pos = 1;
  if (pos == item.size()) return IndexResult::NotInteger;
  for (std::size_t i = pos; i < item.size(); ++i) {
    if (item[i] < '0' || item[i] > '9') return IndexResult::NotInteger;
  }
  errno = 0;
  const long long parsed = std::strtoll(item.c_str(), nullptr, 10);
  if (errno == ERANGE || parsed < std::numeric_limits<std::int32_t>::min() ||
      parsed > std::numeric_limits<std::int32_t>::max()) {
    return IndexResult::NotInteger;
  }
  value = static_cast<std::int32_t>(parsed);
  return IndexResult::Ok;
}

}  // namespace gifjoin
