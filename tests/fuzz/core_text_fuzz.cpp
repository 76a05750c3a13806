// libFuzzer target for the core's text handling. The first byte picks the
// function under test; the rest feeds it. Every property below can fail: a
// violation aborts, which libFuzzer reports as a crash.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "net/net.h"
#include "shortcut/shortcut.h"
#include "startup/browser.h"
#include "startup/startup.h"
#include "ui/commands.h"
#include "common/texts.h"

namespace {

using molra::RegistryRoot;
using molra::RegistryValue;
using molra::testing::FakePlatform;

#define CHECK(condition)                                                                      \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "property violated at line %d: %s\n", __LINE__, #condition); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (false)

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A registry value as the Win32 layer may hand it over: missing, of another
// type, unreadable, or any bytes at all.
std::optional<RegistryValue> ConsumeRegistryValue(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: return std::nullopt;
        case 1: return RegistryValue{in.ConsumeIntegral<std::uint32_t>() | 2u, std::nullopt};
        case 2: return RegistryValue{molra::kRegSz, std::nullopt};
        default: return RegistryValue{molra::kRegSz, in.ConsumeRandomLengthString(300)};
    }
}

// What ReadRegistryString must give for a stored value, worked out independently.
std::string Expected(const std::optional<RegistryValue>& stored, const std::string& fallback) {
    if (!stored || stored->type != molra::kRegSz || !stored->data) return fallback;
    std::string text;
    for (char c : *stored->data) {
        if (c == '\0') break;
        text.push_back(c);
    }
    return text;
}

void FuzzArgumentText(FuzzedDataProvider& in) {
    const std::string commandLine = in.ConsumeRemainingBytesAsString();
    const std::string argument = molra::ArgumentText(commandLine);
    CHECK(EndsWith(commandLine, argument));
    CHECK(argument.empty() || (argument[0] != ' ' && argument[0] != '\t'));
    if (commandLine.find_first_of(" \t") == std::string::npos) CHECK(argument.empty());
}

void FuzzFormLoad(FuzzedDataProvider& in) {
    FakePlatform platform;
    platform.commandLine = in.ConsumeRandomLengthString(200);
    platform.currentDirectory = in.ConsumeRandomLengthString(40);
    const auto browser = ConsumeRegistryValue(in);
    const auto version = ConsumeRegistryValue(in);
    if (browser)
        platform.registry[{RegistryRoot::ClassesRoot, molra::kBrowserClsidKey}][""] = *browser;
    if (version)
        platform.registry[{RegistryRoot::LocalMachine, molra::kBrowserVersionKey}]["Version"] =
            *version;
    const std::string shortcut = platform.currentDirectory + "\\MOLRAvin.url";
    const std::string storedUrl = in.ConsumeRandomLengthString(300);
    if (in.ConsumeBool()) platform.profiles[shortcut]["InternetShortcut/URL"] = storedUrl;
    if (in.ConsumeBool()) platform.files[shortcut] = in.ConsumeIntegral<std::uint32_t>();
    platform.startProcessError = in.ConsumeBool() ? 0 : 2;
    platform.openError = in.ConsumeBool() ? 0 : 1155;

    const molra::StartOutcome outcome = molra::Form_Load(platform);

    const std::string argument = molra::ArgumentText(platform.commandLine);
    CHECK(platform.fileBytes.empty() && platform.replacedPaths.empty());
    for (const std::string& call : platform.calls) CHECK(call == "message");
    if (outcome == molra::StartOutcome::ShowWindow) {
        CHECK(argument.empty());
        CHECK(platform.startedProcesses.empty() && platform.openedUrls.empty());
        CHECK(platform.messages == std::vector<std::string>{molra::text::kDetermineNotice});
        return;
    }
    const std::string url = argument.empty() ? platform.profiles[shortcut]["InternetShortcut/URL"]
                                             : "http://" + argument;
    CHECK(!url.empty());
    if (argument.empty()) {
        const std::uint32_t attributes = platform.files.at(shortcut);
        CHECK((attributes & (molra::kAttributeHidden | molra::kAttributeSystem |
                             molra::kAttributeDirectory)) == 0);
    }
    CHECK(platform.startedProcesses.size() == 1);
    const auto& [command, show] = platform.startedProcesses[0];
    CHECK(show == molra::kShowNormal);
    // The command is the (quoted) path, a blank, maybe the switch, and the URL last.
    std::string path = Expected(browser, molra::kDefaultBrowserPath);
    if (path.find(' ') != std::string::npos && (path.empty() || path[0] != '"'))
        path = '"' + path + '"';
    const bool nomerge = molra::ParseMajorVersion(Expected(version, "")) >= 8;
    CHECK(command == path + (nomerge ? " -nomerge " : " ") + url);

    const std::string scheme = url.substr(0, 8);
    std::string lower;
    for (char c : scheme) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
    const bool web = StartsWith(lower, "http://") || StartsWith(lower, "https://");
    const bool handed = platform.startProcessError != 0 && web;
    CHECK(platform.openedUrls ==
          (handed ? std::vector<std::string>{url} : std::vector<std::string>{}));
    const bool failed = platform.startProcessError != 0 && (!web || platform.openError != 0);
    CHECK(platform.messages.size() == (failed ? 1u : 0u));
    if (failed)
        CHECK(platform.messages[0] ==
              std::string(molra::text::kBrowserStartFailed) + "\r\n" + command + "\r\nFehler 2");
}

