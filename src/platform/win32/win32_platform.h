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

    // Ends the process with code: at once, or, while the window's thread
    // waits for a save, as soon as that save has left the old file intact or
    // the new one complete and no temporary file (its retries are given up).
    // Returns only in that second case. On the window's thread.
    void EndProcess(UINT code);

private:
    // Runs the save on a worker while this thread keeps answering its
    // messages; inline when no worker can be had. The save's error code.
    DWORD SaveAnswering(const std::string& path, const std::string& bytes);
    // Dispatches this thread's messages until done is signalled.
    void PumpUntil(HANDLE done);

    std::atomic<HWND> owner_{nullptr};
    HANDLE saveStop_ = nullptr;  // set while the window's thread waits for a save
    UINT endCode_ = 0;
    bool endAsked_ = false;
};

// What kWmShowMessage carries.
struct MessageRequest {
    const std::string& text;
    const std::string& caption;
};

// Posts message to window's thread; when its queue refuses the post (it
// holds the limit of posted messages), sends it, which does not queue. True
// when the window took it: its handler must then answer non-zero.
bool PostOrSend(HWND window, UINT message, LPARAM data);

// The process's first call: keeps the current and program folders out of
// every later DLL search.
void RestrictDllSearch();

}  // namespace molra
