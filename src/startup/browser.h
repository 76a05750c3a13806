// Which browser to run and how: registry lookups and the command line.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace molra {

inline constexpr const char* kBrowserClsidKey =
    "CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32";
inline constexpr const char* kDefaultBrowserPath =
    "C:\\Program Files\\Internet Explorer\\iexplore.exe";
inline constexpr const char* kBrowserVersionKey = "SOFTWARE\\Microsoft\\Internet Explorer";

// A REG_SZ value up to its first NUL; defaultText for anything else.
std::string ReadRegistryString(Platform& platform, RegistryRoot root, const std::string& subKey,
                               const std::string& valueName, const std::string& defaultText);

std::string BrowserPath(Platform& platform);

// The first "."-separated piece of versionText as a number, saturated to the
// 16-bit range; 0 when it is missing or not a number.
std::int16_t ParseMajorVersion(const std::string& versionText);
std::int16_t GetBrowserMajorVersion(Platform& platform);

// Path in double quotes when it holds a blank and is not quoted already.
std::string QuoteBrowserPath(const std::string& path);
std::string BuildBrowserCommand(const std::string& browserPath, std::int16_t majorVersion,
                                const std::string& url);

}  // namespace molra
