// Looks, from inside the Wine prefix, at what the installer package did: the
// shortcut's fields, the program started through it, the product's
// registration and any trace left in the registry. Prints UTF-8 lines that
// tests/packaging/msi_test.sh checks; exit code 0 means the command worked.
//
//   pkg_probe lnk <file.lnk>                      target=, workdir=, arguments=, icon=,
//   description= pkg_probe start-lnk <file.lnk> [<notice> <window title>]
//       starts the shortcut's target in its working folder; given the texts, expects the
//       notice box with that text, presses OK, expects the window with that title and
//       closes it with WM_CLOSE; without them, expects no message box. Waits for the end.
//   pkg_probe products <{UpgradeCode}>           one "product=<code> <version>" line per related
//   product pkg_probe registry-traces <needle>...        one "trace=" line per key, value or data
//   holding a needle
//                                                ({GUID} needles are also looked for in packed
//                                                form)
//   pkg_probe -nomerge <url> | pkg_probe <url>   stands in for the browser: appends its
//                                                command line to %MOLRA_PKG_BROWSER_LOG%
#include <windows.h>
#include <msi.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/owners_win.h"
#include "platform/win32/text_win.h"
#include "rig/rig.h"

namespace {

constexpr DWORD kTimeout = 20000;  // ms, every wait for the program under test
constexpr DWORD kPoll = 50;

using e2e::Lower;
using molra::ComPtr;
using molra::Narrow;  // the program's own
using molra::UniqueHandle;

void Print(const char* key, const std::wstring& value) {
    std::printf("%s=%s\n", key, Narrow(value).c_str());
}

int Fail(const char* what, DWORD code = GetLastError()) {
    std::fprintf(stderr, "pkg_probe: %s (error %lu)\n", what, static_cast<unsigned long>(code));
    return 1;
}

// ---- the shortcut file ------------------------------------------------------------------

int ShowLink(const wchar_t* path) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put()))))
        return Fail("no shell link object");
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()))) ||
        FAILED(file->Load(path, STGM_READ)))
        return Fail("cannot load the shortcut");
    wchar_t text[INFOTIPSIZE] = {};
    int index = -1;
    // Raw: the shortcut's own text, not resolved against this machine.
    link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    Print("target", text);
    text[0] = L'\0';
    link->GetWorkingDirectory(text, MAX_PATH);
    Print("workdir", text);
    text[0] = L'\0';
    link->GetArguments(text, INFOTIPSIZE);
    Print("arguments", text);
    text[0] = L'\0';
    link->GetIconLocation(text, MAX_PATH, &index);
    Print("icon", std::wstring(text) + (text[0] ? L"," + std::to_wstring(index) : L""));
    text[0] = L'\0';
    link->GetDescription(text, INFOTIPSIZE);
    Print("description", text);
    return 0;
}

// ---- the program started through the shortcut ------------------------------------------

// The notice box, or the program's own window (any other visible one).
HWND WaitForWindow(HANDLE process, DWORD pid, bool dialog) {
    return e2e::PollForWindow(process, kTimeout, kPoll, [&]() -> HWND {
        for (HWND window : e2e::TopLevelWindowsOf(pid)) {
            if (dialog ? e2e::IsMessageBox(window)
                       : IsWindowVisible(window) && !e2e::IsMessageBox(window))
                return window;
        }
        return nullptr;
    });
}

int StartLink(const wchar_t* path, const wchar_t* notice, const wchar_t* title) {
    // What the shell does with a shortcut: its target, with its arguments, in its
    // working folder. (Wine's ShellExecuteEx on a .lnk hands back no process.)
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put()))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()))) ||
        FAILED(file->Load(path, STGM_READ)))
        return Fail("cannot load the shortcut");
    wchar_t target[MAX_PATH] = {}, folder[MAX_PATH] = {}, arguments[INFOTIPSIZE] = {};
    link->GetPath(target, MAX_PATH, nullptr, 0);
    link->GetWorkingDirectory(folder, MAX_PATH);
    link->GetArguments(arguments, INFOTIPSIZE);
    std::wstring commandLine = L"\"" + std::wstring(target) + L"\"";
    if (arguments[0]) commandLine += L" " + std::wstring(arguments);
    const auto started = e2e::StartProcess(target, commandLine, folder);
    if (!started) return Fail("cannot start the shortcut's target");
    const HANDLE process = started->process.get();
    const DWORD pid = started->pid;
    int result = 0;
    auto check = [&result](bool ok, const char* what) {
        if (!ok) result = Fail(what, 0);
        return ok;
    };

    // Without a notice to expect, any message box is a failure; the wait ends when the
    // program does.
    const HWND shown = WaitForWindow(process, pid, true);
    const auto box = shown ? e2e::FindMessageBox(pid) : std::nullopt;
    if (!notice && box) {
        Print("unexpected message", molra::Widen(box->text));
        check(false, "the program showed a message box");
    }
    if (notice && check(box.has_value(), "no notice box appeared")) {
        Print("notice", molra::Widen(box->text));
        check(box->text == Narrow(notice), "the notice box has another text");
        check(e2e::ClickOk(box->window), "the notice box has no OK button");
        const HWND window = WaitForWindow(process, pid, false);
        if (check(window != nullptr, "no window after OK")) {
            const std::string caption = e2e::WindowText(window);
            Print("window", molra::Widen(caption));
            check(caption == Narrow(title), "the window has another title");
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    }
    if (result != 0) TerminateProcess(process, 1);
    if (WaitForSingleObject(process, kTimeout) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, kTimeout);
        result = Fail("the program did not end", 0);
    } else {
        DWORD code = 1;
        GetExitCodeProcess(process, &code);
        std::printf("exit=%lu\n", static_cast<unsigned long>(code));
    }
    return result;
}

