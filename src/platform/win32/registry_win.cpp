// Registry reads through the W entry points; the value's characters go to the
// core unchanged, NULs included.
#include "platform/win32/win32_platform.h"

#include "platform/win32/owners_win.h"

namespace molra {

std::optional<RegistryValue> Win32Platform::QueryRegistryValue(RegistryRoot root,
                                                               const std::string& subKey,
                                                               const std::string& valueName) {
    RegKey key;
    HKEY rootKey = root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
    if (RegOpenKeyExW(rootKey, Widen(subKey).c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring name = Widen(valueName);
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    RegistryValue value{type, std::nullopt};
    if (type != REG_SZ) return value;
    // The value may change between the two calls; a few rounds settle it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::wstring buffer((bytes + 1) / sizeof(wchar_t), L'\0');
        auto got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LONG status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (status == ERROR_MORE_DATA) {
            bytes = got;
            continue;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) return RegistryValue{type, std::nullopt};
        value.data = Narrow(buffer.data(), got / sizeof(wchar_t));
        return value;
    }
    return value;
}

}  // namespace molra
