// The real Win32 socket and probe calls, run through the core against the
// test shims (or Wine's own DLLs): checks the results, the message boxes and
// the shim log.
//
//   win32_layer_test.exe <case>
//
// The DLL overrides of an exe are read when Wine starts it, so the exe first
// writes its own AppDefaults entry and then runs the case in a child copy of
// itself. The child answers its own message boxes from a watcher thread.
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <bit>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/net.h"
#include "platform/win32/win32_platform.h"

namespace {

using Lines = std::vector<std::string>;

constexpr DWORD kChildTimeoutMs = 60000;
const wchar_t kChildSwitch[] = L"--child";

// --- message boxes -----------------------------------------------------------

class BoxWatcher {
public:
    BoxWatcher() { thread_ = CreateThread(nullptr, 0, &BoxWatcher::Run, this, 0, nullptr); }
    ~BoxWatcher() {
        stop_ = true;
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
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
        while (!watcher->stop_) {
            EnumWindows(&BoxWatcher::Visit, reinterpret_cast<LPARAM>(watcher));
            Sleep(20);
        }
        return 0;
    }
    static BOOL CALLBACK Visit(HWND window, LPARAM self) {
        auto* watcher = reinterpret_cast<BoxWatcher*>(self);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        if (process != GetCurrentProcessId() || std::wstring(className) != L"#32770" ||
            !IsWindowVisible(window) || window == watcher->lastBox_)
            return TRUE;
        wchar_t caption[256] = {};
        wchar_t text[1024] = {};
        GetWindowTextW(window, caption, 256);
        GetDlgItemTextW(window, 0xFFFF, text, 1024);
        {
            std::lock_guard lock(watcher->mutex_);
            watcher->seen_.push_back(molra::Narrow(caption, wcslen(caption)) + "|" +
                                     molra::Narrow(text, wcslen(text)));
        }
        watcher->lastBox_ = window;
        if (HWND ok = GetDlgItem(window, IDOK)) SendMessageW(ok, BM_CLICK, 0, 0);
        else PostMessageW(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }

    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_ = false;
    HWND lastBox_ = nullptr;  // answered already; handles are not reused at once
    std::mutex mutex_;
    Lines seen_;
};

// --- the shims' steering and their log ---------------------------------------

void SetVariable(const char* name, const char* value) { SetEnvironmentVariableA(name, value); }

void SetVariableUtf8(const char* name, const std::string& value) {
    SetEnvironmentVariableW(molra::Widen(name).c_str(), molra::Widen(value).c_str());
}

class ShimLog {
public:
    explicit ShimLog(const std::wstring& caseName) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"molra_shim_" + caseName + L".log";
        SetEnvironmentVariableW(L"MOLRA_SHIM_LOG", path_.c_str());
        Clear();
    }
    void Clear() { DeleteFileW(path_.c_str()); }
    bool Exists() const { return GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }
    // Every line written since the last Clear, and clears.
    Lines Take() {
        Lines lines;
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::string content;
            char buffer[4096];
            DWORD read = 0;
            while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
                content.append(buffer, read);
            CloseHandle(file);
            std::size_t start = 0;
            for (std::size_t end; (end = content.find('\n', start)) != std::string::npos;
                 start = end + 1)
                lines.push_back(content.substr(start, end - start));
        }
        Clear();
        return lines;
    }

private:
    std::wstring path_;
};

// --- checks ------------------------------------------------------------------

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (ok) return;
    ++failures;
    std::printf("FAIL: %s\n", what.c_str());
}

std::string Show(const Lines& lines) {
    std::string shown = "[";
    for (const std::string& line : lines) shown += "\n    " + line;
    return shown + "]";
}

std::string Show(const std::optional<std::string>& text) { return text ? '"' + *text + '"' : "none"; }

void CheckLines(const Lines& actual, const Lines& expected, const std::string& what) {
    Check(actual == expected, what + ": got " + Show(actual) + "\n  expected " + Show(expected));
}

