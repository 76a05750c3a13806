// Text, files and registry inside the prefix, and the rig's baseline.
#include <algorithm>
#include <cstdio>

#include "driver/internal.h"

namespace e2e {

// ---- text ---------------------------------------------------------------------------

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                    out += hex;
                } else {
                    out += c;  // UTF-8 passes through readable
                }
        }
    }
    return out + "\"";
}

std::string SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return Narrow(text);
}

void SleepMs(DWORD ms) {
    // The driver's thread has windows of its own once it talks to other
    // windows; left unpumped they would stall whoever sends to them.
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeout) {
    const ULONGLONG deadline = GetTickCount64() + timeout;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        SleepMs(25);
    }
    return true;
}

// ---- files ----------------------------------------------------------------------------

namespace {

std::string Parent(const std::string& path) {
    const auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string LastError(const std::string& what) {
    const DWORD code = GetLastError();
    return what + ": " + SystemErrorText(code) + " (" + std::to_string(code) + ")";
}

}  // namespace

std::string WorkDir() { return "C:\\e2e\\work\\" + ScenarioName(); }

std::string FreshFolder(const std::string& name, Where where) {
    const std::string path = WorkDir() + "\\" + name;
    RemoveTree(path, where);
    MakeDirs(path, where);
    return path;
}

void MakeDirs(const std::string& path, Where where) {
    if (path.empty() || path.back() == ':') return;
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    MakeDirs(Parent(path), where);
    if (!CreateDirectoryW(Widen(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        FailAt(where, LastError("cannot create folder " + Quote(path)));
}

void RemoveTree(const std::string& path, Where where) {
    const std::wstring wide = Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!DeleteFileW(wide.c_str())) FailAt(where, LastError("cannot delete " + Quote(path)));
        return;
    }
    for (const auto& name : ListFolder(path)) RemoveTree(path + "\\" + name, where);
    if (!RemoveDirectoryW(wide.c_str()))
        FailAt(where, LastError("cannot remove folder " + Quote(path)));
}

void WriteFileBytes(const std::string& path, const std::string& bytes, DWORD attributes,
                    Where where) {
    MakeDirs(Parent(path), where);
    const std::wstring wide = Widen(path);
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);  // a hidden file cannot be truncated
    molra::UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) FailAt(where, LastError("cannot create " + Quote(path)));
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    file.reset();
    if (!ok || written != bytes.size()) FailAt(where, LastError("cannot write " + Quote(path)));
    if (attributes && !SetFileAttributesW(wide.c_str(), attributes))
        FailAt(where, LastError("cannot set attributes of " + Quote(path)));
}

std::optional<std::string> ReadFileBytes(const std::string& path, Where where) {
    auto bytes = ReadWholeFile(Widen(path));
    if (!bytes) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
        FailAt(where, LastError("cannot open " + Quote(path)));
    }
    return bytes;
}

DWORD FileAttributes(const std::string& path) { return GetFileAttributesW(Widen(path).c_str()); }

bool FileExists(const std::string& path) { return FileAttributes(path) != INVALID_FILE_ATTRIBUTES; }

void CopyFileTo(const std::string& from, const std::string& to, Where where) {
    MakeDirs(Parent(to), where);
    SetFileAttributesW(Widen(to).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileW(Widen(from).c_str(), Widen(to).c_str(), FALSE))
        FailAt(where, LastError("cannot copy " + Quote(from) + " to " + Quote(to)));
}

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const molra::FindHandle search(FindFirstFileW(Widen(path + "\\*").c_str(), &found));
    if (!search) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (FindNextFileW(search.get(), &found));
    std::sort(names.begin(), names.end());
    return names;
}

std::string UnixPath(const std::string& windowsPath, Where where) {
    using Fn = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) FailAt(where, "UnixPath works under Wine only");
    char* unix = convert(Widen(windowsPath).c_str());
    if (!unix) FailAt(where, "no Unix path for " + Quote(windowsPath));
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

std::string WindowsPath(const std::string& unixPath) {
    using Fn = wchar_t*(CDECL*)(const char*);
    const auto convert = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (convert) {
        if (wchar_t* dos = convert(unixPath.c_str())) {
            std::string result = Narrow(dos);
            HeapFree(GetProcessHeap(), 0, dos);
            return result;
        }
    }
    // Every prefix maps the host's root as Z:.
    std::string result = "Z:" + unixPath;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

// ---- the program's files and the test DLLs ---------------------------------------------

std::string ShortcutBytes(const std::string& url) {
    return "[InternetShortcut]\r\nURL=" + url +
           "\r\nIconIndex=0\r\nIconFile=C:\\Programme\\MOLRAvin\\MOLRAvin.exe\r\n";
}

std::string ShimLogPath() { return "C:\\e2e\\logs\\" + ScenarioName() + "-shim.log"; }

Environment ShimEnvironment(Environment settings, const Environment& changes) {
    for (const auto& [name, value] : changes) settings[name] = value;
    settings["MOLRA_SHIM_LOG"] = ShimLogPath();
    return settings;
}

// ---- registry -----------------------------------------------------------------------------

namespace {

std::string RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    return "HKEY";
}

std::string KeyName(HKEY root, const std::string& subKey, const std::string& name) {
    return RootName(root) + "\\" + subKey + (name.empty() ? " (default)" : " " + Quote(name));
}

}  // namespace