// ---- the product's registration ---------------------------------------------------------

int ShowProducts(const wchar_t* upgradeCode) {
    wchar_t product[39];
    for (DWORD i = 0;; ++i) {
        const UINT status = MsiEnumRelatedProductsW(upgradeCode, 0, i, product);
        if (status == ERROR_NO_MORE_ITEMS) return 0;
        if (status != ERROR_SUCCESS) return Fail("MsiEnumRelatedProducts failed", status);
        wchar_t version[64] = {};
        DWORD size = 64;
        MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, version, &size);
        std::printf("product=%s %s\n", Narrow(product).c_str(), Narrow(version).c_str());
    }
}

// ---- traces in the registry -------------------------------------------------------------

// Windows Installer keys its registry entries by the GUID with each group's
// digits reversed: the first three groups whole, the last two byte by byte.
std::wstring PackedGuid(const std::wstring& guid) {
    if (guid.size() != 38 || guid.front() != L'{' || guid.back() != L'}') return {};
    std::wstring hex;
    for (wchar_t c : guid.substr(1, 36))
        if (c != L'-') hex += c;
    if (hex.size() != 32) return {};
    std::wstring packed;
    auto reversed = [&](size_t from, size_t count) {
        packed.append(hex.rbegin() + static_cast<long>(32 - from - count),
                      hex.rbegin() + static_cast<long>(32 - from));
    };
    reversed(0, 8);
    reversed(8, 4);
    reversed(12, 4);
    for (size_t i = 16; i < 32; i += 2) reversed(i, 2);
    return packed;
}

struct Search {
    std::vector<std::wstring> needles;  // lower case
    int hits = 0;

    bool Matches(const std::wstring& text) const {
        const std::wstring lower = Lower(text);
        return std::any_of(needles.begin(), needles.end(), [&](const std::wstring& needle) {
            return lower.find(needle) != std::wstring::npos;
        });
    }

    void Report(const std::wstring& where) {
        ++hits;
        Print("trace", where);
    }

    void Walk(HKEY root, const std::wstring& path) {
        molra::RegKey owner;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, owner.put()) != ERROR_SUCCESS) return;
        const HKEY key = owner.get();
        DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0, maxData = 0;
        if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values,
                             &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS)
            return;
        // One call per value and per subkey: under Wine each is a trip to the server.
        std::vector<wchar_t> name(std::max(maxName, maxSubkey) + 2);
        std::vector<BYTE> data(maxData + 2 * sizeof(wchar_t));
        for (DWORD i = 0; i < values; ++i) {
            DWORD nameSize = static_cast<DWORD>(name.size()), type = 0;
            DWORD dataSize = static_cast<DWORD>(data.size() - sizeof(wchar_t));
            std::fill(data.begin(), data.end(), BYTE{0});
            if (RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(),
                              &dataSize) != ERROR_SUCCESS)
                continue;
            std::wstring value;
            if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
                value.assign(reinterpret_cast<const wchar_t*>(data.data()),
                             dataSize / sizeof(wchar_t));
                std::replace(value.begin(), value.end(), L'\0', L' ');
            }
            const std::wstring valueName(name.data(), nameSize);
            if (Matches(valueName) || Matches(value))
                Report(path + L" : " + valueName + L" = " + value);
        }
        std::vector<std::wstring> children;
        for (DWORD i = 0; i < subkeys; ++i) {
            DWORD nameSize = static_cast<DWORD>(name.size());
            if (RegEnumKeyExW(key, i, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr) ==
                ERROR_SUCCESS)
                children.emplace_back(name.data(), nameSize);
        }
        owner.reset();
        for (const auto& child : children) {
            const std::wstring childPath = path + L"\\" + child;
            if (Matches(child)) Report(childPath);
            Walk(root, childPath);
        }
    }
};

int RegistryTraces(int count, wchar_t** needles) {
    Search search;
    for (int i = 0; i < count; ++i) {
        search.needles.push_back(Lower(needles[i]));
        const std::wstring packed = PackedGuid(needles[i]);
        if (!packed.empty()) search.needles.push_back(Lower(packed));
    }
    search.Walk(HKEY_LOCAL_MACHINE, L"Software");
    search.Walk(HKEY_CURRENT_USER, L"Software");
    std::printf("traces=%d\n", search.hits);
    return 0;
}

// ---- the browser's stand-in -------------------------------------------------------------

int RecordBrowser() {
    wchar_t log[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"MOLRA_PKG_BROWSER_LOG", log, MAX_PATH))
        return Fail("MOLRA_PKG_BROWSER_LOG is not set", 0);
    const UniqueHandle file(CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Fail("cannot open the browser log");
    const std::string line = Narrow(GetCommandLineW()) + "\n";
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: pkg_probe lnk|start-lnk|products|registry-traces ...\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"-nomerge" || command.rfind(L"http://", 0) == 0) return RecordBrowser();
    if (command == L"products" && argc == 3) return ShowProducts(argv[2]);
    if (command == L"registry-traces" && argc >= 3) return RegistryTraces(argc - 2, argv + 2);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("no COM", 0);
    int result;
    if (command == L"lnk" && argc == 3) result = ShowLink(argv[2]);
    else if (command == L"start-lnk" && argc == 3)
        result = StartLink(argv[2], nullptr, nullptr);
    else if (command == L"start-lnk" && argc == 5)
        result = StartLink(argv[2], argv[3], argv[4]);
    else
        result = Usage();
    CoUninitialize();
    return result;
}
