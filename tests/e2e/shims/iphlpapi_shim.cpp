// Test-only stand-in for the ICMP echo of iphlpapi.dll: answers from the
// environment, logs every request, and never sends anything.
//
//   MOLRA_SHIM_LOG   file every echo request is appended to, one line each
//   MOLRA_SHIM_ECHO  answers per address, e.g. "192.168.2.1=reply,*=none":
//                    reply (success from that address), other (success from
//                    another host), unreachable (an error status), none (no
//                    reply within the timeout; the default); reply, other and
//                    unreachable may carry a delay in ms, e.g. "reply/300" (a
//                    delay past the timeout is no reply). Several threads may ask at once.
//   MOLRA_SHIM_ECHO_WAIT_MS  how long "none" waits before it answers; unset,
//                    the whole timeout, as Windows does ("The call returns
//                    when the time-out has expired")
//
// Log line: IcmpSendEcho 192.168.2.1 timeout=1000 -> reply    (the answer as set, e.g. reply/300)
#include "shim_common.h"

#include <ipexport.h>
#include <icmpapi.h>

namespace {

const HANDLE kHandle = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x4d4f));

std::string Dotted(IPAddr address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

}  // namespace

extern "C" {

HANDLE WINAPI IcmpCreateFile() { return kHandle; }

BOOL WINAPI IcmpCloseHandle(HANDLE handle) { return handle == kHandle; }

DWORD WINAPI IcmpSendEcho(HANDLE handle, IPAddr destination, LPVOID, WORD requestSize,
                          PIP_OPTION_INFORMATION, LPVOID replyBuffer, DWORD replySize,
                          DWORD timeout) {
    const std::string address = Dotted(destination);
    const std::string answer = molra::shim::TableAnswer("MOLRA_SHIM_ECHO", address, "none");
    molra::shim::Log("IcmpSendEcho " + address + " timeout=" + std::to_string(timeout) + " -> " +
                     answer);
    if (handle != kHandle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!replyBuffer || replySize < sizeof(ICMP_ECHO_REPLY) + requestSize + 8) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::size_t slash = answer.find('/');
    const std::string kind = answer.substr(0, slash);
    const DWORD delay =
        slash == std::string::npos
            ? 0
            : static_cast<DWORD>(std::strtoul(answer.c_str() + slash + 1, nullptr, 10));
    if (kind != "none" && delay > timeout) {
        Sleep(timeout);
        SetLastError(IP_REQ_TIMED_OUT);
        return 0;
    }
    if (kind == "none") {
        Sleep(static_cast<DWORD>(
            molra::shim::ReadNumber("MOLRA_SHIM_ECHO_WAIT_MS", static_cast<int>(timeout))));
        SetLastError(IP_REQ_TIMED_OUT);
        return 0;
    }
    Sleep(delay);
    auto* reply = static_cast<ICMP_ECHO_REPLY*>(replyBuffer);
    *reply = ICMP_ECHO_REPLY{};
    reply->Address = kind == "other" ? 0x0909090a : destination;  // 10.9.9.9
    reply->Status = kind == "unreachable" ? IP_DEST_HOST_UNREACHABLE : IP_SUCCESS;
    return 1;
}

}  // extern "C"
