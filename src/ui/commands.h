// The window's two commands, without the window.
#pragma once

#include <optional>
#include <string>

#include "common/text.h"
#include "platform/platform.h"

namespace molra {

// What Command1's check found. It may take seconds (name look-ups, echoes),
// so the window runs it on a worker and finishes the click on its own thread.
struct ServerCheck {
    bool fatal = false;  // a socket failure was reported: end now
    bool typed = false;  // the box held an address
    // What to save: the typed text without its blanks, or the first server
    // that answered; nullopt when no server was found.
    std::optional<std::string> address;
    bool reachable = false;
};

// Determines (or takes the typed) address and checks it. Saves nothing and
// reports only socket failures while the server is looked for.
ServerCheck CheckServer(Platform& platform, const std::string& text1);

struct ClickOutcome {
    bool endProcess = false;              // a fatal socket failure was reported: end now
    std::optional<std::string> newText1;  // what Text1 shows afterwards, when it changes
};

// Saves the shortcut and tells the user; on the window's thread.
ClickOutcome FinishClick(Platform& platform, const ServerCheck& check);

}  // namespace molra
