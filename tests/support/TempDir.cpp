#include "tests/support/TempDir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/winpath.h"

namespace quiva::test {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/quiva-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!::mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = buf.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

CString TempDir::Win(const std::string& name) const
{
    return WindowsPath(name.empty() ? m_path : Native(name));
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name)
{
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (old)
        m_old = old;
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (m_had)
        ::setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

std::string ReadAll(const std::string& nativePath)
{
    std::ifstream in(nativePath, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const std::string& nativePath, const std::string& bytes)
{
    std::ofstream out(nativePath, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace quiva::test
