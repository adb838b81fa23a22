// The system's own modal message box: a centred text, a row of buttons chosen by a message-box
// type code, the caption bar with its exit button and a border. Returns the pressed button's id.
#pragma once

#include <functional>
#include <vector>

#include "framework/CKXBaseDialog.h"
#include "framework/CKXCtrlButton.h"

class CKXMsgBox : public CKXBaseDialog {
public:
    CKXMsgBox();
    // Deletes the buttons.
    ~CKXMsgBox() override;

    CString text;
    std::vector<CKXCtrlButton*> buttons;
    int hoverIndex = -1;
    int pressedIndex = -1;
    // The button Enter presses, marked; Tab and the arrow keys move it. A box of one
    // button starts on it, a box that asks starts on its last answer, the one that changes
    // nothing ("아니오", "취소").
    int focusIndex = -1;
    HMODULE resourceModule = nullptr;

    // Shows the box modally; the id of the released button, IDCANCEL for Escape or the exit
    // button.
    int Show(CString message, CString caption, int type);
    void AddButton(int id);
    // The button ids of a type, left to right.
    static std::vector<int> ButtonsOfType(int type);

    void SetDialogSize(int newWidth, int newHeight) override;
    void Draw(HDC dc) override;
    BOOL RecalcLayout() override;
    BOOL OnClientLButtonDown(float x, float y) override;
    BOOL OnClientLButtonUp(float x, float y) override;
    BOOL OnClientMouseMove(float x, float y) override;
    BOOL OnClientKeyDown(UINT key, UINT repeat, UINT flags) override;

    // The size of the text as measured for the box (layout units); tests give fixed sizes.
    static std::function<Gdiplus::RectF(const CString& text)> measurer;

protected:
    LRESULT OnNcHitTest(CPoint point) override;

private:
    Gdiplus::RectF MeasureText();
    Gdiplus::Font* MakeFont(float scale, Gdiplus::FontFamily& named);
};
