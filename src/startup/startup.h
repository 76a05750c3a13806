// The start-up decision: launch the browser and end, or ask for the address.
#pragma once

#include <string>

#include "platform/platform.h"

namespace molra {

enum class StartOutcome {
    EndProcess,  // a launch was attempted; the window is never shown
    ShowWindow,  // no address known; the notice was shown
};

// What follows the program name and the blanks after it, unchanged.
std::string ArgumentText(const std::string& commandLine);

bool HasSchemeHttp(const std::string& url);

StartOutcome Form_Load(Platform& platform);

// Starts the browser on url; falls back to the default handler and, failing
// that, tells the user why.
void LaunchBrowser(Platform& platform, const std::string& url);

}  // namespace molra
