#include "platform/base/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/base/CString.h"
#include "platform/base/codepage.h"
#include "platform/base/lasterror.h"
#include "platform/base/winpath.h"

namespace {

struct Value {
    std::wstring name;
    std::wstring data;
};

// Keys as a tree: each holds its own name, so a hive takes memory in proportion to its file
// and a lookup costs one step a level, whatever the number of keys.
struct Key {
    std::wstring name;  // this level's name; "" for the hive's root
    std::vector<Value> values;
    std::vector<std::unique_ptr<Key>> children;  // in the order they were made
    std::map<std::wstring, Key*> byName;         // children by folded name
    bool listed = false;  // written to the file: read from it, made on purpose, or holding values
};
struct Hive {
    Key root;
};

// Deeper key paths and longer key names than the system's own registry takes are refused.
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxHiveBytes = 64u << 20;

// What an HKEY of ours points at.
struct OpenKey {
    const char* hive;
    std::wstring path;
    bool write;
};

std::mutex g_handlesMutex;
std::set<OpenKey*> g_handles;

const char* PredefinedHive(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_CURRENT_USER)
        return "HKEY_CURRENT_USER";
    return nullptr;
}

// The hive and path a handle names; false for a handle that is not (or no longer) open.
bool Lookup(HKEY key, const char*& hive, std::wstring& path)
{
    if (const char* h = PredefinedHive(key)) {
        hive = h;
        path.clear();
        return true;
    }
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto* open = reinterpret_cast<OpenKey*>(key);
    if (!g_handles.count(open))
        return false;
    hive = open->hive;
    path = open->path;
    return true;
}

HKEY NewHandle(const char* hive, const std::wstring& path, bool write)
{
    auto* open = new OpenKey{hive, path, write};
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    g_handles.insert(open);
    return reinterpret_cast<HKEY>(open);
}

bool HandleWritable(HKEY key)
{
    if (PredefinedHive(key))
        return true;
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto* open = reinterpret_cast<OpenKey*>(key);
    return g_handles.count(open) && open->write;
}

// "a\\b\" + "c" -> "a\b\c": empty components dropped.
std::wstring JoinKeyPath(const std::wstring& base, const wchar_t* sub)
{
    std::wstring joined = base;
    std::wstring part;
    auto flush = [&] {
        if (part.empty())
            return;
        if (!joined.empty())
            joined += L'\\';
        joined += part;
        part.clear();
    };
    for (const wchar_t* p = sub ? sub : L""; *p; ++p) {
        if (*p == L'\\')
            flush();
        else
            part += *p;
    }
    flush();
    return joined;
}

bool SameName(const std::wstring& a, const std::wstring& b) { return CString(a).CompareNoCase(b.c_str()) == 0; }

// Names compare without regard to ASCII case.
std::wstring Folded(const std::wstring& name)
{
    std::wstring f = name;
    for (wchar_t& c : f)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return f;
}

