// Fixed-length text fields: cut, pad and trim.
#include "general/text_field.h"

namespace gifjoin {

std::string makeField(std::string_view text) {
  std::string field(text.substr(0, kFieldLength));
  field.resize(kFieldLength, ' ');
  return field;
}

std::string_view trimRight(std::string_view text) {
  const auto last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

std::string_view trimLeft(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

std::string_view trimBoth(std::string_view text) {
  return trimRight(trimLeft(text));
}

}  // namespace gifjoin
