// Fixed dialog with a right-aligned row of push buttons at the bottom; a click on one ends the
// dialog with the button's id.
#pragma once

#include <vector>

#include "framework/CKXCtrlButton.h"
#include "framework/CKXFixBaseDialog.h"

class CKXFixDialog : public CKXFixBaseDialog {
public:
    CKXFixDialog();
    // Deletes the buttons.
    ~CKXFixDialog() override;

    std::vector<CKXCtrlButton*> buttons;
    int hoverIndex = -1;
    int pressedIndex = -1;
    HMODULE resourceModule = nullptr;

    void AddButton(int id);
    void Draw(HDC dc) override;
    BOOL RecalcLayout() override;
    BOOL OnClientSize(int widthPx, int heightPx) override;
    BOOL OnClientLButtonDown(float x, float y) override;
    BOOL OnClientLButtonUp(float x, float y) override;
    BOOL OnClientMouseMove(float x, float y) override;
    // Called just before a button ends the dialog.
    virtual void OnDialogButton(int) {}
};

namespace kxdialog {
// A push button of the standard size (100 by 25) with the module's string of the same id.
CKXCtrlButton* MakeButton(HMODULE module, int id);
// The three drawing passes over a button row with press, hover and the keyboard's button marked.
void DrawButtons(Gdiplus::Graphics* g, const std::vector<CKXCtrlButton*>& buttons, float offsetX, float offsetY,
                 int pressedIndex, int hoverIndex, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx,
                 int focusIndex = -1);
// Hover tracking over a button row; the index of the button under the point, or -1.
int TrackHover(const std::vector<CKXCtrlButton*>& buttons, float x, float y, CKXCtrlCursor* ctx);
// The first button that takes a press at the point; its index (pressed), or -1.
int PressButton(const std::vector<CKXCtrlButton*>& buttons, float x, float y, CKXCtrlCursor* ctx, int* pressedIndex);
}  // namespace kxdialog
