// The Win32 backend's colour dialog: the system's common colour dialog,
// loaded when first needed like the file dialogs.
#include "platform/gui/color_dialog.h"

#include <windows.h>
// (after windows.h, which it builds on)
#include <commdlg.h>

#include "platform/gui/win32/common_dialogs.h"
#include "platform/gui/win32/win32_runtime.h"

namespace mirel::gui {

bool chooseColor(Rgb& color, std::span<Rgb, kCustomColorCount> customColors, void* ownerWindow) {
    using ChooseColorFn = BOOL(WINAPI*)(LPCHOOSECOLORW);
    const auto choose = win32::commonDialogEntry<ChooseColorFn>("ChooseColorW");
    if (!choose) return false;
    COLORREF custom[kCustomColorCount];
    for (int i = 0; i < kCustomColorCount; ++i)
        custom[i] = RGB(customColors[i].red, customColors[i].green, customColors[i].blue);
    CHOOSECOLORW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = win32::resolveOwner(ownerWindow);
    request.rgbResult = RGB(color.red, color.green, color.blue);
    request.lpCustColors = custom;
    request.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
    const win32::DpiAwareScope awareness;
    const bool chosen = choose(&request) != FALSE;
    // The custom colours come back as the user left them, chosen or not.
    for (int i = 0; i < kCustomColorCount; ++i)
        customColors[i] = {GetRValue(custom[i]), GetGValue(custom[i]), GetBValue(custom[i])};
    if (!chosen) return false;
    color = {GetRValue(request.rgbResult), GetGValue(request.rgbResult),
             GetBValue(request.rgbResult)};
    return true;
}

}  // namespace mirel::gui
