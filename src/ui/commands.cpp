#include "ui/commands.h"

#include "common/texts.h"
#include "net/net.h"
#include "shortcut/shortcut.h"

namespace molra {

namespace {

// True when the file was written; otherwise the user was told why.
bool SaveShortcut(Platform& platform, const std::string& address) {
    const std::string path = ShortcutPath(platform);
    const std::uint32_t error = platform.SaveFileAtomically(
        path, ShortcutFileBytes(platform, address, platform.ProgramFolder()));
    if (error == 0) return true;
    platform.ShowMessage(
        std::string(text::kSaveFailed) + "\r\n" + path + "\r\n" + platform.ErrorText(error),
        text::kCaption);
    return false;
}

}  // namespace

ServerCheck CheckServer(Platform& platform, const std::string& text1) {
    ServerCheck check;
    const std::string typed = TrimSpaces(text1);
    if (!typed.empty()) {
        check.typed = true;
        check.address = typed;
        check.reachable = ProbeReachability(platform, typed) != kUnreachable;
        return check;
    }
    // Determined once: the address checked is the one saved and shown.
    const DeterminedAddress determined = DetermineServerAddress(platform);
    check.fatal = determined.status == SocketStatus::Fatal;
    // All at once: the first in the PC's order that answers is the one saved.
    if (const auto first = FirstReachable(platform, determined.candidates)) {
        check.address = determined.candidates[*first];
        check.reachable = true;
    }
    return check;
}

ClickOutcome FinishClick(Platform& platform, const ServerCheck& check) {
    ClickOutcome outcome;
    if (check.fatal) {
        outcome.endProcess = true;
        return outcome;
    }
    if (check.typed) {
        // An unreachable typed address is saved all the same; the message says so.
        if (SaveShortcut(platform, *check.address))
            platform.ShowMessage(check.reachable ? text::kReachable : text::kUnreachable,
                                 text::kCaption);
        return outcome;
    }
    if (!check.address) {
        platform.ShowMessage(text::kNoServer, text::kCaption);
        return outcome;
    }
    if (SaveShortcut(platform, *check.address)) {
        platform.ShowMessage(text::kReachable, text::kCaption);
        outcome.newText1 = *check.address;
    }
    return outcome;
}

}  // namespace molra