std::string Utf16Bytes(const std::string& utf8) {
    const std::wstring wide = Widen(utf8);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

void SetRegValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                 const std::string& data, Where where) {
    molra::RegKey key;
    LONG status = RegCreateKeyExW(root, Widen(subKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.get(), Widen(name).c_str(), 0, type,
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size()));
    }
    if (status != ERROR_SUCCESS)
        FailAt(where, "cannot set " + KeyName(root, subKey, name) + ": " + SystemErrorText(status));
}

void SetRegString(HKEY root, const std::string& subKey, const std::string& name,
                  const std::string& value, Where where) {
    SetRegValue(root, subKey, name, REG_SZ, Utf16Bytes(value) + std::string(2, '\0'), where);
}

void SetRegExpandString(HKEY root, const std::string& subKey, const std::string& name,
                        const std::string& value, Where where) {
    SetRegValue(root, subKey, name, REG_EXPAND_SZ, Utf16Bytes(value) + std::string(2, '\0'), where);
}

void SetRegStringWithoutNul(HKEY root, const std::string& subKey, const std::string& name,
                            const std::string& value, Where where) {
    SetRegValue(root, subKey, name, REG_SZ, Utf16Bytes(value), where);
}

void SetRegDword(HKEY root, const std::string& subKey, const std::string& name, DWORD value,
                 Where where) {
    SetRegValue(root, subKey, name, REG_DWORD,
                std::string(reinterpret_cast<const char*>(&value), sizeof value), where);
}

