// The capture module as a host sees it: the shared library loaded at run time and its seven
// exports found by name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/base/wintypes.h"

class CaptureModule {
public:
    CaptureModule() = default;
    ~CaptureModule() { Unload(); }
    CaptureModule(const CaptureModule&) = delete;
    CaptureModule& operator=(const CaptureModule&) = delete;

    // Loads the library (its start-up runs now). False with `error` set when it cannot be
    // loaded or lacks an export.
    bool Load(const std::string& path, std::string* error);
    // Unloads it (its shut-down runs now); nothing when not loaded. The addresses its code had
    // are kept unmapped and out of use: a pointer left into that code faults at once, and a
    // module loaded again lands elsewhere.
    void Unload();
    bool Loaded() const { return m_handle != nullptr; }
    // Whether the code of the module last loaded is still in the process: after Unload, until
    // the library has really gone.
    bool CodeInProcess() const;
    // The window classes that belong to the module last loaded (registered with its instance or
    // with a window procedure in its code), also after it was unloaded.
    std::vector<std::wstring> WindowClassesOfModule() const;

    int (*Show)(const char* chart, const char* date) = nullptr;
    int (*ShowModal)(const char* chart, const char* date) = nullptr;
    int (*Close)() = nullptr;
    int (*Clear)() = nullptr;
    int (*Open)() = nullptr;
    BOOL (*IsShow)() = nullptr;
    void (*ParentWnd)(HWND host) = nullptr;

private:
    // Calls visit(name, slot) for each export and its pointer in turn while it answers true;
    // whether every call did.
    template <typename Visit>
    bool EachExport(Visit visit);

    void* m_handle = nullptr;
    HINSTANCE m_instance = nullptr;  // of the module last loaded
    const char* m_code = nullptr;    // an address in its code
    char* m_begin = nullptr;         // the addresses its segments took
    char* m_end = nullptr;
};
