// The real Win32 socket and probe calls, run through the core against the
// test shims (or Wine's own DLLs): checks the results, the message boxes and
// the shim log. Each case is one GoogleTest test.
//
// The DLL overrides of an exe are read when Wine starts it, so a case first
// writes its exe's own AppDefaults entry and then runs itself in a child copy
// of the exe (only that test, with --child). The child answers its own message
// boxes from a watcher thread.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expected_texts.h"
#include "net/net.h"
#include "platform/win32/owners_win.h"
#include "platform/win32/win32_platform.h"
#include "rig/rig.h"
#include "ui/win32/main_window_win.h"
#include "ui/win32/window_assets_win.h"

namespace {

using molra::expected::kCaption;
using molra::expected::kCleanup;
using molra::expected::kHostNameError;
using molra::expected::kWinsock;
using molra::expected::kWindowFailed;
using Lines = std::vector<std::string>;

constexpr DWORD kChildTimeoutMs = 60000;
const wchar_t kChildSwitch[] = L"--child";
bool inChild = false;

// --- message boxes -----------------------------------------------------------

class BoxWatcher {
public:
    BoxWatcher() : thread_(CreateThread(nullptr, 0, &BoxWatcher::Run, this, 0, nullptr)) {}
    ~BoxWatcher() {
        stop_ = true;
        WaitForSingleObject(thread_.get(), 5000);
    }
    // "caption|text" of every box seen so far, each answered with OK.
    Lines Take() {
        std::lock_guard lock(mutex_);
        Lines seen;
        seen.swap(seen_);
        return seen;
    }

private:
    static DWORD WINAPI Run(void* self) {
        auto* watcher = static_cast<BoxWatcher*>(self);
        // lastBox is answered already; handles are not reused at once.
        for (HWND lastBox = nullptr; !watcher->stop_; Sleep(20)) {
            const auto box = e2e::FindMessageBox(GetCurrentProcessId(), lastBox);
            if (!box) continue;
            {
                std::lock_guard lock(watcher->mutex_);
                watcher->seen_.push_back(box->caption + "|" + box->text);
            }
            lastBox = box->window;
            if (!e2e::ClickOk(box->window)) PostMessageW(box->window, WM_COMMAND, IDOK, 0);
        }
        return 0;
    }

    std::atomic<bool> stop_ = false;
    std::mutex mutex_;
    Lines seen_;
    molra::UniqueHandle thread_;  // last: it runs on the members above
};

// --- the shims' steering and their log ---------------------------------------

void SetVariable(const char* name, const char* value) { SetEnvironmentVariableA(name, value); }

void SetVariableUtf8(const char* name, const std::string& value) {
    SetEnvironmentVariableW(molra::Widen(name).c_str(), molra::Widen(value).c_str());
}

// The test DLLs log into a file of the case's own.
e2e::ShimLog CaseShimLog(const std::wstring& caseName) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    e2e::ShimLog log(std::wstring(folder) + L"molra_shim_" + caseName + L".log");
    SetEnvironmentVariableW(L"MOLRA_SHIM_LOG", log.path().c_str());
    log.Clear();
    return log;
}

// --- checks ------------------------------------------------------------------

using Candidates = std::vector<std::string>;

void ExpectAddress(const molra::DeterminedAddress& actual, molra::SocketStatus status,
                   const Candidates& candidates, const std::string& what) {
    EXPECT_TRUE(actual.status == status) << what << ": status";
    EXPECT_EQ(actual.candidates, candidates) << what << ": candidates";
}

const char kStartupOk[] = "WSAStartup version=257 record=zeroed -> 0";
const char kCleanupOk[] = "WSACleanup -> 0";
const std::string kBox = kCaption + "|";

Lines Cycle(const std::string& name, const std::string& lookup) {
    return {kStartupOk, "gethostname length=256 buffer=zeroed -> 0 \"" + name + "\"",
            "gethostbyname \"" + name + "\" -> " + lookup, kCleanupOk};
}

