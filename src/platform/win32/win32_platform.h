// The real platform: each group of calls lives in the *_win.cpp named after it.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/platform.h"
#include "platform/win32/text_win.h"

namespace molra {

class Win32Platform final : public Platform {
public:
    std::optional<RegistryValue> QueryRegistryValue(RegistryRoot root, const std::string& subKey,
                                                    const std::string& valueName) override;
    std::string ReadProfileString(const std::string& section, const std::string& key,
                                  const std::string& path) override;
    std::optional<std::uint32_t> FindFileAttributes(const std::string& path) override;
    std::string CurrentDirectory() override;
    std::string ProgramFolder() override;
    std::string CommandLine() override;
    std::uint32_t StartProcess(const std::string& commandLine, int showState) override;
    std::uint32_t OpenWithDefaultHandler(const std::string& url) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    std::string ErrorText(std::uint32_t code) override;
    int SocketStartup(std::uint16_t versionWord) override;
    int SocketCleanup() override;
    HostNameResult LocalHostName() override;
    std::optional<std::vector<std::vector<std::uint8_t>>> HostAddresses(
        const std::string& hostName) override;
    int CheckDestination(const std::string& address) override;
    std::unique_ptr<ProbeRound> StartProbeRound(std::uint32_t budgetMs) override;
    double MonotonicSeconds() override;
    std::optional<std::string> ToAnsi(const std::string& text) override;
    std::uint32_t SaveFileAtomically(const std::string& path, const std::string& bytes) override;

    // Message boxes are modal to this window once it exists. A box asked for
    // on another thread is shown on the window's own: the window answers
    // kWmShowMessage by calling ShowMessage with the request.
    void SetOwnerWindow(HWND owner) { owner_.store(owner); }

private:
    std::atomic<HWND> owner_{nullptr};
};

struct MessageRequest {
    const std::string& text;
    const std::string& caption;
};
// Sent to the owner window, lParam a MessageRequest*.
inline constexpr UINT kWmShowMessage = WM_APP + 0x40;

// The process's first call: keeps the current and program folders out of
// every later DLL search.
void RestrictDllSearch();

}  // namespace molra
