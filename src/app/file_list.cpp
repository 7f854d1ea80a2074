// Natural order and wildcard expansion of input file names.
#include "app/file_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "general/units.h"

namespace gifjoin {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

char folded(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t digitRunEnd(std::string_view text, std::size_t at) {
  while (at < text.size() && isDigit(text[at])) ++at;
  return at;
}

// -1, 0 or 1 as the value of the digits in a is below, equal to or above
// the value of the digits in b.
int compareValues(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const int order = a.compare(b);
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

// The length of the character that starts at `at`: a UTF-8 lead byte and
// its continuation bytes.
std::size_t characterLength(std::string_view text, std::size_t at) {
  std::size_t end = at + 1;
  if (static_cast<unsigned char>(text[at]) >= 0xC0) {
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return end - at;
}

}  // namespace

bool naturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const std::size_t endA = digitRunEnd(a, i);
      const std::size_t endB = digitRunEnd(b, j);
      const int order = compareValues(a.substr(i, endA - i), b.substr(j, endB - j));
      if (order != 0) return order < 0;
      i = endA;
      j = endB;
      continue;
    }
    if (folded(a[i]) != folded(b[j])) {
      return static_cast<unsigned char>(folded(a[i])) < static_cast<unsigned char>(folded(b[j]));
    }
    ++i;
    ++j;
  }
  if ((i < a.size()) != (j < b.size())) return j < b.size();
  return a < b;
}

void sortNaturally(std::vector<std::string>& names) {
  std::stable_sort(names.begin(), names.end(),
                   [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
}

bool wildcardMatch(std::string_view pattern, std::string_view name, bool anyCase) {
  // Greedy matching with one point to return to: the last star seen.
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += characterLength(name, n);
    } else if (p < pattern.size() &&
               (pattern[p] == name[n] || (anyCase && folded(pattern[p]) == folded(name[n])))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      resume += characterLength(name, resume);
      n = resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> expandWildcards(const std::string& operand) {
  const std::size_t cut = operand.find_last_of("/\\");
  const std::size_t nameStart = cut == std::string::npos ? 0 : cut + 1;
  const std::string_view pattern = std::string_view(operand).substr(nameStart);
  if (pattern.find_first_of("*?") == std::string_view::npos) return {operand};
  const std::string folder = operand.substr(0, nameStart);

  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator entries(folder.empty() ? pathOf(".") : pathOf(folder), ec);
  for (; !ec && entries != std::filesystem::directory_iterator(); entries.increment(ec)) {
    const std::string name = nameOf(entries->path().filename());
    // As a shell does: a leading dot is matched only by a dot.
    if (name.starts_with('.') && !pattern.starts_with('.')) continue;
    if (wildcardMatch(pattern, name, true)) names.push_back(folder + name);
  }
  if (names.empty()) return {operand};
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace gifjoin