void CheckAddress(const molra::DeterminedAddress& actual, molra::SocketStatus status,
                  const std::optional<std::string>& address, const std::string& what) {
    Check(actual.status == status, what + ": status");
    Check(actual.address == address,
          what + ": address " + Show(actual.address) + ", expected " + Show(address));
}

const char kStartupOk[] = "WSAStartup version=257 record=zeroed -> 0";
const char kCleanupOk[] = "WSACleanup -> 0";
const std::string kBox = "MOLRAvin|";

Lines Cycle(const std::string& name, const std::string& lookup) {
    return {kStartupOk, "gethostname length=256 buffer=zeroed -> 0 \"" + name + "\"",
            "gethostbyname \"" + name + "\" -> " + lookup, kCleanupOk};
}

void ResetShims() {
    for (const char* name : {"MOLRA_SHIM_STARTUP", "MOLRA_SHIM_CLEANUP", "MOLRA_SHIM_HOSTNAME",
                             "MOLRA_SHIM_HOSTNAME_ERROR", "MOLRA_SHIM_ADDRESSES",
                             "MOLRA_SHIM_REACH", "MOLRA_SHIM_REACH_DELAY_MS", "MOLRA_SHIM_ECHO"})
        SetVariable(name, nullptr);
    SetVariable("MOLRA_SHIM_HOSTNAME", "molra-pc");
}

// --- cases -------------------------------------------------------------------

struct Context {
    molra::Win32Platform platform;
    BoxWatcher boxes;
    ShimLog& log;
};

void FirstAddressOfSeveral(Context& c) {
    SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10,10.0.0.7");
    CheckAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok, "192.168.2.1",
                 "first of two");
    CheckLines(c.log.Take(), Cycle("molra-pc", "2 addresses"), "log");
    CheckLines(c.boxes.Take(), {}, "boxes");
}

void AddressShapes(Context& c) {
    const struct {
        const char* addresses;
        std::optional<std::string> expected;
        const char* lookup;
    } rows[] = {
        {"127.0.0.1", "127.0.0.1", "1 addresses"},
        {"10.0.0.7", "10.0.0.1", "1 addresses"},
        {"1.2.3.4.5", "1.2.3.1.5", "1 addresses"},  // h_length 5: every byte is read
        {"10.0.0", std::nullopt, "1 addresses"},
        {"none", std::nullopt, "0 addresses"},
        {"", std::nullopt, "0 addresses"},
        {"null", std::nullopt, "null"},
    };
    for (const auto& row : rows) {
        SetVariable("MOLRA_SHIM_ADDRESSES", row.addresses);
        CheckAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok,
                     row.expected, row.addresses);
        CheckLines(c.log.Take(), Cycle("molra-pc", row.lookup), row.addresses);
    }
    CheckLines(c.boxes.Take(), {}, "boxes");
}

void HostNameThroughTheCodePage(Context& c) {
    // Leading blanks go; the name makes the round trip ANSI -> UTF-8 -> ANSI.
    SetVariableUtf8("MOLRA_SHIM_HOSTNAME", "  Rechner-\xC3\xA4");
    SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
    CheckAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok, "192.168.2.1",
                 "name with blanks and umlaut");
    CheckLines(c.log.Take(),
               {kStartupOk, "gethostname length=256 buffer=zeroed -> 0 \"  Rechner-\xC3\xA4\"",
                "gethostbyname \"Rechner-\xC3\xA4\" -> 1 addresses", kCleanupOk},
               "log");
    CheckLines(c.boxes.Take(), {}, "boxes");
}

void HostNameFailure(Context& c) {
    SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
    for (const char* code : {"10093", "-5"}) {
        SetVariable("MOLRA_SHIM_HOSTNAME_ERROR", code);
        CheckAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok,
                     "192.168.2.1", std::string("host name error ") + code);
        CheckLines(c.log.Take(),
                   {kStartupOk, "gethostname length=256 buffer=zeroed -> -1",
                    std::string("WSAGetLastError -> ") + code,
                    "gethostbyname \"\" -> 1 addresses", kCleanupOk},
                   "log");
    }
    CheckLines(c.boxes.Take(),
               {kBox + "Windows Sockets error  10093", kBox + "Windows Sockets error -5"}, "boxes");
}