void FuzzReadRegistryString(FuzzedDataProvider& in) {
    FakePlatform platform;
    const std::string fallback = in.ConsumeRandomLengthString(20);
    const auto stored = ConsumeRegistryValue(in);
    if (stored) platform.registry[{RegistryRoot::LocalMachine, "K"}]["V"] = *stored;
    const std::string text =
        molra::ReadRegistryString(platform, RegistryRoot::LocalMachine, "K", "V", fallback);
    CHECK(text == Expected(stored, fallback));
    CHECK(platform.messages.empty());
}

void FuzzParseMajorVersion(FuzzedDataProvider& in) {
    const auto number = in.ConsumeIntegral<std::int16_t>();
    const std::string text = in.ConsumeRemainingBytesAsString();
    const std::string piece = text.substr(0, text.find('.'));
    const std::int16_t version = molra::ParseMajorVersion(text);
    CHECK(version == molra::ParseMajorVersion(piece));
    if (piece.find_first_of("0123456789") == std::string::npos) CHECK(version == 0);
    CHECK(molra::ParseMajorVersion(std::to_string(number) + "." + text) == number);
}

// Answers every name with the fuzzed address list.
class AnyHostPlatform : public FakePlatform {
public:
    std::optional<std::vector<std::vector<std::uint8_t>>> addresses;
    std::optional<std::vector<std::vector<std::uint8_t>>> HostAddresses(
        const std::string& name) override {
        FakePlatform::HostAddresses(name);
        return addresses;
    }
};

void ConsumeNetwork(FuzzedDataProvider& in, AnyHostPlatform& platform) {
    platform.startupResult = in.ConsumeBool() ? 0 : in.ConsumeIntegral<int>();
    platform.cleanupResult = in.ConsumeBool() ? 0 : in.ConsumeIntegral<int>();
    platform.hostName.result = in.ConsumeBool() ? 0 : -1;
    platform.hostName.lastError = in.ConsumeIntegral<int>();
    platform.hostName.buffer = in.ConsumeRandomLengthString(300);
    if (in.ConsumeBool()) {
        platform.addresses.emplace();
        const int count = in.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < count; ++i)
            platform.addresses->push_back(
                in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 8)));
    }
}

