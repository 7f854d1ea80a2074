// Fixed-length blank-padded text fields (255 characters) and the trimming
// rules the tool applies when it prints or opens such a field.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gifjoin {

inline constexpr std::size_t kFieldLength = 255;

// Cut to the first 255 characters or pad with blanks to 255.
std::string makeField(std::string_view text);

// Trailing blanks removed.
std::string_view trimRight(std::string_view text);

// Leading and trailing blanks removed.
std::string_view trimBoth(std::string_view text);

// Leading blanks removed.
std::string_view trimLeft(std::string_view text);

}  // namespace gifjoin