void StartupFailure(Context& c) {
    SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
    SetVariable("MOLRA_SHIM_STARTUP", "10091");
    CheckAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Fatal,
                 std::nullopt, "start-up failure");
    CheckLines(c.log.Take(), {"WSAStartup version=257 record=zeroed -> 10091"}, "log");
    CheckLines(c.boxes.Take(), {kBox + "'winsock.dll' antwortet nicht !"}, "boxes");
}

void CleanupFailure(Context& c) {
    SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
    SetVariable("MOLRA_SHIM_CLEANUP", "-1");
    CheckAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Fatal,
                 std::nullopt, "clean-up failure");
    Lines expected = Cycle("molra-pc", "1 addresses");
    expected.back() = "WSACleanup -> -1";
    CheckLines(c.log.Take(), expected, "log");
    CheckLines(c.boxes.Take(), {kBox + "Socket Error -1 in Prozedur 'CleanSockets' aufgetreten !"},
               "boxes");
}

void TwoCycles(Context& c) {
    SetVariable("MOLRA_SHIM_ADDRESSES", "192.168.2.10");
    CheckAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok, "192.168.2.1",
                 "first");
    SetVariable("MOLRA_SHIM_ADDRESSES", "10.0.0.7");
    CheckAddress(molra::DetermineServerAddress(c.platform), molra::SocketStatus::Ok, "10.0.0.1",
                 "second");
    const Lines cycle = Cycle("molra-pc", "1 addresses");
    Lines expected = cycle;
    expected.insert(expected.end(), cycle.begin(), cycle.end());
    CheckLines(c.log.Take(), expected, "log");
}

