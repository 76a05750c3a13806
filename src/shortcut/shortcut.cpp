#include "shortcut/shortcut.h"

namespace molra {

std::string ShortcutPath(Platform& platform) {
    return platform.CurrentDirectory() + "\\" + kShortcutFileName;
}

std::string ReadIniString(Platform& platform, const std::string& section, const std::string& key,
                          const std::string& path, const std::string& defaultText) {
    std::string value = platform.ReadProfileString(section, key, path);
    return value.empty() ? defaultText : value;
}

std::string ShortcutText(const std::string& address, const std::string& programFolder) {
    return "[InternetShortcut]\r\n"
           "URL=http://" +
           address +
           "\r\n"
           "IconIndex=0\r\n"
           "IconFile=" +
           programFolder + "\\MOLRAvin.exe\r\n";
}

std::string ShortcutFileBytes(Platform& platform, const std::string& address,
                              const std::string& programFolder) {
    const std::string text = ShortcutText(address, programFolder);
    if (auto ansi = platform.ToAnsi(text)) return *ansi;
    return Utf16LeWithBom(text);
}

// The branches are UTF-8's and UTF-16's own cases.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
std::string Utf16LeWithBom(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    auto put = [&out](unsigned unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80    ? 0
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC0 ? 1
                                         : -1;
        bool valid = extra >= 0 && i + extra < utf8.size();
        unsigned cp = valid ? (extra == 0 ? lead : lead & (0x3Fu >> extra)) : 0;
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (!valid) {  // not UTF-8 as the Win32 layer produces it; mark the byte's place
            put(0xFFFD);
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

}  // namespace molra
