// Owners for every handle the Win32 layer opens, so that an early return can
// never leak one and no code closes a handle by hand.
#pragma once

#include <windows.h>

#include <utility>

namespace molra {

// Release closes a held handle. Handles hold nothing when null, or when
// Release's kEmpty for a handle that is no pointer, and also when
// INVALID_HANDLE_VALUE where Release says so (its kInvalidIsEmpty): CreateFileW,
// FindFirstFileW and IcmpCreateFile fail with that value, not with null.
template <typename Handle, typename Release>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Empty())) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, Empty()));
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return Holds(handle_); }
    void reset(Handle handle = Empty()) {
        if (Holds(handle_)) Release{}(handle_);
        handle_ = handle;
    }
    // For out-parameters: closes what is held first.
    Handle* put() {
        reset();
        return &handle_;
    }
    // Hands the handle to a new owner, e.g. the system.
    Handle release() { return std::exchange(handle_, Empty()); }

private:
    static constexpr Handle Empty() {
        if constexpr (requires { Release::kEmpty; }) return Release::kEmpty;
        else
            return nullptr;
    }
    static bool Holds(Handle handle) {
        if constexpr (requires { Release::kInvalidIsEmpty; })
            return handle != Empty() && handle != INVALID_HANDLE_VALUE;
        else
            return handle != Empty();
    }

    Handle handle_ = Empty();
};

struct CloseKernelHandle {
    static constexpr bool kInvalidIsEmpty = true;
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseFindHandle {
    static constexpr bool kInvalidIsEmpty = true;
    void operator()(HANDLE find) const { FindClose(find); }
};
struct CloseRegistryKey {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
// wsock32 and iphlpapi are loaded at run time: defined beside the tables
// that bind them. A SOCKET is a UINT_PTR, and INVALID_SOCKET holds nothing.
struct CloseSocket {
    static constexpr UINT_PTR kEmpty = ~UINT_PTR{0};
    void operator()(UINT_PTR socket) const;
};
struct CloseIcmpHandle {
    static constexpr bool kInvalidIsEmpty = true;
    void operator()(HANDLE icmp) const;
};
struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct DeleteDeviceContext {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct DestroyIconHandle {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};

using UniqueHandle = Owned<HANDLE, CloseKernelHandle>;
using FindHandle = Owned<HANDLE, CloseFindHandle>;
using RegKey = Owned<HKEY, CloseRegistryKey>;
using IcmpHandle = Owned<HANDLE, CloseIcmpHandle>;
using UniqueSocket = Owned<UINT_PTR, CloseSocket>;
using OwnedFont = Owned<HFONT, DeleteGdiObject>;
using OwnedBrush = Owned<HBRUSH, DeleteGdiObject>;
using OwnedBitmap = Owned<HBITMAP, DeleteGdiObject>;
using OwnedRegion = Owned<HRGN, DeleteGdiObject>;
using OwnedIcon = Owned<HICON, DestroyIconHandle>;
using MemoryDC = Owned<HDC, DeleteDeviceContext>;  // from CreateCompatibleDC

// A window's device context from GetDC, given back to that window.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// COM on this thread while the owner lives. Enter calls CoInitializeEx at
// most once, however often it is asked: S_OK and S_FALSE each count as one
// entry and are balanced by one CoUninitialize; a refusal (RPC_E_CHANGED_MODE:
// the thread is in the other apartment) is not, and may be asked again. Ends
// on the thread that entered. ole32 is loaded at run time: defined beside the
// table that binds it.
class ComApartment {
public:
    ComApartment() = default;
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment();
    // model: COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED. False when
    // ole32 is missing or CoInitializeEx refused.
    bool Enter(DWORD model);

private:
    bool entered_ = false;
};

// A COM interface pointer that releases what it holds.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For out-parameters: releases what is held first.
    Interface** put() {
        reset();
        return &pointer_;
    }
    void reset() {
        if (pointer_) std::exchange(pointer_, nullptr)->Release();
    }

private:
    Interface* pointer_ = nullptr;
};

}  // namespace molra
