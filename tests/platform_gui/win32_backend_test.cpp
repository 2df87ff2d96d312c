// What only the Win32 backend has: the system's decoders for the resource
// pictures, the resampling that stands in for GDI's unfiltered stretching,
// the fonts and base units at a monitor's scale, the system's message box,
// and a host window as the owner of a modal dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/gui/dialog.h"
#include "platform/gui/image.h"
#include "platform/gui/win32/image_scale.h"
#include "platform/gui/win32/win32_runtime.h"
#include "resources/resources.h"
#include "tests/platform_gui/gui_driver.h"
#include "tests/platform_gui/gui_test_support.h"

namespace mirel::gui {
namespace {

using namespace testing;

std::uint8_t alphaAt(const Image& image, int x, int y) {
    return image.rgba[(std::size_t(y) * image.width + x) * 4 + 3];
}

TEST(Win32ImageDecode, ReadsTheResourceBitmapsIconsAndCursors) {
    Image bitmap;
    ASSERT_TRUE(decodeImage(findResource("BITMAP", 120), bitmap));
    // The thumb of the sliders: a 24-bit bitmap, opaque, upright.
    EXPECT_EQ(bitmap.width, 12);
    EXPECT_EQ(bitmap.height, 11);
    EXPECT_EQ(bitmap.density, 1.0);
    EXPECT_EQ(alphaAt(bitmap, 0, 0), 255);

    Image icon;
    ASSERT_TRUE(decodeImage(findResource("ICON", 185), icon));
    // Two pictures, 48 x 20 and 96 x 40: the large one, at density 2.
    EXPECT_EQ(icon.width, 96);
    EXPECT_EQ(icon.height, 40);
    EXPECT_EQ(icon.density, 2.0);
    bool transparent = false, opaque = false;
    for (int y = 0; y < icon.height; ++y)
        for (int x = 0; x < icon.width; ++x) {
            transparent |= alphaAt(icon, x, y) == 0;
            opaque |= alphaAt(icon, x, y) == 255;
        }
    EXPECT_TRUE(transparent && opaque) << "the icon's alpha is kept";

    Image cursor;
    Point hotSpot{-1, -1};
    ASSERT_TRUE(decodeImage(findResource("CURSOR", 109), cursor, &hotSpot));
    // The directory's hot spot (15, 15 of a 32 x 32 picture), in client pixels.
    EXPECT_EQ(cursor.width / cursor.density, 32);
    EXPECT_EQ(hotSpot.x, 15);
    EXPECT_EQ(hotSpot.y, 15);
}

TEST(Win32ImageDecode, ReadsPngAndRefusesWhatIsNoPicture) {
    // A 2 x 1 PNG: one opaque red pixel, one fully transparent one.
    const std::uint8_t png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
        0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0xF4,
        0x22, 0x7F, 0x8A, 0x00, 0x00, 0x00, 0x10, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8,
        0xCF, 0xC0, 0xF0, 0x1F, 0x08, 0x19, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0x02, 0x00, 0x05, 0xFE,
        0x02, 0xFE, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    Image image;
    if (decodeImage(png, image)) {
        EXPECT_EQ(image.width, 2);
        EXPECT_EQ(image.height, 1);
    }
    const std::uint8_t junk[] = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
    Point hotSpot{7, 7};
    EXPECT_FALSE(decodeImage(junk, image, &hotSpot));
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(hotSpot.x, 0);
    EXPECT_FALSE(decodeImage({}, image));
}

Image solid(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    Image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(std::size_t(width) * height * 4);
    for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
        image.rgba[i] = r;
        image.rgba[i + 1] = g;
        image.rgba[i + 2] = b;
        image.rgba[i + 3] = a;
    }
    return image;
}

TEST(Win32Resampling, KeepsUniformColoursAndLendsNoColourFromTransparentPixels) {
    // A uniform picture stays uniform at any size, shrunk or enlarged.
    for (const auto& [w, h] : {std::pair{7, 3}, std::pair{40, 40}, std::pair{1, 1}}) {
        const Image out = win32::resampled(solid(13, 9, 10, 200, 30, 255), w, h);
        ASSERT_EQ(out.width, w);
        for (std::size_t i = 0; i < out.rgba.size(); i += 4) {
            EXPECT_EQ(out.rgba[i], 10);
            EXPECT_EQ(out.rgba[i + 1], 200);
            EXPECT_EQ(out.rgba[i + 3], 255);
        }
    }
    // Half red, half transparent green: shrinking mixes alpha, never the green.
    Image half = solid(4, 2, 255, 0, 0, 255);
    for (int y = 0; y < 2; ++y)
        for (int x = 2; x < 4; ++x) {
            std::uint8_t* p = &half.rgba[(std::size_t(y) * 4 + x) * 4];
            p[0] = 0;
            p[1] = 255;
            p[3] = 0;
        }
    const Image one = win32::resampled(half, 1, 1);
    EXPECT_EQ(one.rgba[0], 255);
    EXPECT_EQ(one.rgba[1], 0);
    EXPECT_NEAR(one.rgba[3], 128, 1);
    // Premultiplied for AlphaBlend: blue first, colour scaled by alpha.
    const auto pre = win32::premultipliedBgra(solid(1, 1, 200, 100, 50, 128));
    EXPECT_EQ(pre[0], 25);
    EXPECT_EQ(pre[2], 100);
    EXPECT_EQ(pre[3], 128);
}

TEST(Win32Fonts, TemplateFontsScaleWithTheMonitor) {
    // MS Sans Serif 8 keeps the system's 6 x 13 at 96 dpi and doubles at 192.
    HFONT font = win32::createTemplateFont("MS Sans Serif", 8, 96);
    const BaseUnits normal = win32::baseUnitsFor("MS Sans Serif", 8, 96, font);
    EXPECT_EQ(normal.x, 6);
    EXPECT_EQ(normal.y, 13);
    const BaseUnits doubled = win32::baseUnitsFor("MS Sans Serif", 8, 192, font);
    EXPECT_EQ(doubled.x, 12);
    EXPECT_EQ(doubled.y, 26);
    ::DeleteObject(font);
    // Another font is measured: Arial 8 comes close to MS Sans Serif's units.
    HFONT arial = win32::createTemplateFont("Arial", 8, 96);
    const BaseUnits measured = win32::baseUnitsFor("Arial", 8, 96, arial);
    EXPECT_GE(measured.x, 5);
    EXPECT_LE(measured.x, 7);
    EXPECT_GE(measured.y, 11);
    EXPECT_LE(measured.y, 15);
    ::DeleteObject(arial);
    EXPECT_EQ(win32::fontFace("MS Shell Dlg"), L"Microsoft Sans Serif");
    EXPECT_EQ(win32::fontFace("Arial"), L"Arial");
}

// Answers the system's message box of this thread (it runs its own loop) with
// OK, and reports what it showed.
struct MessageBoxAnswer {
    std::wstring title;
    std::wstring text;
};

TEST(MessageDialog, IsTheSystemsMessageBoxAndEndsWithOk) {
    Watchdog watchdog;
    static MessageBoxAnswer seen;
    seen = {};
    // A timer of the thread finds the box once it is up and presses OK.
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM) -> BOOL {
                wchar_t name[64] = {};
                ::GetClassNameW(window, name, 64);
                if (std::wstring(name) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
                wchar_t title[128] = {}, text[256] = {};
                ::GetWindowTextW(window, title, 128);
                ::GetDlgItemTextW(window, 0xFFFF, text, 256);
                seen = {title, text};
                ::PostMessageW(window, WM_COMMAND, IDOK, 0);
                return FALSE;
            },
            0);
    });
    const int result = messageDialog("Export PSD", "Black & white could not be written.");
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(result, kIdOk);
    EXPECT_EQ(seen.title, L"Export PSD");
    EXPECT_EQ(seen.text, L"Black & white could not be written.");
}