void Probe(Context& c) {
    SetVariable("MOLRA_SHIM_ECHO_WAIT_MS", "0");  // this case measures no time of the echo
    SetVariable("MOLRA_SHIM_REACH", "192.168.2.1=1,10.0.0.1=2,*=0");
    const float reachable = molra::ProbeReachability(c.platform, "192.168.2.1");
    Check(reachable >= 0.0f && reachable < 1.0f, "answer 1: " + std::to_string(reachable));
    for (const char* address : {"10.0.0.1", "172.16.0.1", ""})
        Check(std::bit_cast<std::uint32_t>(molra::ProbeReachability(c.platform, address)) ==
                  0xBF800000u,
              std::string("unreachable \"") + address + "\"");
    const std::string none = " timeout=1000 -> none";
    CheckLines(c.log.Take(),
               {"IsDestinationReachableW \"192.168.2.1\" qoc=16,0,0,0 -> 1",
                "IsDestinationReachableW \"10.0.0.1\" qoc=16,0,0,0 -> 2",
                "IcmpSendEcho 10.0.0.1" + none, "IcmpSendEcho 10.0.0.1" + none,
                "IcmpSendEcho 10.0.0.1" + none,
                "IsDestinationReachableW \"172.16.0.1\" qoc=16,0,0,0 -> 0",
                "IcmpSendEcho 172.16.0.1" + none, "IcmpSendEcho 172.16.0.1" + none,
                "IcmpSendEcho 172.16.0.1" + none,
                "IsDestinationReachableW \"\" qoc=16,0,0,0 -> 0"},
               "log");

    // Only 1 is trusted: the echo decides the rest, a name's address looked up first.
    SetVariable("MOLRA_SHIM_REACH", "10.0.0.1=120,10.0.0.2=0/120,10.0.0.3=0/5,*=120");
    SetVariable("MOLRA_SHIM_ECHO", "10.0.0.1=reply,10.0.0.2=other,10.0.0.3=reply,*=unreachable");
    SetVariable("MOLRA_SHIM_NAMES", "nas=10.0.0.1");
    const struct {
        const char* address;
        bool reachable;
    } echoRows[] = {{"10.0.0.1", true}, {"10.0.0.2", false}, {"10.0.0.3", true},
                    {"10.0.0.4", false}, {"molra-server", false}, {"nas:8080", true}};
    for (const auto& row : echoRows)
        Check((molra::ProbeReachability(c.platform, row.address) != molra::kUnreachable) ==
                  row.reachable,
              std::string("echo row ") + row.address);
    const std::string echo = " timeout=1000 -> ";
    CheckLines(c.log.Take(),
               {"IsDestinationReachableW \"10.0.0.1\" qoc=16,0,0,0 -> 120",
                "IcmpSendEcho 10.0.0.1" + echo + "reply",
                "IsDestinationReachableW \"10.0.0.2\" qoc=16,0,0,0 -> 0/120",
                "IcmpSendEcho 10.0.0.2" + echo + "other", "IcmpSendEcho 10.0.0.2" + echo + "other",
                "IcmpSendEcho 10.0.0.2" + echo + "other",
                "IsDestinationReachableW \"10.0.0.3\" qoc=16,0,0,0 -> 0/5",
                "IcmpSendEcho 10.0.0.3" + echo + "reply",
                "IsDestinationReachableW \"10.0.0.4\" qoc=16,0,0,0 -> 120",
                "IcmpSendEcho 10.0.0.4" + echo + "unreachable",
                "IcmpSendEcho 10.0.0.4" + echo + "unreachable",
                "IcmpSendEcho 10.0.0.4" + echo + "unreachable",
                "IsDestinationReachableW \"molra-server\" qoc=16,0,0,0 -> 120", kStartupOk,
                "gethostbyname \"molra-server\" -> null", kCleanupOk,
                "IsDestinationReachableW \"nas:8080\" qoc=16,0,0,0 -> 120", kStartupOk,
                "gethostbyname \"nas\" -> 1 addresses", kCleanupOk,
                "IcmpSendEcho 10.0.0.1" + echo + "reply"},
               "echo log");
    SetVariable("MOLRA_SHIM_REACH", "192.168.2.1=1,10.0.0.1=2,*=0");

    // The measured time is the check's own.
    SetVariable("MOLRA_SHIM_REACH_DELAY_MS", "300");
    const float slow = molra::ProbeReachability(c.platform, "192.168.2.1");
    Check(slow >= 0.29f && slow < 10.0f, "slow check measured " + std::to_string(slow));
    CheckLines(c.boxes.Take(), {}, "boxes");
}

// Wine's own winsock and sensapi: the machine's host name through its own resolver.
void RealWinsock(Context& c) {
    if (molra::InitSockets(c.platform) != molra::SocketStatus::Ok) {
        Check(false, "Wine's WSAStartup failed");
        return;
    }
    const std::string name = molra::GetLocalHostName(c.platform);
    Check(molra::CleanSockets(c.platform) == molra::SocketStatus::Ok, "Wine's WSACleanup");
    char expected[256] = {};
    DWORD size = sizeof expected;
    GetComputerNameExA(ComputerNameDnsHostname, expected, &size);
    Check(!name.empty() && _stricmp(name.c_str(), expected) == 0,
          "host name \"" + name + "\", computer says \"" + expected + "\"");

    const molra::DeterminedAddress derived = molra::DetermineServerAddress(c.platform);
    Check(derived.status == molra::SocketStatus::Ok, "derivation status");
    if (derived.address) {
        int fields = 1;
        for (char ch : *derived.address) fields += ch == '.';
        Check(fields == 4 && derived.address->ends_with(".1"), "derived " + *derived.address);
    }
    std::printf("host \"%s\" gives %s\n", name.c_str(), Show(derived.address).c_str());

    // Wine's sensapi is a stub that answers TRUE and sends nothing; loopback only all the same.
    Check(molra::ProbeReachability(c.platform, "127.0.0.1") != molra::kUnreachable,
          "Wine's check of 127.0.0.1");
    Check(!c.log.Exists(), "a shim was loaded instead of Wine's own DLLs");
    CheckLines(c.boxes.Take(), {}, "boxes");
}

