// The file system: where the program runs and the shortcut file itself.
#include "platform/win32/win32_platform.h"

#include "common/paths.h"
#include "platform/win32/owners_win.h"

namespace molra {

namespace {

// Calls that fill a caller's buffer and report the size they need.
template <typename Fill>
std::wstring GrowingBuffer(Fill fill) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string Win32Platform::ReadProfileString(const std::string& section, const std::string& key,
                                             const std::string& path) {
    const std::wstring wsection = Widen(section);
    const std::wstring wkey = Widen(key);
    const std::wstring wpath = Widen(path);
    std::wstring buffer(256, L'\0');
    for (;;) {
        const DWORD length =
            GetPrivateProfileStringW(wsection.c_str(), wkey.c_str(), L"", buffer.data(),
                                     static_cast<DWORD>(buffer.size()), wpath.c_str());
        // size - 1 means the value was cut to fit; ask again with more room.
        if (length + 1 < buffer.size() || buffer.size() >= (1u << 26))
            return Narrow(buffer.data(), length);
        buffer.resize(buffer.size() * 4);
    }
}

std::optional<std::uint32_t> Win32Platform::FindFileAttributes(const std::string& path) {
    WIN32_FIND_DATAW data;
    const FindHandle find(FindFirstFileW(Widen(path).c_str(), &data));
    if (!find) return std::nullopt;
    return data.dwFileAttributes;
}

std::string Win32Platform::CurrentDirectory() {
    return Narrow(GrowingBuffer([](wchar_t* buffer, DWORD size) {
        const DWORD needed = GetCurrentDirectoryW(size, buffer);
        return needed > size ? size : needed;  // too small: report "full" so the buffer grows
    }));
}

std::string Win32Platform::ProgramFolder() {
    std::wstring path = GrowingBuffer(
        [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
    const std::size_t slash = path.find_last_of(L"\\/");
    return Narrow(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash));
}

namespace {

// A virus scanner, the indexer or Explorer's preview often holds a new or
// listed file for a moment: these errors pass, so they are tried again.
bool MayPass(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION;
}

// Growing waits, about 1 s in all.
constexpr DWORD kRetryWaitsMs[] = {10, 20, 40, 80, 150, 250, 450};

// True when stop was set during the wait: the program is to end, so the
// retries are given up. Without stop the wait is a plain sleep.
bool Stopped(HANDLE stop, DWORD ms) {
    if (!stop) {
        Sleep(ms);
        return false;
    }
    return WaitForSingleObject(stop, ms) == WAIT_OBJECT_0;
}

// attempt returns 0 or an error; setting final stops the retries.
template <typename Attempt>
DWORD Retrying(HANDLE stop, Attempt attempt) {
    bool final = false;
    DWORD error = attempt(final);
    for (DWORD wait : kRetryWaitsMs) {
        if (error == 0 || final || !MayPass(error) || Stopped(stop, wait)) break;
        error = attempt(final);
    }
    return error;
}

// A new temporary file beside target, never one that is there already
// (another copy of the program may be saving too); its name in temporary.
DWORD CreateTemporary(const std::string& target, std::wstring& temporary, UniqueHandle& file,
                      HANDLE stop) {
    auto number = static_cast<std::uint16_t>(GetCurrentProcessId() ^ GetTickCount());
    const DWORD error = Retrying(stop, [&](bool&) {
        for (int name = 0; name < 64; ++name, ++number) {
            temporary = Widen(TemporarySiblingPath(target, number));
            file.reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file) return DWORD{0};
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return error;
        }
        return static_cast<DWORD>(ERROR_FILE_EXISTS);
    });
    if (error) temporary.clear();  // none of ours: nothing to delete
    return error;
}

DWORD WriteTemporary(const std::string& target, std::wstring& temporary, const std::string& bytes,
                     HANDLE stop) {
    UniqueHandle file;
    DWORD error = CreateTemporary(target, temporary, file, stop);
    if (error) return error;
    DWORD written = 0;
    const bool stored =
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size() && FlushFileBuffers(file.get());
    error = stored ? 0 : GetLastError();
    if (!stored && error == 0) error = ERROR_WRITE_FAULT;  // a short write sets no error
    return error;
}

DWORD MoveOver(const std::wstring& temporary, const std::wstring& target, bool& final) {
    const DWORD old = GetFileAttributesW(target.c_str());
    // Windows refuses to replace a read-only file (Wine does not): that is final.
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY) &&
        !(old & FILE_ATTRIBUTE_DIRECTORY)) {
        final = true;
        return ERROR_ACCESS_DENIED;
    }
    // Nor does a folder in the file's place go away by waiting.
    final = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY);
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(temporary.c_str(), target.c_str(), kFlags)) return 0;
    DWORD error = GetLastError();
    // A hidden or system old file may refuse to be replaced.
    const DWORD clearable = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (error == ERROR_ACCESS_DENIED && old != INVALID_FILE_ATTRIBUTES && (old & clearable) &&
        SetFileAttributesW(target.c_str(), old & ~clearable)) {
        if (MoveFileExW(temporary.c_str(), target.c_str(), kFlags)) return 0;
        error = GetLastError();
        SetFileAttributesW(target.c_str(), old);
    }
    return error;
}

// stop, when given, ends the retries early; the old file stays as it was.
DWORD SaveNow(const std::string& path, const std::string& bytes, HANDLE stop) {
    const std::wstring target = Widen(path);
    std::wstring temporary;
    DWORD error = WriteTemporary(path, temporary, bytes, stop);
    if (error == 0)
        error = Retrying(stop, [&](bool& final) { return MoveOver(temporary, target, final); });
    if (error == 0) return 0;
    if (!temporary.empty()) DeleteFileW(temporary.c_str());
    return error;
}

struct SaveJob {
    const std::string& path;
    const std::string& bytes;
    HANDLE stop = nullptr;
    DWORD error = 0;
};

DWORD WINAPI RunSave(void* param) {
    auto& job = *static_cast<SaveJob*>(param);
    job.error = SaveNow(job.path, job.bytes, job.stop);
    return 0;
}

}  // namespace

std::uint32_t Win32Platform::SaveFileAtomically(const std::string& path, const std::string& bytes) {
    HWND owner = owner_.load();
    if (owner && GetWindowThreadProcessId(owner, nullptr) == GetCurrentThreadId() && !saveStop_)
        return SaveAnswering(path, bytes);
    return SaveNow(path, bytes, nullptr);
}

// A held file costs up to a second of retries, and a scanner or a slow share
// may stall the file calls themselves: none of it may stall the window.
DWORD Win32Platform::SaveAnswering(const std::string& path, const std::string& bytes) {
    const UniqueHandle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    SaveJob job{path, bytes, stop.get()};
    const UniqueHandle worker{stop ? CreateThread(nullptr, 0, RunSave, &job, 0, nullptr) : nullptr};
    if (!worker) return SaveNow(path, bytes, nullptr);  // a stalled window rather than no save
    saveStop_ = stop.get();
    PumpUntil(worker.get());
    saveStop_ = nullptr;
    if (endAsked_) ExitProcess(endCode_);  // asked while saving: the file is consistent now
    return job.error;
}

}  // namespace molra
