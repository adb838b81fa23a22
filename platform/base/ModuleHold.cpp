#include "platform/base/ModuleHold.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace quiva {
namespace {

struct Range {
    uintptr_t low, high;
};

int AddRange(dl_phdr_info* info, size_t, void* data)
{
    uintptr_t low = UINTPTR_MAX, high = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& p = info->dlpi_phdr[i];
        if (p.p_type == PT_LOAD) {
            low = std::min<uintptr_t>(low, info->dlpi_addr + p.p_vaddr);
            high = std::max<uintptr_t>(high, info->dlpi_addr + p.p_vaddr + p.p_memsz);
        }
    }
    if (low < high)
        static_cast<std::vector<Range>*>(data)->push_back(Range{low, high});
    return 0;
}

// The program and the libraries loaded with it (this one among them, or the program it is
// built into): they stay for the life of the process and need no hold.
const std::vector<Range> kLoadedAtStart = [] {
    std::vector<Range> ranges;
    dl_iterate_phdr(AddRange, &ranges);
    return ranges;
}();

bool LoadedAtStart(uintptr_t address)
{
    return std::any_of(kLoadedAtStart.begin(), kLoadedAtStart.end(),
                       [&](const Range& r) { return r.low <= address && address < r.high; });
}

// The return addresses on this thread's stack, each moved back into its call; empty when the
// stack is deeper than can be looked through, which callers take as "anything may be there".
std::vector<uintptr_t> StackAddresses(bool* whole)
{
    void* frames[1024];
    const int n = backtrace(frames, 1024);
    *whole = n < 1024;
    std::vector<uintptr_t> addresses;
    for (int i = 0; i < n; ++i)
        addresses.push_back(reinterpret_cast<uintptr_t>(frames[i]) - 1);
    return addresses;
}

const void* LibraryBase(uintptr_t address)
{
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(address), &info) ? info.dli_fbase : nullptr;
}

thread_local std::vector<ModuleHold::Held> t_holding;  // references of the holds running
thread_local std::vector<ModuleHold::Held> t_ended;    // left by holds that ended
thread_local bool t_releasing = false;

}  // namespace

ModuleHold::ModuleHold()
{
    bool whole = false;
    for (uintptr_t address : StackAddresses(&whole)) {
        if (LoadedAtStart(address))
            continue;
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(address), &info) || !info.dli_fname || !info.dli_fbase)
            continue;
        if (std::any_of(m_held.begin(), m_held.end(), [&](const Held& h) { return h.base == info.dli_fbase; }))
            continue;
        // A library already loaded: opened again without loading, it only gains a reference.
        if (void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD))
            m_held.push_back(Held{handle, info.dli_fbase});
    }
    t_holding.insert(t_holding.end(), m_held.begin(), m_held.end());
}

ModuleHold::~ModuleHold()
{
    for (const Held& h : m_held) {
        t_holding.erase(std::find_if(t_holding.begin(), t_holding.end(), [&](const Held& o) { return o.handle == h.handle; }));
        // Another loop of the library still holds it, so it cannot go now: let go at once.
        if (std::any_of(t_holding.begin(), t_holding.end(), [&](const Held& o) { return o.handle == h.handle; }))
            dlclose(h.handle);
        else
            t_ended.push_back(h);
    }
}

void ReleaseHeldModules()
{
    if (t_ended.empty() || t_releasing)
        return;
    bool whole = false;
    const std::vector<uintptr_t> stack = StackAddresses(&whole);
    if (!whole)
        return;
    std::vector<ModuleHold::Held> free;
    for (auto it = t_ended.begin(); it != t_ended.end();) {
        if (std::none_of(stack.begin(), stack.end(), [&](uintptr_t a) { return !LoadedAtStart(a) && LibraryBase(a) == it->base; })) {
            free.push_back(*it);
            it = t_ended.erase(it);
        } else {
            ++it;
        }
    }
    // Unloading runs the library's shut-down, which may take messages itself.
    t_releasing = true;
    for (const ModuleHold::Held& h : free)
        dlclose(h.handle);
    t_releasing = false;
}

}  // namespace quiva