void DeleteRegValue(HKEY root, const std::string& subKey, const std::string& name, Where where) {
    molra::RegKey key;
    LONG status = RegOpenKeyExW(root, Widen(subKey).c_str(), 0, KEY_SET_VALUE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return;
    if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.get(), Widen(name).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        FailAt(where,
               "cannot delete " + KeyName(root, subKey, name) + ": " + SystemErrorText(status));
}

void DeleteRegKey(HKEY root, const std::string& subKey, Where where) {
    const LONG status = RegDeleteTreeW(root, Widen(subKey).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        FailAt(where,
               "cannot delete " + RootName(root) + "\\" + subKey + ": " + SystemErrorText(status));
    // RegDeleteTreeW keeps the key itself on some systems.
    const LONG own = RegDeleteKeyW(root, Widen(subKey).c_str());
    if (own != ERROR_SUCCESS && own != ERROR_FILE_NOT_FOUND)
        FailAt(where,
               "cannot delete " + RootName(root) + "\\" + subKey + ": " + SystemErrorText(own));
}

// ---- the rig --------------------------------------------------------------------------------

namespace {

const char* const kUrlSchemes[] = {"http", "https", "ftp"};
const char* const kShimOverrides = "Software\\Wine\\AppDefaults\\MOLRAvin.exe\\DllOverrides";

std::string HandlerCommand() { return "\"" + std::string(kRecorderHandler) + "\" \"%1\""; }

}  // namespace

namespace {

// The session's colours as the prefix came up, saved when it is set up.
const char* const kRigKey = "Software\\MOLRA e2e";
const char* const kSavedColours = "Colours";
constexpr int kColourCount = COLOR_MENUBAR + 1;

void SaveSystemColours() {
    std::string bytes;
    for (int index = 0; index < kColourCount; ++index) {
        const DWORD colour = GetSysColor(index);
        bytes.append(reinterpret_cast<const char*>(&colour), sizeof colour);
    }
    SetRegValue(HKEY_CURRENT_USER, kRigKey, kSavedColours, REG_BINARY, bytes);
}

}  // namespace

// SetSysColors, not HKCU\Control Panel\Colors: under Wine the colours that
// wineboot set for the session shadow the registry for as long as this test
// run's wineserver lives. New processes see what SetSysColors sets.
void SetSystemColours(const std::map<int, COLORREF>& colours, Where where) {
    std::vector<int> indices;
    std::vector<COLORREF> values;
    for (const auto& [index, colour] : colours) {
        indices.push_back(index);
        values.push_back(colour);
    }
    if (!SetSysColors(static_cast<int>(indices.size()), indices.data(), values.data()))
        FailAt(where, "SetSysColors failed: " + SystemErrorText(GetLastError()));
}

void RestoreSystemColours(Where where) {
    DWORD saved[kColourCount]{};
    DWORD size = sizeof saved;
    if (RegGetValueW(HKEY_CURRENT_USER, Widen(kRigKey).c_str(), Widen(kSavedColours).c_str(),
                     RRF_RT_REG_BINARY, nullptr, saved, &size) != ERROR_SUCCESS ||
        size != sizeof saved)
        return;
    std::map<int, COLORREF> changed;
    for (int index = 0; index < kColourCount; ++index)
        if (GetSysColor(index) != saved[index]) changed[index] = saved[index];
    if (!changed.empty()) SetSystemColours(changed, where);
}

void SetBrowserPath(const std::string& path, Where where) {
    SetRegString(HKEY_CLASSES_ROOT, kBrowserKey, "", path, where);
}

void SetBrowserVersion(const std::optional<std::string>& version, Where where) {
    if (version) SetRegString(HKEY_LOCAL_MACHINE, kVersionKey, "Version", *version, where);
    else
        DeleteRegValue(HKEY_LOCAL_MACHINE, kVersionKey, "Version", where);
}

void BreakUrlHandlers(Where where) {
    DeleteRegKey(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", where);
    DeleteRegKey(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", where);
}

void UseShims(bool on, Where where) {
    for (const char* dll : {"wsock32", "sensapi", "iphlpapi"}) {
        if (on) SetRegString(HKEY_CURRENT_USER, kShimOverrides, dll, "native", where);
        else
            DeleteRegValue(HKEY_CURRENT_USER, kShimOverrides, dll, where);
    }
}

void UseRealLoopbackEcho(const std::map<std::string, std::string>& environment, Where where) {
    // Wine's echo really sends: only ever to a derived loopback address.
    if (const auto names = environment.find("MOLRA_SHIM_NAMES");
        names != environment.end() && !names->second.empty())
        FailAt(where, "a real echo must not follow a typed name's look-up");
    const auto addresses = environment.find("MOLRA_SHIM_ADDRESSES");
    if (addresses == environment.end() || addresses->second.empty())
        FailAt(where, "a real echo needs MOLRA_SHIM_ADDRESSES of loopback addresses only");
    std::size_t start = 0;
    while (start <= addresses->second.size()) {
        std::size_t end = addresses->second.find(',', start);
        if (end == std::string::npos) end = addresses->second.size();
        if (addresses->second.compare(start, 4, "127.") != 0)
            FailAt(where, "a real echo of " + Quote(addresses->second) + ": not loopback");
        start = end + 1;
    }
    UseShims(true, where);
    SetRegString(HKEY_CURRENT_USER, kShimOverrides, "iphlpapi", "builtin", where);
}

void PlaceRecorder(const std::string& path, Where where) {
    CopyFileTo(kRecorder, path, where);
    detail::State().placedFiles.push_back(path);
}

namespace detail {

void RemovePlacedFiles() {
    for (const auto& path : State().placedFiles) {
        SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(Widen(path).c_str());
    }
    State().placedFiles.clear();
}

void ApplyBaseline() {
    SetBrowserPath(kRecorderBrowser);
    SetBrowserVersion(kBaselineVersion);
    for (const char* scheme : kUrlSchemes) {
        const std::string key = std::string(scheme) + "\\shell\\open\\command";
        SetRegString(HKEY_CLASSES_ROOT, scheme, "URL Protocol", "");
        SetRegString(HKEY_CLASSES_ROOT, key, "", HandlerCommand());
    }
    UseShims(false);
    DeleteRegValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels");
    RestoreSystemColours();
    RemoveTree(kProgramTrap);
    RemoveTree(WorkDir());
    MakeDirs(WorkDir());
    RemoveTree(RecordLog());
    MakeDirs("C:\\e2e\\logs");
}

void SetUpPrefix(const std::string& program, const std::string& recorderUnixPath,
                 const std::vector<std::string>& shimUnixPaths) {
    State().scenario = "setup";
    ASSERT_FALSE(recorderUnixPath.empty()) << "--setup needs --recorder=<path>";
    ASSERT_TRUE(FileExists(program)) << "no program under test at " << Quote(program);
    CopyFileTo(program, kProgramCopy);
    State().program = kProgramCopy;
    const std::string recorder = WindowsPath(recorderUnixPath);
    for (const char* target : {kRecorder, kRecorderBrowser, kRecorderHandler, kDefaultBrowser})
        CopyFileTo(recorder, target);
    for (const auto& shim : shimUnixPaths) {
        const std::string from = WindowsPath(shim);
        CopyFileTo(from, "C:\\windows\\system32\\" + from.substr(from.find_last_of('\\') + 1));
    }
    // A crash of the program must end it, not wait on Wine's crash dialog.
    SetRegDword(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", "ShowCrashDialog", 0);
    // Xvfb has no window manager: Wine would wait 2 s for one at every hidden
    // window. Unmanaged windows are placed and framed by Wine alone.
    SetRegString(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", "Managed", "N");
    SaveSystemColours();
    ApplyBaseline();

    // The rig is only sound if each recorder place really runs the recorder
    // (the iexplore.exe copy replaces one of Wine's own programs).
    for (const char* place : {kRecorderBrowser, kRecorderHandler, kDefaultBrowser}) {
        const std::string line = "\"" + std::string(place) + "\" check";
        Process process = Launch({.commandLine = line, .program = place});
        EXPECT_EQ(process.WaitExit(), 0u);
        const auto records = WaitForRecords(1);
        EXPECT_EQ(records.size(), 1u);
        EXPECT_EQ(records.front().module, place);
        EXPECT_EQ(records.front().commandLine, line);
        ClearRecords();
    }
}

}  // namespace detail

}  // namespace e2e
