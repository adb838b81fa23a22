#include "platform/base/resources.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/lasterror.h"

namespace quiva {
namespace {

struct Module {
    std::wstring key;  // lower-case name without extension
    const void* anchor = nullptr;
    HMODULE handle = nullptr;  // resolved on first use
    std::vector<EmbeddedResource> items;
    std::map<UINT, std::wstring> strings;
};

std::mutex& RegistryMutex()
{
    static std::mutex m;
    return m;
}
std::vector<Module>& Modules()
{
    static auto* modules = new std::vector<Module>();
    return *modules;
}

std::wstring Key(std::wstring_view name)
{
    std::wstring k(name);
    size_t slash = k.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        k.erase(0, slash + 1);
    for (auto& c : k)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    for (const wchar_t* ext : {L".dll", L".exe", L".so"}) {
        size_t n = std::wcslen(ext);
        if (k.size() > n && k.compare(k.size() - n, n, ext) == 0) {
            k.erase(k.size() - n);
            break;
        }
    }
    return k;
}

HMODULE ProgramHandle()
{
    static HMODULE h = [] {
        void* p = ::dlopen(nullptr, RTLD_LAZY);
        return static_cast<HMODULE>(p);
    }();
    return h;
}

// The handle of the loaded object (program or shared library) that holds `anchor`.
HMODULE HandleOf(const void* anchor)
{
    Dl_info info{};
    if (::dladdr(anchor, &info) && info.dli_fname && info.dli_fname[0]) {
        if (void* h = ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) {
            // The module stays loaded while its code runs; the extra reference is not needed.
            ::dlclose(h);
            if (h != ::dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD))
                return static_cast<HMODULE>(h);
        }
    }
    return ProgramHandle();
}

void ParseStrings(Module& m, const EmbeddedResource& r)
{
    std::wstring text = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(r.data), r.size));
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        size_t tab = line.find(L'\t');
        if (line.empty() || line[0] == L'#' || tab == std::wstring::npos || tab == 0)
            continue;
        wchar_t* stop = nullptr;
        unsigned long id = std::wcstoul(line.c_str(), &stop, 10);
        if (stop != line.c_str() + tab || id > 0xFFFF)
            continue;
        m.strings[static_cast<UINT>(id)] = line.substr(tab + 1);
    }
}

// Every bundle of the loaded object `handle` (null: the program), in registration order. One
// object may hold several bundles, e.g. a test program carrying the capture module's resources.
std::vector<Module*> Find(HMODULE handle)
{
    std::vector<Module*> found;
    if (!handle)
        handle = ProgramHandle();
    for (Module& m : Modules()) {
        if (!m.handle)
            m.handle = HandleOf(m.anchor);
        if (m.handle == handle)
            found.push_back(&m);
    }
    return found;
}

bool NameMatches(const EmbeddedResource& r, LPCWSTR name)
{
    if (IS_INTRESOURCE(name))
        return r.id == static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
    if (r.id < 0)
        return r.name && Key(r.name) == Key(name);
    wchar_t* stop = nullptr;
    // "#123" names resource 123, as on Windows.
    if (name[0] == L'#')
        return std::wcstol(name + 1, &stop, 10) == r.id && *stop == 0;
    return false;
}

}  // namespace

void RegisterResourceModule(const wchar_t* moduleName, const EmbeddedResource* items, size_t count, const void* anchor)
{
    std::lock_guard lock(RegistryMutex());
    Module m;
    m.key = Key(moduleName ? moduleName : L"");
    m.anchor = anchor;
    m.items.assign(items, items + count);
    for (const EmbeddedResource& r : m.items)
        if (std::wcscmp(r.type, L"STRINGS") == 0)
            ParseStrings(m, r);
    Modules().push_back(std::move(m));
}

void UnregisterResourceModule(const void* anchor)
{
    std::lock_guard lock(RegistryMutex());
    std::erase_if(Modules(), [&](const Module& m) { return m.anchor == anchor; });
}

const EmbeddedResource* FindEmbeddedResource(HMODULE module, const wchar_t* type, LPCWSTR name)
{
    if (!type || !name)
        return nullptr;
    std::lock_guard lock(RegistryMutex());
    for (Module* m : Find(module))
        for (const EmbeddedResource& r : m->items)
            if (Key(r.type) == Key(type) && NameMatches(r, name))
                return &r;
    return nullptr;
}

}  // namespace quiva

HMODULE GetModuleHandleW(LPCWSTR moduleName)
{
    if (!moduleName)
        return quiva::ProgramHandle();
    std::wstring key = quiva::Key(moduleName);
    std::lock_guard lock(quiva::RegistryMutex());
    for (quiva::Module& m : quiva::Modules()) {
        if (m.key != key)
            continue;
        if (!m.handle)
            m.handle = quiva::HandleOf(m.anchor);
        return m.handle;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int max)
{
    if (!buffer || max < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(quiva::RegistryMutex());
    const std::wstring* text = nullptr;
    for (quiva::Module* m : quiva::Find(instance)) {
        auto it = m->strings.find(id);
        if (it != m->strings.end()) {
            text = &it->second;
            break;
        }
    }
    if (!text) {
        if (max > 0)
            buffer[0] = 0;
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    const std::wstring& s = *text;
    if (max == 0) {
        // The text stays where it is for the life of the module.
        *reinterpret_cast<const wchar_t**>(buffer) = s.c_str();
        return static_cast<int>(s.size());
    }
    int n = std::min(static_cast<int>(s.size()), max - 1);
    std::wmemcpy(buffer, s.c_str(), static_cast<size_t>(n));
    buffer[n] = 0;
    return n;
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    std::wstring typeName;
    if (type == RT_GROUP_ICON || type == RT_ICON)
        typeName = L"ICON";
    else if (type && !IS_INTRESOURCE(type))
        typeName = type;
    const quiva::EmbeddedResource* r =
        typeName.empty() ? nullptr : quiva::FindEmbeddedResource(module, typeName.c_str(), name);
    if (!r)
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return reinterpret_cast<HRSRC>(const_cast<quiva::EmbeddedResource*>(r));
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) { return resource; }

LPVOID LockResource(HGLOBAL data)
{
    auto* r = static_cast<const quiva::EmbeddedResource*>(data);
    return r ? const_cast<unsigned char*>(r->data) : nullptr;
}

DWORD SizeofResource(HMODULE, HRSRC resource)
{
    auto* r = reinterpret_cast<const quiva::EmbeddedResource*>(resource);
    return r ? static_cast<DWORD>(r->size) : 0;
}
