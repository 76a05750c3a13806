// Small text helpers the whole core shares.
#pragma once

#include <string>

namespace molra {

// text without leading and trailing blanks (U+0020 only; NULs are no blanks).
std::string TrimSpaces(const std::string& text);

}  // namespace molra
