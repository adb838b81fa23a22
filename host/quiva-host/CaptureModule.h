// The capture module as a host sees it: the shared library loaded at run time and its seven
// exports found by name.
#pragma once

#include <string>

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
    // Unloads it (its shut-down runs now); nothing when not loaded.
    void Unload();
    bool Loaded() const { return m_handle != nullptr; }

    int (*Show)(const char* chart, const char* date) = nullptr;
    int (*ShowModal)(const char* chart, const char* date) = nullptr;
    int (*Close)() = nullptr;
    int (*Clear)() = nullptr;
    int (*Open)() = nullptr;
    BOOL (*IsShow)() = nullptr;
    void (*ParentWnd)(HWND host) = nullptr;

private:
    void* m_handle = nullptr;
};
