// The start-up decision: launch the browser and end, or ask for the address.
#pragma once

#include <cstdint>
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
// exitCode, when given, receives the process exit code for EndProcess: 0, or
// the system error code of a browser start that failed (and was reported).
StartOutcome Form_Load(Platform& platform, const std::function<void()>& beforeNotice = {},
                       std::uint32_t* exitCode = nullptr);

// Starts the browser on url; falls back to the default handler and, failing
// that, tells the user why. 0, or the error code of the failed start.
std::uint32_t LaunchBrowser(Platform& platform, const std::string& url);

}  // namespace molra
