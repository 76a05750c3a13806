// Test-only stand-in for Sensapi.dll: answers the reachability check from the
// environment, logs every call, and never touches the network.
//
//   MOLRA_SHIM_LOG             file every call is appended to, one line each
//   MOLRA_SHIM_REACH           answers per address, e.g. "192.168.2.1=1,10.0.0.1=2,*=0";
//                              "*" gives the answer for every other address (default 0);
//                              "0/120" answers 0 with the last error 120, as Windows
//                              since Vista may
//   MOLRA_SHIM_REACH_DELAY_MS  how long each check takes before it answers (default 0)
//
// Log line (the QOCINFO fields as passed in):
//   IsDestinationReachableW "192.168.2.1" qoc=16,0,0,0 -> 1
#include "shim_common.h"

#include <sensapi.h>

#include <cwchar>

namespace {

BOOL Answer(const char* entry, const std::string& address, const QOCINFO* info) {
    const std::string value = molra::shim::TableAnswer("MOLRA_SHIM_REACH", address, "0");
    char* rest = nullptr;
    const int answer = static_cast<int>(std::strtol(value.c_str(), &rest, 10));
    const DWORD lastError = *rest == '/' ? std::strtoul(rest + 1, nullptr, 10) : 0;
    const int delay = molra::shim::ReadNumber("MOLRA_SHIM_REACH_DELAY_MS", 0);
    if (delay > 0) Sleep(static_cast<DWORD>(delay));
    std::string qoc = "null";
    if (info)
        qoc = std::to_string(info->dwSize) + "," + std::to_string(info->dwFlags) + "," +
              std::to_string(info->dwInSpeed) + "," + std::to_string(info->dwOutSpeed);
    molra::shim::Log(std::string(entry) + " \"" + address + "\" qoc=" + qoc + " -> " +
                     std::to_string(answer) + (lastError ? "/" + std::to_string(lastError) : ""));
    SetLastError(lastError);  // after the log, whose file calls set their own
    return answer;
}

}  // namespace

extern "C" {

BOOL WINAPI IsDestinationReachableA(LPCSTR destination, LPQOCINFO info) {
    return Answer("IsDestinationReachableA",
                  molra::shim::AnsiToUtf8(destination ? destination : ""), info);
}

BOOL WINAPI IsDestinationReachableW(LPCWSTR destination, LPQOCINFO info) {
    return Answer("IsDestinationReachableW",
                  destination ? molra::Narrow(destination, std::wcslen(destination)) : "", info);
}

}  // extern "C"