void ResetShims() {
    for (const char* name :
         {"MOLRA_SHIM_STARTUP", "MOLRA_SHIM_CLEANUP", "MOLRA_SHIM_HOSTNAME",
          "MOLRA_SHIM_HOSTNAME_ERROR", "MOLRA_SHIM_ADDRESSES", "MOLRA_SHIM_REACH",
          "MOLRA_SHIM_REACH_DELAY_MS", "MOLRA_SHIM_ECHO", "MOLRA_SHIM_CONNECT"})
        SetVariable(name, nullptr);
    SetVariable("MOLRA_SHIM_HOSTNAME", "molra-pc");
}

// The echo threads' lines, sorted, taken out of lines: only their place
// among the round's socket calls varies.
Lines TakeEchoes(Lines& lines) {
    Lines echoes;
    std::erase_if(lines, [&](const std::string& line) {
        if (!line.starts_with("IcmpSendEcho ")) return false;
        echoes.push_back(line);
        return true;
    });
    std::sort(echoes.begin(), echoes.end());
    return echoes;
}

// One round's socket session with its one connection to peer; soError is
// what the round read of it before closing, if anything.
Lines ConnectionRound(const std::string& peer, int socket, const char* soError) {
    Lines lines{kStartupOk, "socket -> " + std::to_string(socket), "ioctlsocket FIONBIO=1 -> 0",
                "connect " + peer + " -> -1/10035", "WSAGetLastError -> 10035"};
    if (soError) lines.push_back("getsockopt SO_ERROR " + peer + " -> " + soError);
    lines.insert(lines.end(), {"closesocket " + peer + " -> 0", kCleanupOk});
    return lines;
}

Lines Joined(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Context {
    molra::Win32Platform platform;
    BoxWatcher boxes;
    const e2e::ShimLog& log;
};

// Whatever DLL answered, it must have come from System32, never from the
// exe's own folder (which holds copies of the shims).
void CheckLoadedFromSystem32() {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring expectedFolder = std::wstring(system, length) + L"\\";
    for (const wchar_t* dll : {L"wsock32.dll", L"sensapi.dll", L"iphlpapi.dll"}) {
        HMODULE module = GetModuleHandleW(dll);
        if (!module) continue;
        wchar_t path[MAX_PATH];
        const DWORD size = GetModuleFileNameW(module, path, MAX_PATH);
        const std::wstring loaded(path, size);
        EXPECT_TRUE(_wcsnicmp(loaded.c_str(), expectedFolder.c_str(), expectedFolder.size()) == 0 &&
                    loaded.find(L'\\', expectedFolder.size()) == std::wstring::npos)
            << molra::Narrow(dll, wcslen(dll)) + " loaded from " + molra::Narrow(loaded);
    }
}

// --- parent and child --------------------------------------------------------

std::wstring ExePath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

bool SetOverrides(const wchar_t* loadOrder) {
    const std::wstring exe = ExePath();
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" +
                             exe.substr(exe.find_last_of(L"\\/") + 1) + L"\\DllOverrides";
    molra::RegKey handle;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        handle.put(), nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const wchar_t* dll : {L"wsock32", L"sensapi", L"iphlpapi"})
        ok &= RegSetValueExW(handle.get(), dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(loadOrder),
                             static_cast<DWORD>((wcslen(loadOrder) + 1) * sizeof(wchar_t))) ==
              ERROR_SUCCESS;
    return ok;
}

