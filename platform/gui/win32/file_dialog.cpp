// The Win32 backend's open and save dialogs: the system's common dialogs in
// the explorer style, with a hook that centres them over their owner and, for
// an open dialog with a preview, a template that adds the preview area beside
// the standard controls.
#include "platform/gui/file_dialog.h"

#include <windows.h>
// (after windows.h, which they build on)
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gui/win32/common_dialogs.h"
#include "platform/gui/win32/gdi_surface.h"
#include "platform/gui/win32/win32_runtime.h"

namespace mirel::gui {

using namespace win32;

namespace {

// The id of the preview area in the added template; tests find it by it.
constexpr WORD kPreviewControlId = 0x0500;
// Room for long paths; the system's own limit is far below this.
constexpr std::size_t kPathChars = 32768;
// The added template, in dialog units of the system's dialog font: the
// standard controls' place (stc32), then the preview area to its right.
constexpr short kStandardAreaWidth = 300;
constexpr short kStandardAreaHeight = 119;
constexpr short kPreviewLeft = kStandardAreaWidth + 8;
constexpr short kPreviewTop = 21;
constexpr short kMargin = 8;

struct DialogState {
    const FileDialogRequest* request = nullptr;
    HWND owner = nullptr;
};

// Appends to a DWORD-aligned in-memory template.
class TemplateWriter {
  public:
    void word(WORD w) { words_.push_back(w); }
    void dword(DWORD d) {
        word(LOWORD(d));
        word(HIWORD(d));
    }
    void text(const wchar_t* s) {
        do word(WORD(*s));
        while (*s++);
    }
    void align() {
        if (words_.size() % 2) word(0);
    }
    void item(DWORD style, short x, short y, short cx, short cy, WORD id) {
        align();
        dword(style);
        dword(0);  // extended style
        word(WORD(x));
        word(WORD(y));
        word(WORD(cx));
        word(WORD(cy));
        word(id);
        word(0xFFFF);  // a class by its atom:
        word(0x0082);  // static
        text(L"");
        word(0);  // no creation data
    }
    std::vector<DWORD> finish() {
        align();
        std::vector<DWORD> out(words_.size() / 2);
        std::copy(words_.begin(), words_.end(), reinterpret_cast<WORD*>(out.data()));
        return out;
    }

