// The clinic's account library: GetDBConstData(set, user, password) fills the two buffers with
// the database account of credential set 0 or 1.
//
// The account is read from "HRBAccount.ini" beside this library, which the clinic installs
// readable by its owner only (a file that others may read, or that belongs to someone else, is
// refused):
//
//   [0]
//   user=...
//   password=...
//   [1]
//   ...
//
// The values are stored as they are given to the capture module: this stand-in does not
// encrypt, and its partner HRBDecryptCommon hands them on unchanged. Each buffer receives at most
// 254 bytes and a terminator; a longer value makes the set unavailable.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kMaxValue = 254;

std::string AccountFilePath()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&AccountFilePath), &info) || !info.dli_fname)
        return std::string();
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/HRBAccount.ini";
}

bool ReadOwnerOnlyFile(const std::string& path, std::string& text)
{
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0 &&
              st.st_size < 64 * 1024;
    if (ok) {
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0)
            text.append(buf, static_cast<size_t>(n));
        ok = n == 0;
    }
    close(fd);
    return ok;
}

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool FindAccount(const std::string& text, int set, std::string& user, std::string& password)
{
    // (No std::to_string: its digit table would pin the library in memory once loaded.)
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "[%d]", set);
    bool inSet = false, haveUser = false, havePassword = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        std::string trimmed = Trim(line);
        if (!trimmed.empty() && trimmed[0] == '[') {
            inSet = trimmed == wanted;
            continue;
        }
        size_t eq = line.find('=');
        if (!inSet || eq == std::string::npos)
            continue;
        std::string key = Trim(line.substr(0, eq));
        // The value is everything after "=" but the line end: passwords may hold blanks.
        std::string value = line.substr(eq + 1);
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        if (key == "user") {
            user = value;
            haveUser = true;
        } else if (key == "password") {
            password = value;
            havePassword = true;
        }
    }
    return haveUser && havePassword;
}

void Fill(char* buffer, const std::string& value)
{
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int GetDBConstData(int set, char* user, char* password)
{
    if (!user || !password || set < 0)
        return 0;
    std::string text, u, p;
    if (!ReadOwnerOnlyFile(AccountFilePath(), text) || !FindAccount(text, set, u, p))
        return 0;
    if (u.size() > kMaxValue || p.size() > kMaxValue || u.find('\0') != std::string::npos ||
        p.find('\0') != std::string::npos)
        return 0;
    Fill(user, u);
    Fill(password, p);
    return 1;
}