// Runs the current test again in a child copy of the exe, which reads the
// overrides afresh.
void RunInChild(const std::string& test) {
    const std::wstring exe = ExePath();
    const auto child =
        e2e::StartProcess(exe, L"\"" + exe + L"\" " + kChildSwitch +
                                   L" --gtest_brief=1 --gtest_filter=" + molra::Widen(test));
    if (!child) FAIL() << "cannot start the child (" << GetLastError() << ")";
    const HANDLE process = child->process.get();
    if (WaitForSingleObject(process, kChildTimeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the child did not end in time";
        TerminateProcess(process, 1);
    } else {
        DWORD code = 1;
        GetExitCodeProcess(process, &code);
        EXPECT_EQ(code, 0u) << "the case failed in the child (its report is above)";
    }
}

// In the parent a case sets its exe's overrides for wsock32, sensapi and
// iphlpapi to loadOrder and runs itself in a child; in the child it runs body.
class Win32Layer : public ::testing::Test {
protected:
    static void RunCase(const wchar_t* loadOrder, void (*body)(Context&)) {
        const ::testing::TestInfo& test = *::testing::UnitTest::GetInstance()->current_test_info();
        if (!inChild) {
            ASSERT_TRUE(SetOverrides(loadOrder)) << "cannot write the DLL overrides";
            RunInChild(std::string(test.test_suite_name()) + "." + test.name());
            return;
        }
        ResetShims();
        const e2e::ShimLog log = CaseShimLog(molra::Widen(test.name()));
        {
            Context context{{}, {}, log};
            body(context);
        }
        log.Clear();
        CheckLoadedFromSystem32();
    }
};

// --- cases -------------------------------------------------------------------

TEST_F(Win32Layer, first_address) {
    RunCase(L"native", [](Context& c) {
        SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10,10.0.0.7");
        ExpectAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok,
                      {"192.168.2.1", "10.0.0.1"}, "both, in their order");
        EXPECT_EQ(c.log.Take(), Cycle("molra-pc", "2 addresses")) << "log";
        EXPECT_EQ(c.boxes.Take(), Lines{}) << "boxes";
    });
}

TEST_F(Win32Layer, address_shapes) {
    RunCase(L"native", [](Context& c) {
        const struct {
            const char* addresses;
            Candidates expected;
            const char* lookup;
        } rows[] = {
            {"127.0.0.1", {}, "1 addresses"},
            {"10.0.0.7", {"10.0.0.1"}, "1 addresses"},
            {"1.2.3.4.5", {"1.2.3.1.5"}, "1 addresses"},  // h_length 5: every byte is read
            {"10.0.0", {}, "1 addresses"},
            {"none", {}, "0 addresses"},
            {"", {}, "0 addresses"},
            {"null", {}, "null"},
        };
        for (const auto& row : rows) {
            SetVariable("MOLRA_SHIM_ADDRESSES", row.addresses);
            ExpectAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok,
                          row.expected, row.addresses);
            EXPECT_EQ(c.log.Take(), Cycle("molra-pc", row.lookup)) << row.addresses;
        }
        EXPECT_EQ(c.boxes.Take(), Lines{}) << "boxes";
    });
}

TEST_F(Win32Layer, hostname_codepage) {
    RunCase(L"native", [](Context& c) {
        // Leading blanks go; the name makes the round trip ANSI -> UTF-8 -> ANSI.
        SetVariableUtf8("MOLRA_SHIM_HOSTNAME", "  Rechner-\xC3\xA4");
        SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
        ExpectAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok,
                      {"192.168.2.1"}, "name with blanks and umlaut");
        EXPECT_EQ(
            c.log.Take(),
            (Lines{kStartupOk, "gethostname length=256 buffer=zeroed -> 0 \"  Rechner-\xC3\xA4\"",
                   "gethostbyname \"Rechner-\xC3\xA4\" -> 1 addresses", kCleanupOk}))
            << "log";
        EXPECT_EQ(c.boxes.Take(), Lines{}) << "boxes";
    });
}

TEST_F(Win32Layer, hostname_failure) {
    RunCase(L"native", [](Context& c) {
        SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
        for (const char* code : {"10093", "-5"}) {
            SetVariable("MOLRA_SHIM_HOSTNAME_ERROR", code);
            ExpectAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok,
                          {"192.168.2.1"}, std::string("host name error ") + code);
            EXPECT_EQ(c.log.Take(), (Lines{kStartupOk, "gethostname length=256 buffer=zeroed -> -1",
                                           std::string("WSAGetLastError -> ") + code,
                                           "gethostbyname \"\" -> 1 addresses", kCleanupOk}))
                << "log";
        }
        EXPECT_EQ(c.boxes.Take(),
                  (Lines{kBox + kHostNameError + " 10093", kBox + kHostNameError + "-5"}))
            << "boxes";
    });
}

TEST_F(Win32Layer, startup_failure) {
    RunCase(L"native", [](Context& c) {
        SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
        SetVariable("MOLRA_SHIM_STARTUP", "10091");
        ExpectAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Fatal, {},
                      "start-up failure");
        EXPECT_EQ(c.log.Take(), (Lines{"WSAStartup version=257 record=zeroed -> 10091"})) << "log";
        EXPECT_EQ(c.boxes.Take(), (Lines{kBox + kWinsock})) << "boxes";
    });
}

