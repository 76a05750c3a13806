#include "ui/commands.h"

#include "common/text.h"
#include "net/net.h"
#include "shortcut/shortcut.h"
#include "common/texts.h"

namespace molra {

namespace {

// True when the file was written; otherwise the user was told why.
bool SaveShortcut(Platform& platform, const std::string& path, const std::string& address) {
    const std::uint32_t error =
        platform.SaveFileAtomically(path, ShortcutFileBytes(platform, address, platform.ProgramFolder()));
    if (error == 0) return true;
    platform.ShowMessage(std::string(text::kSaveFailed) + "\r\n" + path + "\r\n" + platform.ErrorText(error),
                         text::kCaption);
    return false;
}

}  // namespace

ClickOutcome Command1_Click(Platform& platform, const std::string& text1) {
    const std::string shortcutPath = ShortcutPath(platform);
    const std::string typed = TrimSpaces(text1);
    ClickOutcome outcome;

    if (typed.empty()) {
        // Determined once: the address probed is the one saved and shown.
        const DeterminedAddress determined = DetermineServerAddress(platform);
        if (determined.status == SocketStatus::Fatal) {
            outcome.endProcess = true;
            return outcome;
        }
        if (!determined.address ||
            ProbeReachability(platform, *determined.address) == kUnreachable) {
            platform.ShowMessage(text::kNoServer, text::kCaption);
            return outcome;
        }
        if (SaveShortcut(platform, shortcutPath, *determined.address)) {
            platform.ShowMessage(text::kReachable, text::kCaption);
            outcome.newText1 = *determined.address;
        }
        return outcome;
    }

    // An unreachable typed address is saved all the same; the message says so.
    const bool reachable = ProbeReachability(platform, typed) != kUnreachable;
    if (SaveShortcut(platform, shortcutPath, typed))
        platform.ShowMessage(reachable ? text::kReachable : text::kUnreachable, text::kCaption);
    return outcome;
}

}  // namespace molra