TEST(HostOwner, TheDialogIsModalToTheHostsWindowAndCentredOnIt) {
    Watchdog watchdog;
    // The host's main window, somewhere on the screen.
    HWND host = ::CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150, 120,
                                  900, 700, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    DialogTemplate t;
    t.name = "OWNED";
    t.title = "Owned";
    t.width = 120;
    t.height = 60;
    ControlTemplate cancel;
    cancel.id = kIdCancel;
    cancel.controlClass = ControlClass::DefaultPushButton;
    cancel.text = "Cancel";
    cancel.rect = {35, 40, 50, 14};
    t.controls.push_back(cancel);
    struct Centring : DialogProcedure {
        void onInit(DialogHandle& dialog) override {
            // The placement the filter's dialogs use: over the owner's client area.
            const Rect window = dialog.windowRect();
            const Rect owner = dialog.ownerClientRect();
            dialog.moveWindow({owner.x + (owner.width - window.width) / 2,
                               owner.y + (owner.height - window.height) / 3});
        }
    } procedure;
    bool ownerDisabled = false;
    Rect placed, ownerArea;
    void* owner = nullptr;
    // A child of the host's window (a document view, say) stands for the host.
    HWND view = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, host,
                                  nullptr, nullptr, nullptr);
    const int result = runScripted(
        t, procedure,
        [&](DialogHandle& dialog) {
            owner = ownerOf(dialog);
            ownerDisabled = !::IsWindowEnabled(host);
            placed = dialog.windowRect();
            ownerArea = dialog.ownerClientRect();
            clickControl(dialog, kIdCancel);
        },
        3000, view);
    EXPECT_EQ(result, kIdCancel);
    EXPECT_EQ(owner, host);
    EXPECT_TRUE(ownerDisabled) << "the host's window takes no input while the dialog runs";
    EXPECT_TRUE(::IsWindowEnabled(host)) << "and gets it back afterwards";
    EXPECT_NEAR(placed.x + placed.width / 2, ownerArea.x + ownerArea.width / 2, 1);
    EXPECT_GT(placed.y, ownerArea.y);
    ::DestroyWindow(host);

    // Without an owner the dialog still opens, over the desktop.
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(runScripted(t, procedure,
                          [&](DialogHandle& dialog) {
                              none = ownerOf(dialog);
                              pressKey(dialog, Key::Escape);
                          }),
              kIdCancel);
    EXPECT_EQ(none, nullptr);
}

TEST(HostOwner, AModelessDialogGoesWithItsOwner) {
    Watchdog watchdog;
    HWND host = ::CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                  400, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    DialogTemplate t;
    t.name = "MODELESS";
    t.title = "Modeless";
    t.width = 100;
    t.height = 40;
    static int destroyed = 0;
    destroyed = 0;
    struct Counting : DialogProcedure {
        ~Counting() override { ++destroyed; }
    };
    void* window = showModelessDialog(t, std::make_unique<Counting>(), host);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(dialogWindowExists(window));
    EXPECT_TRUE(bringDialogToFront(window));
    ::DestroyWindow(host);
    processEvents(20);
    EXPECT_FALSE(dialogWindowExists(window));
    EXPECT_EQ(destroyed, 1) << "the procedure goes with the window";

    // Closed as its close box does: it ends, and is gone once the loop has run.
    window = showModelessDialog(t, std::make_unique<Counting>(), nullptr);
    ASSERT_NE(window, nullptr);
    requestDialogClose(window);
    EXPECT_FALSE(dialogWindowExists(window));
    processEvents(20);
    EXPECT_EQ(destroyed, 2);
}

}  // namespace
}  // namespace mirel::gui
