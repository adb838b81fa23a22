#include "platform/base/ModuleHold.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace quiva {
namespace {

struct Range {
    uintptr_t low, high;
};

// A loaded object as dl_iterate_phdr lists it: where it lies, the name others need it by (its
// DT_SONAME, or its file's name) and the names it needs (DT_NEEDED).
struct Loaded {
    Range range;
    std::string name;
    std::vector<std::string> needs;
};

std::string FileName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

void ReadDynamic(const dl_phdr_info& info, const ElfW(Phdr)& p, Loaded* object)
{
    const auto* dynamic = reinterpret_cast<const ElfW(Dyn)*>(info.dlpi_addr + p.p_vaddr);
    uintptr_t strings = 0;
    for (const ElfW(Dyn)* d = dynamic; d->d_tag != DT_NULL; ++d)
        if (d->d_tag == DT_STRTAB)
            strings = d->d_un.d_ptr;
    if (!strings)
        return;
    // The loader relocates the table's address in place, except in a read-only dynamic section.
    if (strings < info.dlpi_addr)
        strings += info.dlpi_addr;
    for (const ElfW(Dyn)* d = dynamic; d->d_tag != DT_NULL; ++d) {
        const char* text = reinterpret_cast<const char*>(strings + d->d_un.d_val);
        if (d->d_tag == DT_NEEDED)
            object->needs.push_back(FileName(text));
        else if (d->d_tag == DT_SONAME)
            object->name = text;
    }
}

int AddLoaded(dl_phdr_info* info, size_t, void* data)
{
    Loaded object{{UINTPTR_MAX, 0}, FileName(info->dlpi_name ? info->dlpi_name : ""), {}};
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& p = info->dlpi_phdr[i];
        if (p.p_type == PT_LOAD) {
            object.range.low = std::min<uintptr_t>(object.range.low, info->dlpi_addr + p.p_vaddr);
            object.range.high = std::max<uintptr_t>(object.range.high, info->dlpi_addr + p.p_vaddr + p.p_memsz);
        } else if (p.p_type == PT_DYNAMIC) {
            ReadDynamic(*info, p, &object);
        }
    }
    if (object.range.low < object.range.high)
        static_cast<std::vector<Loaded>*>(data)->push_back(std::move(object));
    return 0;
}

// The program and the libraries it was started with: the program, what it needs and what those
// need in turn, found among what is loaded now.
std::vector<Range> StartedWith(const std::vector<Loaded>& loaded)
{
    std::vector<Range> ranges;
    std::vector<bool> taken(loaded.size(), false);
    std::vector<size_t> next;
    if (!loaded.empty())
        next.push_back(0);  // the program comes first
    while (!next.empty()) {
        const Loaded& object = loaded[next.back()];
        next.pop_back();
        ranges.push_back(object.range);
        for (size_t i = 1; i < loaded.size(); ++i)
            if (!taken[i] && std::find(object.needs.begin(), object.needs.end(), loaded[i].name) != object.needs.end()) {
                taken[i] = true;
                next.push_back(i);
            }
    }
    return ranges;
}

bool Within(const std::vector<Range>& ranges, uintptr_t address)
{
    return std::any_of(ranges.begin(), ranges.end(), [&](const Range& r) { return r.low <= address && address < r.high; });
}

// The libraries that stay for the life of the process and need no hold: those the program was
// started with, and this one. When this library came in later, with a library a host loaded (the
// capture module, which a host that links nothing of ours loads alone), it makes itself stay: it
// is what lets that library go from inside one of its own loops and then returns into those
// loops, so it cannot go with it, just as a program's system libraries do not.
const std::vector<Range> kResident = [] {
    std::vector<Loaded> loaded;
    dl_iterate_phdr(AddLoaded, &loaded);
    std::vector<Range> ranges = StartedWith(loaded);
    const auto here = reinterpret_cast<uintptr_t>(&AddLoaded);
    Dl_info self{};
    if (Within(ranges, here) || !dladdr(reinterpret_cast<void*>(&AddLoaded), &self) || !self.dli_fname ||
        !dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
        return ranges;
    for (const Loaded& object : loaded)
        if (object.range.low <= here && here < object.range.high)
            ranges.push_back(object.range);
    return ranges;
}();

bool Resident(uintptr_t address) { return Within(kResident, address); }

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
        if (Resident(address))
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
        if (std::none_of(stack.begin(), stack.end(), [&](uintptr_t a) { return !Resident(a) && LibraryBase(a) == it->base; })) {
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
