// Headless window-system setup for the framework's window tests: the application's window
// class, a clean input state, and small helpers to drive windows with injected input.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "framework/CKXCtrlWnd.h"
#include "platform/ui/uisystem.h"
#include "tests/support/ReferencePictures.h"

namespace quiva::test {

class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Screen point of a client point of `wnd`.
    static POINT Screen(HWND wnd, int x, int y);
    static void Click(HWND wnd, int x, int y);
    static void Pump() { quiva::ui::PumpPending(); }
};

// A control that records what reaches it.
class ProbeCtrl : public CKXCtrl {
public:
    int downs = 0, ups = 0, moves = 0, leaves = 0, wheels = 0;
    float lastX = 0, lastY = 0;
    std::vector<int>* drawLog = nullptr;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override
    {
        ++downs;
        lastX = x;
        lastY = y;
        return CKXCtrl::OnLButtonDown(x, y, handled, ctx);
    }
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override
    {
        ++ups;
        lastX = x;
        lastY = y;
        return CKXCtrl::OnLButtonUp(x, y, handled, ctx);
    }
    int OnMouseMove(float x, float y, BOOL*, CKXCtrlCursor*) override
    {
        ++moves;
        lastX = x;
        lastY = y;
        return 0;
    }
    int OnMouseLeave(CKXCtrlCursor*) override
    {
        ++leaves;
        return 0;
    }
    int OnMouseWheel(int, float, float x, float y, CKXCtrlCursor*) override
    {
        ++wheels;
        lastX = x;
        lastY = y;
        return 1;
    }
    void DrawBackground(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override { Log(0); }
    void Draw(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override { Log(1); }
    void DrawBorder(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override { Log(2); }

private:
    void Log(int pass)
    {
        if (drawLog)
            drawLog->push_back(pass * 100 + id);
    }
};

// A container that records the commands of its children.
class CommandPanel : public CKXCtrlWnd {
public:
    std::vector<int> commands;
    int created = 0, childrenMade = 0, layouts = 0;
    int Create(int id, float x, float y, float w, float h) override
    {
        ++created;
        return CKXCtrlWnd::Create(id, x, y, w, h);
    }
    void CreateChildren(CKXCtrlCursor*) override { ++childrenMade; }
    void RecalcLayout() override { ++layouts; }
    void OnCommand(int id, CKXCtrl*, CKXCtrlCursor*) override { commands.push_back(id); }
};

}  // namespace quiva::test
