// The start-up decision: launch the browser and end, or ask for the address.
#pragma once

#include <functional>
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

// beforeNotice runs just before the notice, when the window is sure to
// follow: the user reads the notice, so work started there costs no time.
StartOutcome Form_Load(Platform& platform, const std::function<void()>& beforeNotice = {});

// Starts the browser on url; falls back to the default handler and, failing
// that, tells the user why.
void LaunchBrowser(Platform& platform, const std::string& url);

}  // namespace molra