// The levels of a joined key path; false for one deeper or with longer names than allowed.
bool SplitKeyPath(const std::wstring& path, std::vector<std::wstring>& levels)
{
    levels.clear();
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        if (end - start > kMaxKeyNameChars || levels.size() >= kMaxKeyDepth)
            return false;
        levels.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

const Key* FindKey(const Hive& hive, const std::wstring& path)
{
    std::vector<std::wstring> levels;
    if (!SplitKeyPath(path, levels))
        return nullptr;
    const Key* k = &hive.root;
    for (const std::wstring& level : levels) {
        auto it = k->byName.find(Folded(level));
        if (it == k->byName.end())
            return nullptr;
        k = it->second;
    }
    return k;
}

// The key, made with any missing parent; null for a path beyond the limits.
Key* AddKey(Hive& hive, const std::wstring& path)
{
    std::vector<std::wstring> levels;
    if (!SplitKeyPath(path, levels))
        return nullptr;
    Key* k = &hive.root;
    for (const std::wstring& level : levels) {
        std::wstring folded = Folded(level);
        auto it = k->byName.find(folded);
        if (it == k->byName.end()) {
            k->children.push_back(std::make_unique<Key>());
            k->children.back()->name = level;
            it = k->byName.emplace(std::move(folded), k->children.back().get()).first;
        }
        k = it->second;
    }
    k->listed = true;
    return k;
}

// The hive file: "[key path]" lines, each followed by its "name"="data" lines. Names and data
// are quoted with \\, \", \n and \r escaped; key paths are escaped the same way.
std::string Escape(const std::wstring& text)
{
    std::string out;
    for (char c : quiva::WideToUtf8(text)) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

// Reads an escaped text up to `end` (or the end of the line); `i` ends past the closing character.
std::wstring Unescape(const std::string& line, size_t& i, char end)
{
    std::string out;
    for (; i < line.size() && line[i] != end; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            char n = line[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += line[i];
        }
    }
    ++i;
    return quiva::Utf8ToWide(out);
}

void SerializeKey(const Key& k, const std::wstring& path, std::string& out)
{
    if (k.listed || !k.values.empty()) {
        out += "[" + Escape(path) + "]\n";
        for (const Value& v : k.values)
            out += "\"" + Escape(v.name) + "\"=\"" + Escape(v.data) + "\"\n";
    }
    for (const auto& child : k.children)
        SerializeKey(*child, path.empty() ? child->name : path + L'\\' + child->name, out);
}

// Keys made only as the parents of others are not written; reading the file makes them again.
std::string Serialize(const Hive& hive)
{
    std::string out = "; registry hive, UTF-8\n";
    SerializeKey(hive.root, L"", out);
    return out;
}

// Lines that are not ours, and keys beyond the limits with their values, are passed over.
std::shared_ptr<Hive> Parse(const std::string& text)
{
    auto hive = std::make_shared<Hive>();
    Key* current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t i = 1;
        if (!line.empty() && line[0] == '[' && line.back() == ']') {
            std::string inner = line.substr(0, line.size() - 1);
            current = AddKey(*hive, JoinKeyPath(L"", Unescape(inner, i, '\0').c_str()));
        } else if (!line.empty() && line[0] == '"' && current) {
            std::wstring name = Unescape(line, i, '"');
            if (i + 1 >= line.size() || line[i] != '=' || line[i + 1] != '"')
                continue;  // not a line of ours
            i += 2;
            std::wstring data = Unescape(line, i, '"');
            current->values.push_back(Value{name, data});
        }
    }
    return hive;
}

std::string HiveFile(const char* hive) { return quiva::RegistryFolder() + "/" + hive + ".reg"; }

// Writable for us: permission, and write bits at all (so a file or folder made read-only stays
// read-only even for a privileged user).
bool Writable(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    return (st.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
}

bool HiveWritable(const char* hive)
{
    std::string file = HiveFile(hive);
    struct stat st {};
    bool fileExists = ::lstat(file.c_str(), &st) == 0;
    return Writable(quiva::RegistryFolder()) && (!fileExists || Writable(file));
}

// The bytes a hive file holds; "" for a hive that has no file yet.
bool ReadHiveBytes(const char* hive, std::string& bytes)
{
    bytes.clear();
    std::string file = HiveFile(hive);
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return errno == ENOENT;
    return quiva::ReadFileBytes(quiva::WindowsPath(file), bytes, kMaxHiveBytes);
}

// A hive is parsed once and kept while its file holds the same bytes: reading the file is
// cheap, parsing it for every call is not.
std::shared_ptr<const Hive> ReadHive(const char* hive)
{
    struct Parsed {
        std::string bytes;
        std::shared_ptr<const Hive> hive;
    };
    static std::mutex cacheMutex;
    static std::map<std::string, Parsed> cache;
    std::string bytes;
    if (!ReadHiveBytes(hive, bytes))
        return nullptr;
    std::lock_guard<std::mutex> lock(cacheMutex);
    Parsed& entry = cache[hive];
    if (!entry.hive || entry.bytes != bytes) {
        entry.hive = Parse(bytes);
        entry.bytes = std::move(bytes);
    }
    return entry.hive;
}

// Read, change and write a hive under its lock.
LSTATUS ModifyHive(const char* hive, const std::function<LSTATUS(Hive&)>& change)
{
    std::string folder = quiva::RegistryFolder();
    int made = SHCreateDirectoryExW(nullptr, quiva::WindowsPath(folder), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS)
        return ERROR_ACCESS_DENIED;
    if (!HiveWritable(hive))
        return ERROR_ACCESS_DENIED;
    int fd = ::open((folder + "/" + hive + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return ERROR_ACCESS_DENIED;
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    LSTATUS result = ERROR_SUCCESS;
    std::string bytes;
    if (!ReadHiveBytes(hive, bytes)) {
        result = ERROR_READ_FAULT;  // a file we cannot read is never written over
    } else {
        std::shared_ptr<Hive> data = Parse(bytes);
        result = change(*data);
        if (result == ERROR_SUCCESS && !quiva::WriteFileAtomically(quiva::WindowsPath(HiveFile(hive)), Serialize(*data)))
            result = ERROR_WRITE_FAULT;
    }
    ::close(fd);
    return result;
}

bool WantsWrite(REGSAM access) { return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK)) != 0; }

// The hive and full path a handle and sub-key name, with the hive as it stands now.
LSTATUS BeginOpen(HKEY key, LPCWSTR subKey, PHKEY result, const char*& hive, std::wstring& path,
                  std::shared_ptr<const Hive>& data)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::wstring base;
    if (!Lookup(key, hive, base))
        return ERROR_INVALID_HANDLE;
    path = JoinKeyPath(base, subKey);
    std::vector<std::wstring> levels;
    if (!SplitKeyPath(path, levels))
        return ERROR_BAD_PATHNAME;
    data = ReadHive(hive);
    return data ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

}  // namespace

namespace quiva {
std::string RegistryFolder()
{
    const char* dir = std::getenv("QUIVA_REGISTRY_DIR");
    if (dir && *dir)
        return dir;
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data)
        return std::string(data) + "/quiva/registry";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/quiva/registry";
}
}  // namespace quiva

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM access, PHKEY result)
{
    const char* hive = nullptr;
    std::wstring path;
    std::shared_ptr<const Hive> data;
    if (LSTATUS status = BeginOpen(key, subKey, result, hive, path, data); status != ERROR_SUCCESS)
        return status;
    if (!FindKey(*data, path))
        return ERROR_FILE_NOT_FOUND;
    if (WantsWrite(access) && !HiveWritable(hive))
        return ERROR_ACCESS_DENIED;
    *result = NewHandle(hive, path, WantsWrite(access));
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD /*reserved*/, LPWSTR /*keyClass*/, DWORD /*options*/,
                        REGSAM access, LPSECURITY_ATTRIBUTES /*sa*/, PHKEY result, LPDWORD disposition)
{
    const char* hive = nullptr;
    std::wstring path;
    std::shared_ptr<const Hive> data;
    if (LSTATUS status = BeginOpen(key, subKey, result, hive, path, data); status != ERROR_SUCCESS)
        return status;
    bool exists = path.empty() || FindKey(*data, path);
    if (!exists) {
        LSTATUS status = ModifyHive(hive, [&](Hive& h) { return AddKey(h, path) ? ERROR_SUCCESS : ERROR_BAD_PATHNAME; });
        if (status != ERROR_SUCCESS)
            return status;
    } else if (WantsWrite(access) && !HiveWritable(hive)) {
        return ERROR_ACCESS_DENIED;
    }
    if (disposition)
        *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = NewHandle(hive, path, WantsWrite(access));
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data, DWORD size)
{
    const char* hive = nullptr;
    std::wstring path;
    if (!Lookup(key, hive, path))
        return ERROR_INVALID_HANDLE;
    if (type != REG_SZ)
        return ERROR_NOT_SUPPORTED;
    if (!data && size > 0)
        return ERROR_INVALID_PARAMETER;
    if (!HandleWritable(key))
        return ERROR_ACCESS_DENIED;
    std::wstring text;
    if (data) {
        size_t count = size / sizeof(wchar_t);
        std::vector<wchar_t> chars(count);
        std::memcpy(chars.data(), data, count * sizeof(wchar_t));
        text.assign(chars.begin(), chars.end());
        text = text.substr(0, text.find(L'\0'));
    }
    std::wstring name = valueName ? valueName : L"";
    return ModifyHive(hive, [&](Hive& h) {
        Key* k = AddKey(h, path);
        if (!k)
            return ERROR_BAD_PATHNAME;
        for (Value& v : k->values)
            if (SameName(v.name, name)) {
                v.data = text;
                return ERROR_SUCCESS;
            }
        k->values.push_back(Value{name, text});
        return ERROR_SUCCESS;
    });
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD /*reserved*/, LPDWORD type, LPBYTE data, LPDWORD size)
{
    const char* hive = nullptr;
    std::wstring path;
    if (!Lookup(key, hive, path))
        return ERROR_INVALID_HANDLE;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    std::shared_ptr<const Hive> h = ReadHive(hive);
    if (!h)
        return ERROR_ACCESS_DENIED;
    const Key* k = FindKey(*h, path);
    if (!k)
        return ERROR_FILE_NOT_FOUND;
    std::wstring name = valueName ? valueName : L"";
    for (const Value& v : k->values) {
        if (!SameName(v.name, name))
            continue;
        DWORD needed = static_cast<DWORD>((v.data.size() + 1) * sizeof(wchar_t));
        if (type)
            *type = REG_SZ;
        if (!data) {
            if (size)
                *size = needed;
            return ERROR_SUCCESS;
        }
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, v.data.c_str(), needed);
        *size = needed;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS RegCloseKey(HKEY key)
{
    if (PredefinedHive(key))
        return ERROR_SUCCESS;
    auto* open = reinterpret_cast<OpenKey*>(key);
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        if (!g_handles.erase(open))
            return ERROR_INVALID_HANDLE;
    }
    delete open;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenCurrentUser(REGSAM /*access*/, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = HKEY_CURRENT_USER;
    return ERROR_SUCCESS;
}

LSTATUS RegEnableReflectionKey(HKEY /*key*/) { return ERROR_SUCCESS; }
