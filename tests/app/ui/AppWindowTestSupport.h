// Headless set-up for the capture window's own windows: the module's two window classes, a
// top-level stand-in for the capture frame, and pixels of the window surfaces.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ui/QUIVAWindowClasses.h"
#include "platform/base/debug.h"
#include "platform/ui/CWnd.h"
#include "platform/ui/uisystem.h"
#include "tests/support/ReferencePictures.h"

namespace quiva::test {

// A top-level window of the frame's class whose client area is painted white and whose
// NC hit test answers HTCAPTION inside the client area (as the capture frame does for its
// preview); it records the hit tests it was asked.
class WhiteFrame : public CWnd {
public:
    int hitTests = 0;
    BOOL CreateAt(int x, int y, int w, int h);

protected:
    BOOL OnEraseBkgnd(HDC hdc) override;
    LRESULT OnNcHitTest(CPoint point) override;
};

class AppWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static void Pump() { quiva::ui::PumpPending(); }
    // Pixel of a window's client point as 0xRRGGBB.
    static unsigned Pixel(HWND hwnd, int x, int y);
    // Debugger output written while the test ran.
    quiva::DebugCapture debug;
};

// A rectangle as "(left,top)-(right,bottom)", for comparisons that print well.
std::string RectText(const RECT& r);

}  // namespace quiva::test
