// Answering file dialogs and small windows from tests on the Win32 backend:
// the layer shows the system's common open and save dialogs, whose parts are
// found by the control ids every version of them keeps; addresses are caught
// where the layer hands them to the shell; the host program's dialog gets its
// key as keyboard input of the window system.
#include <windows.h>
// (after windows.h, which they build on)
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwctype>
#include <memory>
#include <thread>

#include "platform/os/win32/wide_text.h"
#include "tests/support/scratch.h"
#include "tests/ui/small_windows.h"

namespace mirel::testing {

namespace gt = gui::testing;
using os::win32::utf8Text;
using os::win32::wideText;

namespace {

// The atom of the system's dialog class.
constexpr ATOM kDialogClassAtom = 32770;
// The layer's preview area beside an open dialog's list.
constexpr int kPreviewControlId = 0x0500;
constexpr auto kAnswerWithin = std::chrono::seconds(20);

HWND hwndOf(void* window) {
    return static_cast<HWND>(window);
}

bool isDialogWindow(HWND window) {
    return window && ::GetClassLongPtrW(window, GCW_ATOM) == kDialogClassAtom;
}

std::string windowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(std::size_t(std::max(length, 0)) + 1, L'\0');
    text.resize(std::size_t(::GetWindowTextW(window, text.data(), int(text.size()))));
    return utf8Text(text);
}

std::string withoutAccessMarkers(const std::string& text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        if (text[i] != '&') shown += text[i];
    }
    return shown;
}

// The visible dialog windows of this thread that `accept` takes, first in the
// system's order (the most recent on top).
template <typename Accept>
HWND findThreadDialog(Accept accept) {
    struct Search {
        Accept& accept;
        HWND found = nullptr;
    } search{accept};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (!isDialogWindow(window) || !::IsWindowVisible(window) || !s->accept(window))
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The name field: an edit field of its own in the explorer-style dialog, the
// edit field of a combo box in later versions of it.
HWND nameFieldOf(HWND dialog) {
    if (HWND edit = ::GetDlgItem(dialog, edt1)) return edit;
    if (HWND combo = ::GetDlgItem(dialog, cmb13)) {
        if (HWND edit = ::FindWindowExW(combo, nullptr, L"Edit", nullptr)) return edit;
        return combo;
    }
    return nullptr;
}

bool isFileDialog(HWND window) {
    return ::GetDlgItem(window, cmb1) && ::GetDlgItem(window, IDOK) && nameFieldOf(window);
}

// A control's rectangle in the client pixels of `window`.
gui::Rect rectIn(HWND window, HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// A press and release of the left button in the middle of a dialog's button.
void clickButton(HWND dialog, int id) {
    HWND button = ::GetDlgItem(dialog, id);
    if (!button) return;
    gt::ShownControl control;
    control.window = button;
    control.rect = rectIn(dialog, button);
    gt::clickControlWindow(dialog, control);
}

// The first window below `parent` (at any depth) that `accept` takes.
template <typename Accept>
HWND findDescendant(HWND parent, Accept accept) {
    struct Search {
        Accept& accept;
        HWND found = nullptr;
    } search{accept};
    ::EnumChildWindows(
        parent,
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (!s->accept(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool hasClass(HWND window, const wchar_t* name) {
    wchar_t actual[64] = {};
    ::GetClassNameW(window, actual, 64);
    return ::lstrcmpiW(actual, name) == 0;
}

std::string listItemText(HWND list, int index) {
    std::wstring text(1024, L'\0');
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = text.data();
    item.cchTextMax = int(text.size());
    const LRESULT length =
        ::SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(&item));
    text.resize(std::size_t(std::max<LRESULT>(length, 0)));
    return utf8Text(text);
}

// ---- The shell's open verb, caught ----------------------------------------------

UrlCatcher::State* catching = nullptr;

}  // namespace

struct UrlCatcher::State {
    std::vector<std::string> opened;
    // Import slots of the loaded modules that pointed at the shell's entry.
    std::vector<std::pair<void**, void*>> patched;
};

namespace {

HINSTANCE WINAPI caughtShellExecute(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
    if (catching && file) catching->opened.push_back(utf8Text(file));
    // Above 32: the shell says the handler started.
    return reinterpret_cast<HINSTANCE>(std::intptr_t(42));
}

bool startsWithFolder(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() <= folder.size()) return false;
    for (std::size_t i = 0; i < folder.size(); ++i)
        if (std::towlower(path[i]) != std::towlower(folder[i])) return false;
    return path[folder.size()] == L'\\' || path[folder.size()] == L'/';
}

std::wstring windowsFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length < MAX_PATH ? length : 0);
}

// Points every import of ShellExecuteW in `module` at the catcher.
void patchImports(HMODULE module, void* shellEntry, UrlCatcher::State& state) {
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return;
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return;
    for (auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name; ++entry) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), "shell32.dll") != 0)
            continue;
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        const auto* name =
            entry->OriginalFirstThunk
                ? reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk)
                : nullptr;
        for (; slot->u1.Function; ++slot, name = name ? name + 1 : nullptr) {
            bool wanted = reinterpret_cast<void*>(slot->u1.Function) == shellEntry;
            if (name && !IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) {
                const auto* byName =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
                wanted = wanted || std::string_view(byName->Name) == "ShellExecuteW";
            }
            if (!wanted) continue;
            void** address = reinterpret_cast<void**>(&slot->u1.Function);
            DWORD protection = 0;
            if (!::VirtualProtect(address, sizeof(void*), PAGE_READWRITE, &protection)) continue;
            state.patched.emplace_back(address, *address);
            *address = reinterpret_cast<void*>(&caughtShellExecute);
            ::VirtualProtect(address, sizeof(void*), protection, &protection);
        }
    }
}

}  // namespace