TEST_F(Win32Layer, cleanup_failure) {
    RunCase(L"native", [](Context& c) {
        SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
        SetVariable("MOLRA_SHIM_CLEANUP", "-1");
        ExpectAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Fatal, {},
                      "clean-up failure");
        Lines expected = Cycle("molra-pc", "1 addresses");
        expected.back() = "WSACleanup -> -1";
        EXPECT_EQ(c.log.Take(), expected) << "log";
        EXPECT_EQ(c.boxes.Take(), (Lines{kBox + kCleanup})) << "boxes";
    });
}

TEST_F(Win32Layer, two_cycles) {
    RunCase(L"native", [](Context& c) {
        SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
        ExpectAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok,
                      {"192.168.2.1"}, "first");
        SetVariable("MOLRA_SHIM_ADDRESSES", "10.0.0.7");
        ExpectAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok,
                      {"10.0.0.1"}, "second");
        const Lines cycle = Cycle("molra-pc", "1 addresses");
        Lines expected = cycle;
        expected.insert(expected.end(), cycle.begin(), cycle.end());
        EXPECT_EQ(c.log.Take(), expected) << "log";
    });
}

TEST_F(Win32Layer, probe) {
    RunCase(L"native", [](Context& c) {
        SetVariable("MOLRA_SHIM_ECHO_WAIT_MS", "0");  // this case measures no time of the echo
        SetVariable("MOLRA_SHIM_CONNECT", "*=refuse");
        SetVariable("MOLRA_SHIM_REACH", "192.168.2.1=1,10.0.0.1=2,*=0");
        const float reachable = molra::ProbeReachability(c.platform, "192.168.2.1");
        EXPECT_TRUE(reachable >= 0.0f && reachable < 1.0f)
            << "answer 1: " + std::to_string(reachable);
        for (const char* address : {"10.0.0.1", "172.16.0.1", ""})
            EXPECT_TRUE(std::bit_cast<std::uint32_t>(
                            molra::ProbeReachability(c.platform, address)) == 0xBF800000u)
                << std::string("unreachable \"") + address + "\"";
        const std::string none = " timeout=1000 -> none";
        Lines log = c.log.Take();
        EXPECT_EQ(TakeEchoes(log),
                  (Lines{"IcmpSendEcho 10.0.0.1" + none, "IcmpSendEcho 10.0.0.1" + none,
                         "IcmpSendEcho 10.0.0.1" + none, "IcmpSendEcho 172.16.0.1" + none,
                         "IcmpSendEcho 172.16.0.1" + none, "IcmpSendEcho 172.16.0.1" + none}))
            << "echoes";
        // The answer 1 opens no socket; a refusal is read and is no answer.
        EXPECT_EQ(log, Joined({{"IsDestinationReachableW \"192.168.2.1\" qoc=16,0,0,0 -> 1",
                                "IsDestinationReachableW \"10.0.0.1\" qoc=16,0,0,0 -> 2"},
                               ConnectionRound("10.0.0.1:80", 1, "10061"),
                               {"IsDestinationReachableW \"172.16.0.1\" qoc=16,0,0,0 -> 0"},
                               ConnectionRound("172.16.0.1:80", 2, "10061"),
                               {"IsDestinationReachableW \"\" qoc=16,0,0,0 -> 0"}}))
            << "log";

        // Only 1 is trusted: the echo or the web port decides the rest, a
        // name's address looked up first. A refusal comes late enough that an
        // echo's reply is always first.
        SetVariable("MOLRA_SHIM_REACH", "10.0.0.1=120,10.0.0.2=0/120,10.0.0.3=0/5,*=120");
        SetVariable("MOLRA_SHIM_ECHO",
                    "10.0.0.1=reply,10.0.0.2=other,10.0.0.3=reply,10.0.0.5=unreachable/900,"
                    "10.0.0.6=unreachable/900,*=unreachable");
        SetVariable("MOLRA_SHIM_CONNECT", "10.0.0.5:80=accept,10.0.0.6:8080=accept,*=refuse");
        SetVariable("MOLRA_SHIM_NAMES", "nas=10.0.0.1");
        const struct {
            const char* address;
            bool reachable;
        } echoRows[] = {{"10.0.0.1", true},  {"10.0.0.2", false},     {"10.0.0.3", true},
                        {"10.0.0.4", false}, {"molra-server", false}, {"nas:8080", true},
                        {"10.0.0.5", true},  {"10.0.0.6:8080", true}};
        for (const auto& row : echoRows)
            EXPECT_TRUE((molra::ProbeReachability(c.platform, row.address) !=
                         molra::kUnreachable) == row.reachable)
                << std::string("echo row ") + row.address;
        const std::string echo = " timeout=1000 -> ";
        const Lines echoes{"IcmpSendEcho 10.0.0.1" + echo + "reply",
                           "IcmpSendEcho 10.0.0.1" + echo + "reply",
                           "IcmpSendEcho 10.0.0.2" + echo + "other",
                           "IcmpSendEcho 10.0.0.2" + echo + "other",
                           "IcmpSendEcho 10.0.0.2" + echo + "other",
                           "IcmpSendEcho 10.0.0.3" + echo + "reply",
                           "IcmpSendEcho 10.0.0.4" + echo + "unreachable",
                           "IcmpSendEcho 10.0.0.4" + echo + "unreachable",
                           "IcmpSendEcho 10.0.0.4" + echo + "unreachable",
                           "IcmpSendEcho 10.0.0.5" + echo + "unreachable/900",
                           "IcmpSendEcho 10.0.0.6" + echo + "unreachable/900"};
        const Lines calls =
            Joined({{"IsDestinationReachableW \"10.0.0.1\" qoc=16,0,0,0 -> 120"},
                    ConnectionRound("10.0.0.1:80", 3, nullptr),
                    {"IsDestinationReachableW \"10.0.0.2\" qoc=16,0,0,0 -> 0/120"},
                    ConnectionRound("10.0.0.2:80", 4, "10061"),
                    {"IsDestinationReachableW \"10.0.0.3\" qoc=16,0,0,0 -> 0/5"},
                    ConnectionRound("10.0.0.3:80", 5, nullptr),
                    {"IsDestinationReachableW \"10.0.0.4\" qoc=16,0,0,0 -> 120"},
                    ConnectionRound("10.0.0.4:80", 6, "10061"),
                    {"IsDestinationReachableW \"molra-server\" qoc=16,0,0,0 -> 120", kStartupOk,
                     "gethostbyname \"molra-server\" -> null", kCleanupOk,
                     "IsDestinationReachableW \"nas:8080\" qoc=16,0,0,0 -> 120", kStartupOk,
                     "gethostbyname \"nas\" -> 1 addresses", kCleanupOk},
                    ConnectionRound("10.0.0.1:8080", 7, nullptr),
                    {"IsDestinationReachableW \"10.0.0.5\" qoc=16,0,0,0 -> 120"},
                    ConnectionRound("10.0.0.5:80", 8, "0"),
                    {"IsDestinationReachableW \"10.0.0.6:8080\" qoc=16,0,0,0 -> 120"},
                    ConnectionRound("10.0.0.6:8080", 9, "0")});
        log = c.log.Take(echoes.size() + calls.size());
        EXPECT_EQ(TakeEchoes(log), echoes) << "echoes";
        EXPECT_EQ(log, calls) << "echo log";
        SetVariable("MOLRA_SHIM_REACH", "192.168.2.1=1,10.0.0.1=2,*=0");

        // The measured time is the check's own.
        SetVariable("MOLRA_SHIM_REACH_DELAY_MS", "300");
        const float slow = molra::ProbeReachability(c.platform, "192.168.2.1");
        EXPECT_TRUE(slow >= 0.29f && slow < 10.0f) << "slow check measured " + std::to_string(slow);
        EXPECT_EQ(c.boxes.Take(), Lines{}) << "boxes";
    });
}

