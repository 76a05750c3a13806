// UTF-8 inside the program, UTF-16 at every Win32 call; the test programs and
// doubles convert with the same functions.
#pragma once

#include <cstddef>
#include <string>

namespace molra {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide, std::size_t length);

}  // namespace molra