void FuzzDetermineServerAddress(FuzzedDataProvider& in) {
    AnyHostPlatform platform;
    ConsumeNetwork(in, platform);
    const molra::DeterminedAddress determined = molra::DetermineServerAddress(platform);

    long cleanups = 0;
    for (const std::string& call : platform.calls) cleanups += call == "cleanup";
    if (static_cast<std::int16_t>(platform.startupResult) != 0) {
        CHECK(determined.status == molra::SocketStatus::Fatal && determined.candidates.empty());
        CHECK(cleanups == 0);
        CHECK(platform.messages == std::vector<std::string>{molra::text::kWinsockNotAnswering});
        return;
    }
    CHECK(cleanups == 1);
    std::vector<std::string> messages;
    if (platform.hostName.result == -1) {
        const long long code = platform.hostName.lastError;
        messages.push_back(std::string(molra::text::kHostNameErrorPrefix) + (code < 0 ? "-" : " ") +
                           std::to_string(code < 0 ? -code : code));
    }
    if (platform.cleanupResult != 0) {
        messages.push_back(molra::text::kCleanupErrorPrefix +
                           std::to_string(platform.cleanupResult) +
                           molra::text::kCleanupErrorSuffix);
        CHECK(determined.status == molra::SocketStatus::Fatal && determined.candidates.empty());
        CHECK(platform.messages == messages);
        return;
    }
    CHECK(determined.status == molra::SocketStatus::Ok);
    CHECK(platform.messages == messages);
    // Each local address of four fields or more, but loopback and link-local, with its
    // fourth field 1; each once, the first kMaxCandidates.
    std::vector<std::string> expected;
    for (const auto& bytes :
         platform.addresses.value_or(std::vector<std::vector<std::uint8_t>>{})) {
        if (bytes.size() < 4 || bytes[0] == 127 || (bytes[0] == 169 && bytes[1] == 254)) continue;
        std::string derived;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            derived += (i ? "." : "") + (i == 3 ? std::string("1") : std::to_string(bytes[i]));
        if (std::find(expected.begin(), expected.end(), derived) == expected.end() &&
            expected.size() < molra::kMaxCandidates)
            expected.push_back(derived);
    }
    CHECK(determined.candidates == expected);
}

void FuzzSplitFirstToken(FuzzedDataProvider& in) {
    const std::string delimiter = in.ConsumeRandomLengthString(4);
    const std::string original = in.ConsumeRemainingBytesAsString();
    std::string rest = original;
    const std::string token = molra::SplitFirstToken(rest, delimiter);
    const std::size_t found = original.find(delimiter);
    if (found == std::string::npos) {
        CHECK(token == original && rest.empty());
    } else {
        CHECK(token.size() == found && token + delimiter + rest == original);
    }
}

void FuzzTrimSpaces(FuzzedDataProvider& in) {
    const std::string text = in.ConsumeRemainingBytesAsString();
    const std::string trimmed = molra::TrimSpaces(text);
    CHECK(trimmed.empty() || (trimmed.front() != ' ' && trimmed.back() != ' '));
    const std::size_t at = text.find(trimmed);
    CHECK(at != std::string::npos);
    CHECK(text.find_first_not_of(' ') == (trimmed.empty() ? std::string::npos : at));
    CHECK(molra::TrimSpaces(trimmed) == trimmed);
}

// Code points of strictly valid UTF-8, or nothing.
std::optional<std::vector<std::uint32_t>> DecodeUtf8(const std::string& text) {
    std::vector<std::uint32_t> points;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80   ? 0
                          : lead < 0xC2 ? -1
                          : lead < 0xE0 ? 1
                          : lead < 0xF0 ? 2
                          : lead < 0xF5 ? 3
                                        : -1;
        if (extra < 0 || i + extra + 1 > text.size()) return std::nullopt;
        std::uint32_t point = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            point = (point << 6) | (next & 0x3F);
        }
        const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (point < least[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return std::nullopt;
        points.push_back(point);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return points;
}

std::vector<std::uint32_t> DecodeUtf16Le(const std::string& bytes) {
    std::vector<std::uint32_t> points;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        std::uint32_t unit =
            static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const std::uint32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                                      static_cast<unsigned char>(bytes[i + 3]) << 8;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        points.push_back(unit);
    }
    return points;
}

void FuzzUtf16LeWithBom(FuzzedDataProvider& in) {
    const std::string text = in.ConsumeRemainingBytesAsString();
    const std::string bytes = molra::Utf16LeWithBom(text);
    CHECK(bytes.size() % 2 == 0 && StartsWith(bytes, "\xFF\xFE"));
    CHECK(bytes.size() - 2 <= 2 * text.size());
    if (const auto points = DecodeUtf8(text)) CHECK(DecodeUtf16Le(bytes) == *points);
}

