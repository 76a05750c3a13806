// Tips are needed only once the mouse rests on a control, so the window adds
// them after it is shown.
#include "ui/win32/tool_tips_win.h"

#include <string>

#include "platform/win32/system_calls_win.h"
#include "platform/win32/text_win.h"

namespace molra {

void LoadCommonControls() {
    if (!Comctl32().InitCommonControlsEx) return;
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    Comctl32().InitCommonControlsEx(&classes);
}

void AddToolTips(HWND window, HINSTANCE instance, const Controls& controls) {
    HWND toolTip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance, nullptr);
    if (!toolTip) return;  // no common controls: the window works without tips
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (!kControls[i].toolTip) continue;
        std::wstring tip = Widen(kControls[i].toolTip);
        TOOLINFOW tool{};
        // The version 2 size is understood with and without visual styles.
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(controls[i]);
        tool.lpszText = tip.data();
        SendMessageW(toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

}  // namespace molra
