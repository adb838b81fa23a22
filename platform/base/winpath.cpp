#include "platform/base/winpath.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/base/codepage.h"

namespace quiva {
namespace {

bool IsSep(wchar_t c) { return c == L'\\' || c == L'/'; }

std::atomic<uint64_t> g_lookups{0};
std::atomic<uint64_t> g_listings{0};

bool Exists(const std::string& p)
{
    g_lookups.fetch_add(1, std::memory_order_relaxed);
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// Finds an entry of `dir` equal to `name` without regard to ASCII case.
std::optional<std::string> MatchNoCase(const std::string& dir, const std::string& name)
{
    g_lookups.fetch_add(1, std::memory_order_relaxed);
    g_listings.fetch_add(1, std::memory_order_relaxed);
    DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
    if (!d)
        return std::nullopt;
    // Only ASCII letters fold, so the UTF-8 bytes are compared as they are: no entry is decoded.
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    auto same = [&](const char* entry) {
        size_t i = 0;
        for (; i < name.size() && entry[i]; ++i)
            if (fold(entry[i]) != fold(name[i]))
                return false;
        return i == name.size() && !entry[i];
    };
    std::optional<std::string> found;
    while (dirent* e = ::readdir(d)) {
        if (same(e->d_name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string CurrentDirectory()
{
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE)
            return "/";
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

}  // namespace

uint64_t PathLookupCount() { return g_lookups.load(std::memory_order_relaxed); }

uint64_t PathListingCount() { return g_listings.load(std::memory_order_relaxed); }

std::optional<std::string> DriveDirectory(wchar_t letter)
{
    wchar_t up = (letter >= L'a' && letter <= L'z') ? static_cast<wchar_t>(letter - 32) : letter;
    if (up < L'A' || up > L'Z')
        return std::nullopt;
    std::string var = "QUIVA_DRIVE_";
    var += static_cast<char>(up);
    const char* dir = std::getenv(var.c_str());
    if (!dir || !*dir)
        return std::nullopt;
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    return d;
}

std::optional<std::string> NativePath(const wchar_t* windowsPath)
{
    if (!windowsPath || !*windowsPath)
        return std::nullopt;
    std::wstring p(windowsPath);
    std::string base;
    size_t pos = 0;
    if (p.size() >= 2 && p[1] == L':') {
        auto drive = DriveDirectory(p[0]);
        if (!drive)
            return std::nullopt;
        base = *drive;
        pos = 2;
    } else if (p.size() >= 2 && IsSep(p[0]) && IsSep(p[1])) {
        return std::nullopt;  // network paths are not reachable here
    } else if (IsSep(p[0])) {
        base = "";
    } else {
        base = CurrentDirectory();
    }
    // Split the rest into components.
    std::vector<std::wstring> parts;
    std::wstring cur;
    for (size_t i = pos; i < p.size(); ++i) {
        if (IsSep(p[i])) {
            if (!cur.empty())
                parts.push_back(cur);
            cur.clear();
        } else {
            cur += p[i];
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    // "." and ".." are taken by name, as Windows takes them: ".." steps back over the part
    // before it and never above a drive's root (nor the root of a rooted path). Only a relative
    // path keeps the ".." it cannot take back, to climb out of the current folder.
    const bool rooted = pos == 2 || IsSep(p[0]);
    std::vector<std::wstring> kept;
    for (std::wstring& part : parts) {
        if (part == L".")
            continue;
        if (part == L"..") {
            if (!kept.empty() && kept.back() != L"..")
                kept.pop_back();
            else if (!rooted)
                kept.push_back(part);
            continue;
        }
        kept.push_back(std::move(part));
    }
    parts = std::move(kept);

    // A path that exists as written needs no name matched: one lookup instead of one a component.
    std::string out = base;
    for (const auto& part : parts)
        out = (out == "/" ? "" : out) + "/" + WideToUtf8(part);
    if (parts.empty() || !Exists(out)) {
        out = base;
        bool resolving = true;
        for (const auto& part : parts) {
            std::string name = WideToUtf8(part);
            std::string next = (out == "/" ? "" : out) + "/" + name;
            if (resolving && name != "." && name != ".." && !Exists(next)) {
                if (auto m = MatchNoCase(out.empty() ? "/" : out, name))
                    next = (out == "/" ? "" : out) + "/" + *m;
                else
                    resolving = false;
            }
            out = next;
        }
    }
    if (out.empty())
        out = "/";
    // Keep a trailing separator the caller wrote ("c:\data\" names a folder).
    if (!parts.empty() && IsSep(p.back()))
        out += "/";
    return out;
}

std::optional<std::string> NativePathOfNewName(const wchar_t* windowsPath)
{
    const CString path(windowsPath ? windowsPath : L"");
    const CString folder = PathParent(path), name = PathFileName(path);
    if (folder.IsEmpty() || name.IsEmpty() || name == L"." || name == L"..")
        return NativePath(windowsPath);
    std::optional<std::string> out = NativePath(folder);
    if (!out)
        return std::nullopt;
    while (out->size() > 1 && out->back() == '/')
        out->pop_back();
    return (*out == "/" ? "" : *out) + "/" + WideToUtf8(name.str());
}

CString WindowsPath(const std::string& nativePath)
{
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        auto dir = DriveDirectory(letter);
        if (!dir)
            continue;
        const std::string& d = *dir;
        if (nativePath == d || (nativePath.size() > d.size() && nativePath.compare(0, d.size(), d) == 0 &&
                                (nativePath[d.size()] == '/' || d == "/"))) {
            std::wstring rest = Utf8ToWide(nativePath.substr(d == "/" ? 0 : d.size()));
            for (auto& c : rest)
                if (c == L'/')
                    c = L'\\';
            std::wstring out;
            out += letter;
            out += L':';
            out += rest.empty() ? L"\\" : rest;
            return CString(out);
        }
    }
    std::wstring w = Utf8ToWide(nativePath);
    for (auto& c : w)
        if (c == L'/')
            c = L'\\';
    return CString(w);
}

CString PathFileName(const CString& path)
{
    const std::wstring& s = path.str();
    size_t p = s.find_last_of(L"\\/");
    return p == std::wstring::npos ? path : CString(s.substr(p + 1));
}

CString PathParent(const CString& path)
{
    const std::wstring& s = path.str();
    size_t p = s.find_last_of(L"\\/");
    return p == std::wstring::npos ? CString() : CString(s.substr(0, p));
}

CString PathJoin(const CString& folder, const CString& name)
{
    if (folder.IsEmpty())
        return name;
    wchar_t last = folder.GetAt(folder.GetLength() - 1);
    if (IsSep(last))
        return folder + name;
    return folder + L"\\" + name;
}

CString PathOnDriveOf(const CString& onDrive, const CString& path)
{
    const bool hasDrive = onDrive.GetLength() >= 2 && onDrive[1] == L':';
    if (!hasDrive || path.IsEmpty() || !IsSep(path[0]))
        return path;
    if (path.GetLength() >= 2 && IsSep(path[1]))
        return path;  // a network path names no drive of ours; it stays unreachable
    return onDrive.Left(2) + path;
}

}  // namespace quiva
