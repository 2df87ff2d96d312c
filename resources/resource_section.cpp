// The files of resources/ on Windows: in the resource section of the library
// (or program) this code is linked into, stored by make_resource_file.cpp under
// their type's name and their id, each followed by one NUL that the lookup
// does not count.
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/os/os.h"
#include "resources/resource_store.h"
#include "resources/resources.h"

namespace mirel {

namespace {

HMODULE resourceModule() {
    return static_cast<HMODULE>(const_cast<void*>(os::currentModule()));
}

std::wstring upperWide(std::string_view name) {
    std::wstring wide;
    for (char c : name) wide.push_back(wchar_t(std::uint8_t(detail::upper(c))));
    return wide;
}

// A number as the resource compiler stores one: digits without a leading zero, at most 0xFFFF.
bool isOrdinal(std::string_view id, WORD& value) {
    if (id.empty() || id.size() > 5 || (id.size() > 1 && id[0] == '0')) return false;
    unsigned number = 0;
    for (char c : id) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + unsigned(c - '0');
    }
    if (number == 0 || number > 0xFFFF) return false;
    value = WORD(number);
    return true;
}

std::span<const std::uint8_t> loadResource(HMODULE module, HRSRC found) {
    if (!found) return {};
    const DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* bytes = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    if (!bytes || size == 0 || bytes[size - 1] != 0) return {};
    return {bytes, size - 1};
}

std::string nameOf(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) return std::to_string(reinterpret_cast<std::uintptr_t>(name));
    std::string text;
    for (const wchar_t* c = name; *c; ++c) text.push_back(char(*c));
    return text;
}

// Every stored file, listed once from the section.
struct ResourceList {
    std::deque<std::string> names;
    std::deque<std::span<const std::uint8_t>> spans;
    std::vector<EmbeddedResource> entries;
    HMODULE module = nullptr;
    std::string type;
};

BOOL CALLBACK addName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR context) {
    auto& list = *reinterpret_cast<ResourceList*>(context);
    const std::string id = nameOf(name);
    const std::span<const std::uint8_t> bytes = detail::findFileResource(list.type, id);
    list.spans.push_back(bytes);
    list.names.push_back(list.type);
    const std::string_view type = list.names.back();
    list.names.push_back(id);
    list.entries.push_back({type, list.names.back(), &list.spans.back()});
    return TRUE;
}

BOOL CALLBACK addType(HMODULE module, LPWSTR type, LONG_PTR context) {
    auto& list = *reinterpret_cast<ResourceList*>(context);
    if (IS_INTRESOURCE(type)) return TRUE;  // none of ours: every type of ours has a name
    list.type = nameOf(type);
    // The PiPL and the terminology are made in code, not taken from files.
    if (detail::sameName(list.type, "PIPL") || detail::sameName(list.type, "AETE")) return TRUE;
    ::EnumResourceNamesW(module, type, addName, context);
    return TRUE;
}

}  // namespace

std::span<const EmbeddedResource> embeddedResources() {
    static const ResourceList* list = [] {
        auto* made = new ResourceList;
        made->module = resourceModule();
        ::EnumResourceTypesW(made->module, addType, reinterpret_cast<LONG_PTR>(made));
        return made;
    }();
    return list->entries;
}

std::span<const std::uint8_t> detail::findFileResource(std::string_view type, std::string_view id) {
    HMODULE module = resourceModule();
    // The system reads a name that starts with '#' as a number; no name of ours does.
    if (!module || type.empty() || id.empty() || id[0] == '#' || type[0] == '#') return {};
    const std::wstring wideType = upperWide(type);
    WORD ordinal = 0;
    if (isOrdinal(id, ordinal))
        return loadResource(module,
                            ::FindResourceW(module, MAKEINTRESOURCEW(ordinal), wideType.c_str()));
    const std::wstring wideName = upperWide(id);
    return loadResource(module, ::FindResourceW(module, wideName.c_str(), wideType.c_str()));
}

}  // namespace mirel
