// Helpers for the control tests: a fixed-advance text measurer, a container that records the
// notifications of its children, and key state.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlEdit.h"
#include "framework/CKXCtrlWnd.h"
#include "framework/CKXWnd.h"

namespace quiva::test {

// Every character is `advance` wide and `lineHeight` high; "\n" starts a new line.
class FixedMeasurer {
public:
    explicit FixedMeasurer(float advance = 10.0f, float lineHeight = 16.0f);
    ~FixedMeasurer();
    float advance;
    float lineHeight;
};

struct Notice {
    std::string what;
    int id;
    CKXCtrl* sender;
};

class RecordingPanel : public CKXCtrlWnd {
public:
    void OnCommand(int id, CKXCtrl* sender, CKXCtrlCursor*) override { notices.push_back({"command", id, sender}); }
    void OnEditEnd(int id, CKXCtrl* sender, CKXCtrlCursor*) override { notices.push_back({"editend", id, sender}); }
    void OnValueChanged(int id, CKXCtrl* sender, CKXCtrlCursor*) override
    {
        notices.push_back({"value", id, sender});
    }
    std::vector<std::string> Kinds() const;
    std::vector<Notice> notices;
};

// A headless top-level window holding a host window whose root is `panel`.
class ControlHost {
public:
    ControlHost(CKXCtrlWnd& panel, int width = 600, int height = 400);
    ~ControlHost();
    // Screen point of a host client point.
    POINT Screen(int x, int y) const;
    void Click(int x, int y) const;
    static void Pump();
    HWND top = nullptr;
    CKXWnd* wnd = nullptr;
};

// Presses or releases a key for GetAsyncKeyState.
void SetKey(int vk, bool down);

// Types each character through OnChar of the edit.
void Type(CKXCtrlEdit& edit, const std::wstring& text, CKXCtrlCursor* ctx);

std::string Utf8(const CString& s);

}  // namespace quiva::test