UrlCatcher::UrlCatcher() : state_(std::make_unique<State>()) {
    catching = state_.get();
    HMODULE shell = ::LoadLibraryW(L"shell32.dll");
    void* shellEntry =
        shell ? reinterpret_cast<void*>(::GetProcAddress(shell, "ShellExecuteW")) : nullptr;
    // The program's own modules (the test, the plug-in), not the system's.
    const std::wstring system = windowsFolder();
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, ::GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE) return;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL more = ::Module32FirstW(snapshot, &module); more;
         more = ::Module32NextW(snapshot, &module))
        if (!startsWithFolder(module.szExePath, system))
            patchImports(module.hModule, shellEntry, *state_);
    ::CloseHandle(snapshot);
}

UrlCatcher::~UrlCatcher() {
    for (auto it = state_->patched.rbegin(); it != state_->patched.rend(); ++it) {
        DWORD protection = 0;
        if (!::VirtualProtect(it->first, sizeof(void*), PAGE_READWRITE, &protection)) continue;
        *it->first = it->second;
        ::VirtualProtect(it->first, sizeof(void*), protection, &protection);
    }
    if (catching == state_.get()) catching = nullptr;
}

std::vector<std::string> UrlCatcher::opened() const {
    return state_->opened;
}

// ---- File dialogs -----------------------------------------------------------------

std::string FileDialog::title() const {
    return windowText(hwndOf(window_));
}

std::string FileDialog::acceptButtonText() const {
    HWND button = ::GetDlgItem(hwndOf(window_), IDOK);
    return button ? withoutAccessMarkers(windowText(button)) : std::string();
}

std::vector<std::string> FileDialog::fileTypes() const {
    std::vector<std::string> types;
    HWND combo = ::GetDlgItem(hwndOf(window_), cmb1);
    for (int i = 0; combo && i < gt::comboCountOf(combo); ++i)
        types.push_back(gt::comboEntryOf(combo, i));
    return types;
}

std::string FileDialog::nameField() const {
    HWND field = nameFieldOf(hwndOf(window_));
    return field ? windowText(field) : std::string();
}

std::string FileDialog::folder() const {
    std::wstring path(32768, L'\0');
    const LRESULT length = ::SendMessageW(hwndOf(window_), CDM_GETFOLDERPATH, WPARAM(path.size()),
                                          reinterpret_cast<LPARAM>(path.data()));
    if (length <= 0) return {};
    path.resize(std::wcslen(path.c_str()));
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return utf8Text(path);
}

void FileDialog::enterName(const std::string& path) {
    HWND dialog = hwndOf(window_);
    HWND field = nameFieldOf(dialog);
    if (!field) return;
    gt::focusControlWindow(dialog, field);
    ::SetWindowTextW(field, wideText(nativePath(path)).c_str());
}

bool FileDialog::choose(const std::string& path, bool replace) {
    HWND dialog = hwndOf(window_);
    HWND field = nameFieldOf(dialog);
    if (!field) return false;
    // A question the dialog asks before it takes the name (whether to replace
    // a file, or that a folder does not exist) is a message box of its own
    // loop; it is answered from there, and a refusal ends the choice.
    struct Asked {
        bool done = false;
        bool refused = false;
    };
    auto asked = std::make_shared<Asked>();
    const auto until = std::chrono::steady_clock::now() + kAnswerWithin;
    gt::retryFromEventLoop([asked, dialog, replace, until] {
        if (asked->done || std::chrono::steady_clock::now() > until) return true;
        HWND box = findThreadDialog(
            [dialog](HWND window) { return ::GetWindow(window, GW_OWNER) == dialog; });
        if (!box) return false;
        int answer = IDOK;
        if (::GetDlgItem(box, IDYES))
            answer = replace ? IDYES : IDNO;
        else if (!::GetDlgItem(box, IDOK))
            answer = IDCANCEL;
        if (answer != IDYES) asked->refused = true;
        clickButton(box, answer);
        return false;
    });
    enterName(path);
    clickButton(dialog, IDOK);
    gt::processEvents(0);
    asked->done = true;
    if (!::IsWindowVisible(dialog)) return true;
    cancel();
    return false;
}

