// The Internet Shortcut file that stores the server address.
#pragma once

#include <string>

#include "platform/platform.h"

namespace molra {

inline constexpr const char* kShortcutFileName = "MOLRAvin.url";

// Current directory + "\MOLRAvin.url", plain concatenation.
std::string ShortcutPath(Platform& platform);

// The value of key in section, or defaultText when it is missing or empty.
std::string ReadIniString(Platform& platform, const std::string& section, const std::string& key,
                          const std::string& path, const std::string& defaultText);

// The four lines, CRLF-ended, as UTF-8 text.
std::string ShortcutText(const std::string& address, const std::string& programFolder);

// The bytes to store: the text in the ANSI code page when every character
// fits there, otherwise UTF-16LE with a byte-order mark.
std::string ShortcutFileBytes(Platform& platform, const std::string& address,
                              const std::string& programFolder);

// UTF-16LE with a byte-order mark, from UTF-8.
std::string Utf16LeWithBom(const std::string& utf8);

}  // namespace molra