// Wine's own winsock and sensapi: the machine's host name through its own resolver.
TEST_F(Win32Layer, real_winsock) {
    RunCase(L"builtin", [](Context& c) {
        if (molra::InitSockets(c.platform) != molra::SocketStatus::Ok) {
            ADD_FAILURE() << "Wine's WSAStartup failed";
            return;
        }
        const std::string name = molra::GetLocalHostName(c.platform);
        EXPECT_TRUE(molra::CleanSockets(c.platform) == molra::SocketStatus::Ok)
            << "Wine's WSACleanup";
        char expected[256] = {};
        DWORD size = sizeof expected;
        GetComputerNameExA(ComputerNameDnsHostname, expected, &size);
        EXPECT_TRUE(!name.empty() && _stricmp(name.c_str(), expected) == 0)
            << "host name \"" + name + "\", computer says \"" + expected + "\"";

        const molra::DeterminedAddress derived = molra::DetermineServerAddress(c.platform);
        EXPECT_TRUE(derived.status == molra::SocketStatus::Ok) << "derivation status";
        std::string shown;
        for (const std::string& candidate : derived.candidates) {
            int fields = 1;
            for (char ch : candidate) fields += ch == '.';
            EXPECT_TRUE(fields == 4 && candidate.ends_with(".1")) << "derived " + candidate;
            shown += " \"" + candidate + '"';
        }
        std::printf("host \"%s\" gives%s\n", name.c_str(), shown.empty() ? " none" : shown.c_str());

        // Wine's sensapi is a stub that answers TRUE and sends nothing; loopback only all the same.
        EXPECT_TRUE(molra::ProbeReachability(c.platform, "127.0.0.1") != molra::kUnreachable)
            << "Wine's check of 127.0.0.1";
        EXPECT_TRUE(!c.log.Exists()) << "a shim was loaded instead of Wine's own DLLs";
        EXPECT_EQ(c.boxes.Take(), Lines{}) << "boxes";
    });
}

