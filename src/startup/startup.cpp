#include "startup/startup.h"

#include "shortcut/shortcut.h"
#include "startup/browser.h"
#include "common/texts.h"

namespace molra {

std::string ArgumentText(const std::string& commandLine) {
    // The program name ends at the first blank outside double quotes, as the
    // C runtime splits it for WinMain.
    std::size_t i = 0;
    bool quoted = false;
    for (; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (c == '"') quoted = !quoted;
        else if (!quoted && (c == ' ' || c == '\t'))
            break;
    }
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    return commandLine.substr(i);
}

bool HasSchemeHttp(const std::string& url) {
    auto startsWith = [&url](const std::string& prefix) {
        if (url.size() < prefix.size()) return false;
        // i indexes url too.
        // NOLINTNEXTLINE(modernize-loop-convert)
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            char c = url[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

std::uint32_t LaunchBrowser(Platform& platform, const std::string& url) {
    const std::string command =
        BuildBrowserCommand(BrowserPath(platform), GetBrowserMajorVersion(platform), url);
    const std::uint32_t error = platform.StartProcess(command, kShowNormal);
    if (error == 0) return 0;
    if (HasSchemeHttp(url) && platform.OpenWithDefaultHandler(url) == 0) return 0;
    platform.ShowMessage(std::string(text::kBrowserStartFailed) + "\r\n" + command + "\r\n" +
                             platform.ErrorText(error),
                         text::kCaption);
    // Scripts and roll-out tools must not read a failed start as success.
    return error;
}

StartOutcome Form_Load(Platform& platform, const std::function<void()>& beforeNotice,
                       std::uint32_t* exitCode) {
    const std::string shortcutPath = ShortcutPath(platform);
    const std::string argument = ArgumentText(platform.CommandLine());
    std::string url;
    if (argument.empty()) {
        url = ReadIniString(platform, "InternetShortcut", "URL", shortcutPath, "");
        const auto attributes = platform.FindFileAttributes(shortcutPath);
        const bool found =
            attributes &&
            (*attributes & (kAttributeHidden | kAttributeSystem | kAttributeDirectory)) == 0;
        if (!found || url.empty()) {
            if (beforeNotice) beforeNotice();
            platform.ShowMessage(text::kDetermineNotice, text::kCaption);
            return StartOutcome::ShowWindow;
        }
    } else {
        url = "http://" + argument;
    }
    const std::uint32_t error = LaunchBrowser(platform, url);
    if (exitCode) *exitCode = error;
    return StartOutcome::EndProcess;
}

}  // namespace molra