  private:
    std::vector<WORD> words_;
};

std::vector<DWORD> previewTemplate(const FilePreview& preview) {
    const short width = short(std::clamp(preview.area.width, 1, 1000));
    const short height = short(std::clamp(preview.area.height, 1, 1000));
    TemplateWriter t;
    t.dword(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK | DS_CONTROL | DS_SETFONT);
    t.dword(0);
    t.word(2);  // controls
    t.word(0);
    t.word(0);
    t.word(WORD(kPreviewLeft + width + kMargin));
    t.word(WORD(std::max<int>(kStandardAreaHeight, kPreviewTop + height + kMargin)));
    t.word(0);  // no menu
    t.word(0);  // the default class
    t.text(L"");
    t.word(8);
    t.text(L"MS Shell Dlg");
    t.item(WS_CHILD, 0, 0, kStandardAreaWidth, kStandardAreaHeight, WORD(stc32));
    t.item(WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, kPreviewLeft, kPreviewTop, width, height,
           kPreviewControlId);
    return t.finish();
}

// Centred over the owner's window, never at a negative position.
void centreOver(HWND dialog, HWND owner) {
    RECT frame{};
    if (owner)
        ::GetWindowRect(owner, &frame);
    else
        frame = monitorWorkArea(dialog);
    RECT own{};
    ::GetWindowRect(dialog, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = std::max<int>(0, frame.left + (frame.right - frame.left - width) / 2);
    const int y = std::max<int>(0, frame.top + (frame.bottom - frame.top - height) / 2);
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string selectedFile(HWND dialog) {
    std::wstring path(kPathChars, L'\0');
    const LRESULT length =
        ::SendMessageW(dialog, CDM_GETFILEPATH, WPARAM(path.size()), LPARAM(path.data()));
    if (length <= 0) return {};
    path.resize(std::wcslen(path.c_str()));
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
    return utf8(path);
}

UINT_PTR CALLBACK hookProc(HWND child, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* request = reinterpret_cast<const OPENFILENAMEW*>(lParam);
        ::SetWindowLongPtrW(child, DWLP_USER, LONG_PTR(request->lCustData));
        return FALSE;
    }
    const auto* state = reinterpret_cast<const DialogState*>(::GetWindowLongPtrW(child, DWLP_USER));
    if (!state) return FALSE;
    const FilePreview* preview = state->request->preview;
    if (message == WM_NOTIFY) {
        const auto* notice = reinterpret_cast<const OFNOTIFYW*>(lParam);
        HWND dialog = ::GetParent(child);
        switch (notice->hdr.code) {
            case CDN_INITDONE:
                centreOver(dialog, state->owner);
                break;
            case CDN_SELCHANGE:
            case CDN_FOLDERCHANGE:
                if (preview) {
                    const std::string path =
                        notice->hdr.code == CDN_SELCHANGE ? selectedFile(dialog) : std::string();
                    if (preview->selectionChanged) preview->selectionChanged(path);
                    if (HWND area = ::GetDlgItem(child, kPreviewControlId))
                        ::InvalidateRect(area, nullptr, FALSE);
                }
                break;
            default:
                break;
        }
        return FALSE;
    }
    if (message == WM_DRAWITEM && preview) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlID != kPreviewControlId) return FALSE;
        BufferedPaint buffer(item->hDC, item->rcItem);
        ::FillRect(buffer.dc(), &item->rcItem, ::GetSysColorBrush(COLOR_3DFACE));
        GdiSurface surface(buffer.dc());
        if (preview->paint) preview->paint(surface, toRect(item->rcItem));
        return TRUE;
    }
    return FALSE;
}

// "Description\0pattern\0\0", as the common dialogs take their filters.
std::wstring filterText(const FileDialogRequest& request) {
    std::wstring filter;
    if (request.pattern.empty()) return filter;
    const std::string description =
        request.typeDescription.empty() ? request.pattern : request.typeDescription;
    filter += wide(description);
    filter += L'\0';
    filter += wide(request.pattern);
    filter += L'\0';
    return filter;
}

// The system's dialogs take folders with backslashes only.
std::wstring nativeFolder(const std::string& folder) {
    std::wstring out = wide(folder);
    std::replace(out.begin(), out.end(), L'/', L'\\');
    return out;
}

}  // namespace

bool runFileDialog(const FileDialogRequest& request, void* ownerWindow, std::string& path) {
    using FileDialogFn = BOOL(WINAPI*)(LPOPENFILENAMEW);
    const bool open = request.kind == FileDialogKind::Open;
    const auto show =
        commonDialogEntry<FileDialogFn>(open ? "GetOpenFileNameW" : "GetSaveFileNameW");
    if (!show) return false;

    DialogState state;
    state.request = &request;
    state.owner = resolveOwner(ownerWindow);

    std::wstring file(kPathChars, L'\0');
    const std::wstring initialName = wide(request.initialName);
    initialName.copy(file.data(), std::min(initialName.size(), file.size() - 1));
    const std::wstring filter = filterText(request);
    const std::wstring folder = nativeFolder(request.initialFolder);
    const std::wstring title = wide(request.title);
    const std::wstring extension = wide(request.defaultExtension);
    const std::vector<DWORD> added =
        open && request.preview ? previewTemplate(*request.preview) : std::vector<DWORD>();

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = state.owner;
    dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = DWORD(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // The host's current folder is left alone: a plug-in must not move it.
    dialog.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   OFN_PATHMUSTEXIST | (open ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT);
    if (!added.empty()) {
        dialog.Flags |= OFN_ENABLETEMPLATEHANDLE;
        dialog.hInstance = reinterpret_cast<HINSTANCE>(const_cast<DWORD*>(added.data()));
    }
    dialog.lCustData = reinterpret_cast<LPARAM>(&state);
    dialog.lpfnHook = &hookProc;

    const DpiAwareScope awareness;
    if (!show(&dialog)) return false;
    file.resize(std::wcslen(file.c_str()));
    if (file.empty()) return false;
    path = utf8(file);
    return true;
}

}  // namespace mirel::gui
