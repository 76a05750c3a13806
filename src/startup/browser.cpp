#include "startup/browser.h"

namespace molra {

std::string ReadRegistryString(Platform& platform, RegistryRoot root, const std::string& subKey,
                               const std::string& valueName, const std::string& defaultText) {
    const auto value = platform.QueryRegistryValue(root, subKey, valueName);
    if (!value || value->type != kRegSz || !value->data) return defaultText;
    const std::string& data = *value->data;
    return data.substr(0, data.find('\0'));
}

std::string BrowserPath(Platform& platform) {
    return ReadRegistryString(platform, RegistryRoot::ClassesRoot, kBrowserClsidKey, "",
                              kDefaultBrowserPath);
}

std::int16_t ParseMajorVersion(const std::string& versionText) {
    const std::string piece = versionText.substr(0, versionText.find('.'));
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < piece.size() && (piece[i] == ' ' || piece[i] == '\t')) ++i;
    };
    skipBlanks();
    bool negative = false;
    if (i < piece.size() && (piece[i] == '-' || piece[i] == '+')) negative = piece[i++] == '-';
    const std::size_t digitsStart = i;
    long magnitude = 0;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
        if (magnitude <= 32768) magnitude = magnitude * 10 + (piece[i] - '0');
    }
    const bool hasDigits = i > digitsStart;
    skipBlanks();
    if (!hasDigits || i != piece.size()) return 0;
    const long value = negative ? -magnitude : magnitude;
    if (value > 32767) return 32767;
    if (value < -32768) return -32768;
    return static_cast<std::int16_t>(value);
}

std::int16_t GetBrowserMajorVersion(Platform& platform) {
    return ParseMajorVersion(ReadRegistryString(platform, RegistryRoot::LocalMachine,
                                                kBrowserVersionKey, "Version", ""));
}

std::string QuoteBrowserPath(const std::string& path) {
    if (path.find(' ') == std::string::npos || (!path.empty() && path.front() == '"')) return path;
    return "\"" + path + "\"";
}

std::string BuildBrowserCommand(const std::string& browserPath, std::int16_t majorVersion,
                                const std::string& url) {
    const std::string path = QuoteBrowserPath(browserPath);
    if (majorVersion >= 8) return path + " -nomerge " + url;
    return path + " " + url;
}

}  // namespace molra