// The default-handler path enters a single-threaded COM apartment first, as
// ShellExecuteEx asks; a scheme nobody handles keeps anything from starting.
// S_OK only when the thread is in no apartment: whoever entered has left it as often.
void ExpectOutsideCom(const char* when) {
    const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(entered, S_OK) << "COM still entered " << when;
    if (SUCCEEDED(entered)) CoUninitialize();
}

TEST_F(Win32Layer, default_handler_com) {
    RunCase(L"native", [](Context& c) {
        const char* url = "molra-kein-schema:x";
        EXPECT_TRUE(c.platform.OpenWithDefaultHandler(url) != 0) << "unknown scheme opened";
        ExpectOutsideCom("after the default handler");
        // The caller's own apartment (S_FALSE inside) stays, entered once.
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_TRUE(c.platform.OpenWithDefaultHandler(url) != 0);
        CoUninitialize();
        ExpectOutsideCom("after the caller's apartment around the default handler");
        // The other apartment refuses (RPC_E_CHANGED_MODE), which leaves nothing to balance.
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_TRUE(c.platform.OpenWithDefaultHandler(url) != 0);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE)
            << "the caller's multithreaded apartment was left";
        CoUninitialize();
        CoUninitialize();
        ExpectOutsideCom("after the caller's multithreaded apartment");
        {
            molra::ComApartment apartment;
            EXPECT_TRUE(apartment.Enter(COINIT_APARTMENTTHREADED));
            EXPECT_TRUE(apartment.Enter(COINIT_APARTMENTTHREADED)) << "entered, asked again";
        }
        ExpectOutsideCom("after the owner asked twice");
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            molra::ComApartment apartment;
            EXPECT_FALSE(apartment.Enter(COINIT_APARTMENTTHREADED)) << "other apartment";
        }
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE)
            << "a refused owner left the caller's apartment";
        CoUninitialize();
        CoUninitialize();
        ExpectOutsideCom("after a refused owner");
        EXPECT_EQ(c.boxes.Take(), Lines{}) << "boxes";
    });
}

// --- the window --------------------------------------------------------------