void FileDialog::cancel() {
    clickButton(hwndOf(window_), IDCANCEL);
}

bool FileDialog::selectInList(const std::string& name) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        HWND list = findDescendant(hwndOf(window_),
                                   [](HWND window) { return hasClass(window, L"SysListView32"); });
        const int count = list ? int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
        for (int index = 0; index < count; ++index) {
            if (listItemText(list, index) != name) continue;
            // As the arrow keys move the selection in the list that has the
            // focus: the entry becomes the focused and only selected one, and
            // the dialog hears of the change.
            gt::focusControlWindow(window_, list);
            LVITEMW state{};
            state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            state.state = 0;
            ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&state));
            state.state = LVIS_SELECTED | LVIS_FOCUSED;
            ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(&state));
            ::SendMessageW(list, LVM_ENSUREVISIBLE, WPARAM(index), FALSE);
            gt::processEvents(0);
            return true;
        }
        gt::processEvents(20);
    }
    return false;
}

gui::Image FileDialog::preview() const {
    HWND area = findDescendant(
        hwndOf(window_), [](HWND window) { return ::GetDlgCtrlID(window) == kPreviewControlId; });
    if (!area) return {};
    gt::processEvents(50);
    return gt::grabClientArea(area);
}

void answerFileDialog(std::function<void(FileDialog&)> answer) {
    const auto until = std::chrono::steady_clock::now() + kAnswerWithin;
    gt::retryFromEventLoop([answer = std::move(answer), until] {
        HWND window = findThreadDialog(isFileDialog);
        if (!window) return std::chrono::steady_clock::now() > until;
        FileDialog dialog(window);
        answer(dialog);
        return true;
    });
}

void answerModalWindow(std::string_view title, std::function<void(void*)> answer) {
    const auto until = std::chrono::steady_clock::now() + kAnswerWithin;
    gt::retryFromEventLoop([wanted = std::string(title), answer = std::move(answer), until] {
        // The modal one takes input; the windows under it do not.
        HWND window = findThreadDialog([&wanted](HWND candidate) {
            return ::IsWindowEnabled(candidate) && windowText(candidate) == wanted;
        });
        if (!window) return std::chrono::steady_clock::now() > until;
        answer(window);
        return true;
    });
}

std::string nativePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// ---- The host program's dialog ------------------------------------------------------

namespace {

// A visible top-level window of another process with this title.
HWND windowOfAnotherProgram(const wchar_t* title) {
    struct Search {
        const wchar_t* title;
        HWND found = nullptr;
    } search{title};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            wchar_t text[64] = {};
            ::GetWindowTextW(window, text, 64);
            if (process == ::GetCurrentProcessId() || !::IsWindowVisible(window) ||
                std::wstring_view(text) != s->title)
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void typeKey(WORD virtualKey) {
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = virtualKey;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, keys, sizeof(INPUT));
}

}  // namespace

ProgramOutcome runProgramPressingInDialog(const std::string& arguments, const std::string& folder,
                                          const std::string& temporaryFolder, gui::testing::Key key,
                                          std::string&) {
    const WORD virtualKey = key == gt::Key::Return ? VK_RETURN : VK_ESCAPE;
    std::atomic<bool> ended{false};
    // Once the dialog shows, the key goes to it as keyboard input, again until
    // it is gone: on a busy machine a key can come before the window takes keys.
    std::thread presser([&ended, virtualKey] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        HWND window = nullptr;
        while (!ended && !window && std::chrono::steady_clock::now() < until) {
            window = windowOfAnotherProgram(L"Mirel 2");
            if (!window) ::Sleep(100);
        }
        for (int tries = 0;
             window && !ended && tries < 40 && ::IsWindow(window) && ::IsWindowVisible(window);
             ++tries) {
            ::SetForegroundWindow(window);
            typeKey(virtualKey);
            for (int wait = 0; wait < 5 && !ended; ++wait) ::Sleep(100);
        }
    });
    const ProgramOutcome outcome =
        runProgram(pluginPath(), arguments, "TMPDIR=" + quoted(temporaryFolder) + " ", folder);
    ended = true;
    presser.join();
    return outcome;
}

}  // namespace mirel::testing
