#include "host/quiva-host/CaptureModule.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/base/codepage.h"
#include "platform/base/resources.h"
#include "platform/ui/uisystem.h"

namespace {

struct Segments {
    const char* anchor;  // an address inside the module
    char* begin = nullptr;
    char* end = nullptr;
};

int FindSegments(dl_phdr_info* info, size_t, void* data)
{
    auto* s = static_cast<Segments*>(data);
    uintptr_t low = UINTPTR_MAX, high = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& p = info->dlpi_phdr[i];
        if (p.p_type != PT_LOAD)
            continue;
        low = std::min<uintptr_t>(low, info->dlpi_addr + p.p_vaddr);
        high = std::max<uintptr_t>(high, info->dlpi_addr + p.p_vaddr + p.p_memsz);
    }
    const auto anchor = reinterpret_cast<uintptr_t>(s->anchor);
    if (low > anchor || anchor >= high)
        return 0;
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    s->begin = reinterpret_cast<char*>(low & ~(page - 1));
    s->end = reinterpret_cast<char*>((high + page - 1) & ~(page - 1));
    return 1;
}

template <typename F>
bool Bind(void* handle, const char* name, F& slot, std::string* error)
{
    slot = reinterpret_cast<F>(dlsym(handle, name));
    if (!slot && error)
        *error = std::string("the module has no export ") + name;
    return slot != nullptr;
}
}  // namespace

template <typename Visit>
bool CaptureModule::EachExport(Visit visit)
{
    return visit("QUIVACaptureShow", Show) && visit("QUIVACaptureShowModal", ShowModal) && visit("QUIVACaptureClose", Close) &&
           visit("QUIVACaptureClear", Clear) && visit("QUIVACaptureOpen", Open) && visit("QUIVACaptureIsShow", IsShow) &&
           visit("QUIVACaptureParentWnd", ParentWnd);
}

bool CaptureModule::Load(const std::string& path, std::string* error)
{
    Unload();
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        if (error)
            *error = dlerror();
        return false;
    }
    if (EachExport([&](const char* name, auto& slot) { return Bind(m_handle, name, slot, error); })) {
        m_code = reinterpret_cast<const char*>(Show);
        Segments segments{m_code};
        dl_iterate_phdr(FindSegments, &segments);
        m_begin = segments.begin;
        m_end = segments.end;
        Dl_info info{};
        std::string file = dladdr(reinterpret_cast<void*>(Show), &info) && info.dli_fname ? info.dli_fname : path;
        file = file.substr(file.rfind('/') + 1);
        m_instance = GetModuleHandleW(quiva::Utf8ToWide(file).c_str());
        return true;
    }
    Unload();
    return false;
}

void CaptureModule::Unload()
{
    if (m_handle) {
        dlclose(m_handle);
        // Fails harmlessly when the library stayed mapped.
        if (m_begin)
            mmap(m_begin, static_cast<size_t>(m_end - m_begin), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    }
    m_handle = nullptr;
    EachExport([](const char*, auto& slot) {
        slot = nullptr;
        return true;
    });
}

bool CaptureModule::CodeInProcess() const
{
    Segments segments{m_code};
    return m_code && dl_iterate_phdr(FindSegments, &segments) != 0;
}

std::vector<std::wstring> CaptureModule::WindowClassesOfModule() const
{
    std::vector<std::wstring> names;
    for (const quiva::ui::RegisteredClass& c : quiva::ui::RegisteredClasses()) {
        const auto* proc = reinterpret_cast<const char*>(c.proc);
        if ((m_instance && c.instance == m_instance) || (m_begin <= proc && proc < m_end))
            names.push_back(c.name);
    }
    return names;
}
