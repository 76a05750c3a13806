// The window's two commands, without the window.
#pragma once

#include <optional>
#include <string>

#include "common/text.h"
#include "platform/platform.h"

namespace molra {

struct ClickOutcome {
    bool endProcess = false;              // a fatal socket failure was reported: end now
    std::optional<std::string> newText1;  // what Text1 shows afterwards, when it changes
};

// Determine (or take the typed) address, probe it, save the shortcut, report.
ClickOutcome Command1_Click(Platform& platform, const std::string& text1);

}  // namespace molra
