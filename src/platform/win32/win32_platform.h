// The real platform: each group of calls lives in the *_win.cpp named after it.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/platform.h"

namespace molra {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide, std::size_t length);

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
    EchoResult SendEcho(const std::array<std::uint8_t, 4>& address,
                        std::uint32_t timeoutMs) override;
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

// A system DLL from System32 only, never from the current or program folder.
HMODULE LoadSystemLibrary(const wchar_t* name);

template <typename Fn>
Fn SystemProc(const wchar_t* dll, const char* name) {
    HMODULE module = LoadSystemLibrary(dll);
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

}  // namespace molra
