// A frame of the kind the application builds: a caption bar and a panel window with a
// button, a check box and a label below it; it records what its hooks are told.
#pragma once

#include <utility>
#include <vector>

#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlCheckBox.h"
#include "framework/CKXCtrlStatic.h"
#include "framework/CKXFrameWnd.h"
#include "tests/framework/ui/InProcessWindowSupport.h"

namespace quiva::test {

class TestPanel : public CommandPanel {
public:
    CKXCtrlButton okButton;
    CKXCtrlCheckBox check;
    CKXCtrlStatic label;
    void CreateChildren(CKXCtrlCursor* ctx) override
    {
        CommandPanel::CreateChildren(ctx);
        okButton.Create(101, 10, 10, 100, 24);
        okButton.SetCaption(L"확인");
        check.Create(102, 10, 50, 150, 24);
        check.SetCaption(L"자동 저장");
        label.Create(103, 10, 90, 200, 24);
        label.SetCaption(L"환자 정보");
        AddControl(&okButton);
        AddControl(&check);
        AddControl(&label);
    }
};

class TestFrame : public CKXFrameWnd {
public:
    CKXWnd panelWnd;
    TestPanel panel;
    bool failChildren = false;
    bool allowClose = true;
    int closeAsked = 0, settings = 0, scaleChanges = 0;
    std::vector<std::pair<int, int>> layouts;
    std::vector<Gdiplus::PointF> clientDowns;
    std::vector<UINT> keys;
    std::vector<int> activations;

    BOOL Build(const wchar_t* title, int x, int y, int w, int h)
    {
        BOOL ok = Create(title, x, y, w, h);
        if (m_hWnd)
            ShowWindow(SW_SHOW);
        return ok;
    }
    int CreateChildren() override
    {
        if (failChildren)
            return 0;
        panelWnd.SetRootControl(&panel);
        return panelWnd.Create(this, 0, 28, 300, 200, 1);
    }
    int RecalcLayout(int width, int height) override
    {
        layouts.emplace_back(width, height);
        return 1;
    }
    int CanClose() override
    {
        ++closeAsked;
        return allowClose;
    }
    void OnSettingButton() override { ++settings; }
    void OnScaleChanged(float) override { ++scaleChanges; }
    int OnClientLButtonDown(float x, float y) override
    {
        clientDowns.emplace_back(x, y);
        return 1;
    }
    int OnClientKeyDown(UINT vk, UINT, UINT) override
    {
        keys.push_back(vk);
        return 1;
    }
    void OnActivateChanged(BOOL active) override { activations.push_back(active); }
};

}  // namespace quiva::test
