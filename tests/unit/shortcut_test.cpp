#include <gtest/gtest.h>

#include "common/paths.h"
#include "fake_platform.h"
#include "shortcut/shortcut.h"

namespace molra {
namespace {

using testing::FakePlatform;

TEST(ShortcutPath, IsThePlainConcatenation) {
    FakePlatform platform;
    platform.currentDirectory = "C:\\Kunden\\Praxis";
    EXPECT_EQ(ShortcutPath(platform), "C:\\Kunden\\Praxis\\MOLRAvin.url");
    platform.currentDirectory = "C:\\";
    EXPECT_EQ(ShortcutPath(platform), "C:\\\\MOLRAvin.url");
}

TEST(ReadIniString, ReturnsTheWholeValueOrTheDefault) {
    FakePlatform platform;
    const std::string path = "C:\\Work\\MOLRAvin.url";
    EXPECT_EQ(ReadIniString(platform, "InternetShortcut", "URL", path, ""), "");
    EXPECT_EQ(ReadIniString(platform, "InternetShortcut", "URL", path, "d"), "d");
    for (const std::string& value :
         {std::string("x"), std::string(127, 'u'), std::string(5000, 'v')}) {
        platform.profiles[path]["InternetShortcut/URL"] = value;
        const std::string read = ReadIniString(platform, "InternetShortcut", "URL", path, "");
        EXPECT_EQ(read.size(), value.size());
        EXPECT_EQ(read, value);
    }
}

TEST(ShortcutText, IsTheFourLineInternetShortcut) {
    EXPECT_EQ(ShortcutText("192.168.2.1", "C:\\Programme\\MOLRAvin"),
              "[InternetShortcut]\r\n"
              "URL=http://192.168.2.1\r\n"
              "IconIndex=0\r\n"
              "IconFile=C:\\Programme\\MOLRAvin\\MOLRAvin.exe\r\n");
    EXPECT_EQ(ShortcutText(" 10.0.0.1 ", "C:"),
              "[InternetShortcut]\r\nURL=http:// 10.0.0.1 "
              "\r\nIconIndex=0\r\nIconFile=C:\\MOLRAvin.exe\r\n");
}

TEST(ShortcutFileBytes, UsesTheAnsiCodePageWhenEverythingFits) {
    FakePlatform platform;
    EXPECT_EQ(ShortcutFileBytes(platform, "10.0.0.1", "C:\\P"), ShortcutText("10.0.0.1", "C:\\P"));
}

TEST(ShortcutFileBytes, FallsBackToUtf16WithByteOrderMark) {
    FakePlatform platform;
    platform.ansiFits = false;
    const std::string bytes = ShortcutFileBytes(platform, "1.2.3.4", "C:\\\xE6\x97\xA5");  // U+65E5
    const std::string text = ShortcutText("1.2.3.4", "C:\\\xE6\x97\xA5");
    ASSERT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE[\0", 4));
    EXPECT_EQ(bytes.size(), 2 + 2 * (text.size() - 2));  // three UTF-8 bytes become one unit
    EXPECT_NE(bytes.find(std::string("\\\0\xE5\x65\\\0", 6)), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\r\0\n\0", 4));
}

TEST(Utf16LeWithBom, EncodesEveryPlane) {
    const struct {
        std::string utf8, utf16;
    } rows[] = {
        // clang-format off
        {"", std::string("\xFF\xFE")},
        {"A", std::string("\xFF\xFE" "A\0", 4)},
        {"\xC3\xBC", std::string("\xFF\xFE\xFC\0", 4)},                   // ü
        {"\xE2\x82\xAC", std::string("\xFF\xFE\xAC\x20", 4)},             // €
        {"\xF0\x9F\x98\x80", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)}, // U+1F600
        {"\xC3", std::string("\xFF\xFE\xFD\xFF", 4)},                     // cut sequence
        {"\x80" "A", std::string("\xFF\xFE\xFD\xFF" "A\0", 6)},           // stray continuation
        // clang-format on
    };
    for (const auto& row : rows) EXPECT_EQ(Utf16LeWithBom(row.utf8), row.utf16);
}

// Saved beside the file and never longer than its path, so it fits wherever the file fits.
TEST(TemporarySiblingPath, StaysInTheFolderAndShorterThanTheFile) {
    const struct {
        std::string target, expected;
        std::uint16_t number;
    } rows[] = {
        {"C:\\Work\\MOLRAvin.url", "C:\\Work\\~MVBEEF.tmp", 0xBEEF},
        {"C:\\\\MOLRAvin.url", "C:\\\\~MV0000.tmp", 0},
        {"\\\\server\\share\\MOLRAvin.url", "\\\\server\\share\\~MVFFFF.tmp", 0xFFFF},
    };
    for (const auto& row : rows) {
        const std::string temporary = TemporarySiblingPath(row.target, row.number);
        EXPECT_EQ(temporary, row.expected);
        EXPECT_LT(temporary.size(), row.target.size());
    }
}

}  // namespace
}  // namespace molra
