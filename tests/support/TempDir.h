// A fresh temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

#include "platform/base/CString.h"

namespace quiva::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // Native path of a name inside the folder.
    std::string Native(const std::string& name) const { return m_path + "/" + name; }
    // The folder's path in the Windows form the system's code takes.
    CString Win(const std::string& name = "") const;

private:
    std::string m_path;
};

// Sets an environment variable for one scope and restores the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string m_name;
    bool m_had;
    std::string m_old;
};

// Whole-file helpers on native paths.
std::string ReadAll(const std::string& nativePath);
void WriteAll(const std::string& nativePath, const std::string& bytes);

}  // namespace quiva::test