void FuzzShortcutText(FuzzedDataProvider& in) {
    FakePlatform platform;
    platform.ansiFits = in.ConsumeBool();
    const std::string folder = in.ConsumeRandomLengthString(100);
    const std::string address = in.ConsumeRemainingBytesAsString();
    const std::string text = molra::ShortcutText(address, folder);
    CHECK(StartsWith(text, "[InternetShortcut]\r\nURL=http://" + address + "\r\n"));
    CHECK(EndsWith(text, "\r\nIconIndex=0\r\nIconFile=" + folder + "\\MOLRAvin.exe\r\n"));
    if ((address + folder).find_first_of("\r\n") == std::string::npos) {
        std::size_t lines = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string::npos;
             at = text.find("\r\n", at + 2))
            ++lines;
        CHECK(lines == 4);
    }
    const std::string bytes = molra::ShortcutFileBytes(platform, address, folder);
    CHECK(bytes == text || bytes == molra::Utf16LeWithBom(text));
    CHECK((bytes == text) == platform.ToAnsi(text).has_value());
}

void FuzzCommand1Click(FuzzedDataProvider& in) {
    AnyHostPlatform platform;
    const std::string oldBytes = "old";
    const std::string path = "C:\\Work\\MOLRAvin.url";
    platform.fileBytes[path] = oldBytes;
    ConsumeNetwork(in, platform);
    platform.replaceError = in.ConsumeBool() ? 0 : 5;
    platform.ansiFits = in.ConsumeBool();
    const int answer = in.ConsumeIntegralInRange(-1, 2);
    const std::string box = in.ConsumeRemainingBytesAsString();
    const std::string typed = molra::TrimSpaces(box);
    // Every address the check may be asked about gets the same answer.
    for (const std::string& candidate : {typed, std::string()})
        platform.reachability[candidate] = answer;
    if (platform.addresses && !platform.addresses->empty() &&
        platform.addresses->front().size() >= 4) {
        std::string derived;
        const auto& bytes = platform.addresses->front();
        for (std::size_t i = 0; i < bytes.size(); ++i)
            derived += (i ? "." : "") + (i == 3 ? std::string("1") : std::to_string(bytes[i]));
        platform.reachability[derived] = answer;
    }

    const molra::ClickOutcome outcome = molra::testing::Command1_Click(platform, box);

    const bool written = platform.fileBytes[path] != oldBytes;
    CHECK(platform.replacedPaths.size() <= 1);
    if (outcome.endProcess) CHECK(platform.replacedPaths.empty() && !outcome.newText1);
    if (!typed.empty()) {
        // A typed name may be looked up, but the PC's own addresses never are.
        for (const std::string& call : platform.calls) CHECK(!StartsWith(call, "gethostname"));
        CHECK(!outcome.newText1);
    }
    CHECK(written == (!platform.replacedPaths.empty() && platform.replaceError == 0));
    const std::string address = typed.empty() ? outcome.newText1.value_or("") : typed;
    if (written) {
        CHECK(!address.empty());
        CHECK(platform.fileBytes[path] ==
              molra::ShortcutFileBytes(platform, address, platform.programFolder));
        const bool reachable = answer == 1;
        CHECK(platform.messages.back() ==
              (reachable ? molra::text::kReachable : molra::text::kUnreachable));
    } else {
        CHECK(!outcome.newText1);
        for (const std::string& message : platform.messages)
            CHECK(message != molra::text::kReachable && message != molra::text::kUnreachable);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    FuzzedDataProvider in(data + 1, size - 1);
    switch (data[0] % 10) {
        case 0: FuzzArgumentText(in); break;
        case 1: FuzzFormLoad(in); break;
        case 2: FuzzReadRegistryString(in); break;
        case 3: FuzzParseMajorVersion(in); break;
        case 4: FuzzDetermineServerAddress(in); break;
        case 5: FuzzSplitFirstToken(in); break;
        case 6: FuzzTrimSpaces(in); break;
        case 7: FuzzUtf16LeWithBom(in); break;
        case 8: FuzzShortcutText(in); break;
        default: FuzzCommand1Click(in); break;
    }
    return 0;
}
