// Floor for the window path: the same notice box as the program, then an empty
// dialog with the program's window title, shown the way the program shows its
// window. Links only what an ordinary C++ program with user32 links.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "common/texts.h"

namespace {

// An in-memory template, so no resource script is needed: about the
// program's client size (4110 x 3090 twips) in dialog units of an 8-point font.
std::vector<WORD> EmptyDialog(const std::wstring& title) {
    DLGTEMPLATE header{};
    header.style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU |
                   WS_MINIMIZEBOX;
    header.cx = 183;
    header.cy = 127;
    std::vector<WORD> words(sizeof header / sizeof(WORD));
    std::memcpy(words.data(), &header, sizeof header);
    words.push_back(0);  // no menu
    words.push_back(0);  // the dialog class
    words.insert(words.end(), title.begin(), title.end());
    words.push_back(0);
    words.push_back(8);  // point size
    for (const wchar_t* c = L"MS Shell Dlg"; *c; ++c) words.push_back(*c);
    words.push_back(0);
    return words;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: return TRUE;
        case WM_CLOSE: DestroyWindow(dialog); return TRUE;
        case WM_DESTROY: PostQuitMessage(0); return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    MessageBoxW(nullptr, molra::Widen(molra::text::kDetermineNotice).c_str(),
                molra::Widen(molra::text::kCaption).c_str(), MB_OK | MB_SETFOREGROUND);

    const std::vector<WORD> form = EmptyDialog(molra::Widen(molra::text::kWindowTitle));
    HWND dialog = CreateDialogIndirectParamW(
        instance, reinterpret_cast<const DLGTEMPLATE*>(form.data()), nullptr, DialogProc, 0);
    if (!dialog) return 1;
    ShowWindow(dialog, SW_SHOWNORMAL);
    SetForegroundWindow(dialog);
    UpdateWindow(dialog);

    MSG message{};
    BOOL result;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (result == -1) return 1;
        if (IsDialogMessageW(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