// Refuses the window's controls, so that its WM_CREATE fails as when USER
// handles run out. Windows then destroys the window (WM_DESTROY and all)
// before CreateWindowExW returns; Wine frees it without a word, so the hook
// destroys it here, as Windows would a moment later.
LRESULT CALLBACK RefuseControls(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        HWND parent = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->hwndParent;
        wchar_t parentClass[32] = {};
        if (parent) GetClassNameW(parent, parentClass, 32);
        if (std::wstring(parentClass) == L"MOLRAvin") {
            DestroyWindow(parent);
            return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct FailureBox {
    std::string text;
    bool stayed = false;
};

// Reads the box, checks a second later that it is still there, presses OK.
// Only this process's boxes count: another process's box must not hide it.
DWORD WINAPI WatchFailureBox(void* param) {
    auto& seen = *static_cast<FailureBox*>(param);
    std::optional<e2e::MsgBox> box;
    for (int tries = 0; tries < 6000 && !box; ++tries, Sleep(10))
        box = e2e::FindMessageBox(GetCurrentProcessId());
    if (!box) return 0;
    seen.text = box->text;
    Sleep(1000);
    seen.stayed = IsWindow(box->window) && IsWindowVisible(box->window);
    e2e::ClickOk(box->window);
    return 0;
}

// The window-failure box can be read: it stays until OK, then the exit code is not 0.
TEST(Win32Window, window_failure_box_stays) {
    const HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseControls, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    FailureBox seen;
    const molra::UniqueHandle watcher(CreateThread(nullptr, 0, WatchFailureBox, &seen, 0, nullptr));
    ASSERT_TRUE(watcher);
    molra::Win32Platform platform;
    molra::WindowAssets assets;
    const int exitCode = molra::RunMainWindow(platform, GetModuleHandleW(nullptr), assets);
    // A quit queued during the failed creation ends the box at once.
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "a quit behind the box";
    WaitForSingleObject(watcher.get(), 10000);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(seen.text.substr(0, kWindowFailed.size()), kWindowFailed);
    EXPECT_TRUE(seen.stayed) << "the box closed by itself";
    EXPECT_NE(exitCode, 0);
}

std::wstring received;

LRESULT CALLBACK TakeText(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SETTEXT) return DefWindowProcW(window, message, wParam, lParam);
    received = reinterpret_cast<const wchar_t*>(lParam);
    return TRUE;
}

struct Hand {
    HWND window;
    LPARAM data;
    bool taken = false;
};

DWORD WINAPI HandOver(void* param) {
    auto& hand = *static_cast<Hand*>(param);
    hand.taken = molra::PostOrSend(hand.window, WM_SETTEXT, hand.data);
    return 0;
}

// A result whose post is refused is sent; a window that is gone takes nothing.
// Wine has no limit of posted messages (100,000 were taken here), so a post
// is refused the way Wine and Windows both refuse one: a message below
// WM_USER that carries a pointer may only be sent.
TEST(Win32Window, refused_post_is_sent) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TakeText;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"Refusing";
    ASSERT_TRUE(RegisterClassW(&windowClass));
    HWND window = CreateWindowExW(0, L"Refusing", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    ASSERT_TRUE(window);
    const wchar_t text[] = L"Ergebnis";
    const auto data = reinterpret_cast<LPARAM>(text);
    ASSERT_FALSE(PostMessageW(window, WM_SETTEXT, 0, data)) << "the post was taken";
    for (const bool gone : {false, true}) {
        SCOPED_TRACE(gone ? "window gone" : "window there");
        received.clear();
        if (gone) DestroyWindow(window);
        Hand hand{window, data};
        const molra::UniqueHandle owner(CreateThread(nullptr, 0, HandOver, &hand, 0, nullptr));
        ASSERT_TRUE(owner);
        const HANDLE thread = owner.get();
        MSG message;  // answers the sent message
        while (MsgWaitForMultipleObjects(1, &thread, FALSE, 5000, QS_SENDMESSAGE) ==
               WAIT_OBJECT_0 + 1)
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        EXPECT_EQ(hand.taken, !gone);
        EXPECT_EQ(molra::Narrow(received), gone ? "" : "Ergebnis");
    }
    UnregisterClassW(L"Refusing", windowClass.hInstance);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == kChildSwitch) {
            inChild = true;
        } else {
            std::printf(
                "usage: win32_layer_test [--gtest_filter=Win32Layer.<case>] [gtest flags]\n");
            return 2;
        }
    }
    return RUN_ALL_TESTS();
}