// The default-handler path enters a single-threaded COM apartment first, as
// ShellExecuteEx asks; a scheme nobody handles keeps anything from starting.
void DefaultHandlerCom(Context& c) {
    Check(c.platform.OpenWithDefaultHandler("molra-kein-schema:x") != 0, "unknown scheme opened");
    const HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Check(again == S_FALSE, "apartment before ShellExecuteExW: CoInitializeEx gave " +
                                std::to_string(static_cast<long>(again)));
    if (SUCCEEDED(again)) CoUninitialize();
    CheckLines(c.boxes.Take(), {}, "boxes");
}

struct Case {
    const wchar_t* name;
    const wchar_t* loadOrder;  // for wsock32, sensapi and iphlpapi
    void (*run)(Context&);
};

const Case kCases[] = {
    {L"first_address", L"native", FirstAddressOfSeveral},
    {L"address_shapes", L"native", AddressShapes},
    {L"hostname_codepage", L"native", HostNameThroughTheCodePage},
    {L"hostname_failure", L"native", HostNameFailure},
    {L"startup_failure", L"native", StartupFailure},
    {L"cleanup_failure", L"native", CleanupFailure},
    {L"two_cycles", L"native", TwoCycles},
    {L"probe", L"native", Probe},
    {L"real_winsock", L"builtin", RealWinsock},
    {L"default_handler_com", L"native", DefaultHandlerCom},
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
        Check(_wcsnicmp(loaded.c_str(), expectedFolder.c_str(), expectedFolder.size()) == 0 &&
                  loaded.find(L'\\', expectedFolder.size()) == std::wstring::npos,
              molra::Narrow(dll, wcslen(dll)) + " loaded from " + molra::Narrow(loaded));
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
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const wchar_t* dll : {L"wsock32", L"sensapi", L"iphlpapi"})
        ok &= RegSetValueExW(handle, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(loadOrder),
                             static_cast<DWORD>((wcslen(loadOrder) + 1) * sizeof(wchar_t))) ==
              ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

int RunChild(const std::wstring& exe, const std::wstring& caseName) {
    std::wstring commandLine = L"\"" + exe + L"\" " + kChildSwitch + L" " + caseName;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
        std::printf("FAIL: cannot start the child (%lu)\n", GetLastError());
        return 1;
    }
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, kChildTimeoutMs) != WAIT_OBJECT_0) {
        std::printf("FAIL: the child did not end in time\n");
        TerminateProcess(process.hProcess, 1);
    } else {
        GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const bool child = argc == 3 && std::wstring(argv[1]) == kChildSwitch;
    const std::wstring caseName = argc >= 2 ? argv[argc - 1] : L"";
    const Case* selected = nullptr;
    for (const Case& candidate : kCases)
        if (caseName == candidate.name) selected = &candidate;
    if (!selected || (argc != 2 && !child)) {
        std::printf("usage: win32_layer_test <case>; cases:");
        for (const Case& candidate : kCases) std::printf(" %ls", candidate.name);
        std::printf("\n");
        return 2;
    }
    if (!child) {
        if (!SetOverrides(selected->loadOrder)) {
            std::printf("FAIL: cannot write the DLL overrides\n");
            return 1;
        }
        const int code = RunChild(ExePath(), caseName);
        std::printf("%ls: %s\n", caseName.c_str(), code == 0 ? "passed" : "FAILED");
        std::fflush(stdout);
        return code;
    }

    ResetShims();
    ShimLog log(caseName);
    {
        Context context{{}, {}, log};
        selected->run(context);
    }
    log.Clear();
    CheckLoadedFromSystem32();
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
