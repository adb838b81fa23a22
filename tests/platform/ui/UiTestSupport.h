// Helpers for window-system tests: a recording window class and cleanup of windows.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "platform/ui/uisystem.h"

namespace quiva::test {

struct Recorded {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Every message reaching a window of the class "QuivaTestWnd" (CS_DBLCLKS) or "QuivaPlainWnd"
// is recorded; a handler may answer in place of the default procedure.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HWND Top(int x, int y, int w, int h, DWORD style = WS_POPUP | WS_VISIBLE, bool dblclks = true, DWORD ex = 0);
    HWND Child(HWND parent, int x, int y, int w, int h, int id = 1);
    std::vector<Recorded> Of(HWND hwnd, UINT msg) const;
    std::vector<UINT> Sequence(HWND hwnd) const;
    size_t Count(HWND hwnd, UINT msg) const { return Of(hwnd, msg).size(); }
    void Clear() { log.clear(); }

    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    static UiTest* current;
    std::vector<Recorded> log;
    std::map<UINT, std::function<LRESULT(HWND, WPARAM, LPARAM, bool*)>> handlers;
    std::vector<HWND> created;
};

}  // namespace quiva::test
