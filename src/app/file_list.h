// Input files named one by one (-f): the natural order of their names, and
// the expansion of * and ? in names where no shell does it (Windows).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gifjoin {

// True when `a` comes before `b` in natural order: runs of digits are
// compared by their value (f_2.gif before f_10.gif, frame-9 before
// frame-10), other characters one by one with ASCII letters in either case
// alike; names that still tie keep the order of their bytes (fewer leading
// zeros first).
bool naturalLess(std::string_view a, std::string_view b);

// Sorts names into natural order.
void sortNaturally(std::vector<std::string>& names);

// True when `name` matches `pattern`, where * stands for any characters and
// ? for one (a UTF-8 sequence counts as one character); ASCII letters match
// in either case when `anyCase`.
bool wildcardMatch(std::string_view pattern, std::string_view name, bool anyCase);

// The names an operand stands for, as a shell would give them: an operand
// with * or ? in its last part names the files of its folder that match it,
// in the order of their names; an operand without them, or one that
// matches nothing, stands for itself. Names are UTF-8.
std::vector<std::string> expandWildcards(const std::string& operand);

}  // namespace gifjoin
