#include "tests/platform/ui/UiTestSupport.h"

namespace quiva::test {

UiTest* UiTest::current = nullptr;

LRESULT CALLBACK UiTest::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (current) {
        current->log.push_back(Recorded{hwnd, msg, wParam, lParam});
        auto it = current->handlers.find(msg);
        if (it != current->handlers.end()) {
            bool handled = true;
            LRESULT r = it->second(hwnd, wParam, lParam, &handled);
            if (handled)
                return r;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void UiTest::SetUp()
{
    quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
    quiva::ui::SetVirtualScreen(RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040});
    current = this;
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Proc;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"QuivaTestWnd";
    RegisterClassW(&wc);
    wc.style = 0;
    wc.lpszClassName = L"QuivaPlainWnd";
    RegisterClassW(&wc);
    quiva::ui::PumpPending();
}

void UiTest::TearDown()
{
    for (auto it = created.rbegin(); it != created.rend(); ++it)
        if (IsWindow(*it))
            DestroyWindow(*it);
    ReleaseCapture();
    SetActiveWindow(nullptr);
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectMouseMove(1919, 1079);
    quiva::ui::PumpPending();
    UnregisterClassW(L"QuivaTestWnd", nullptr);
    UnregisterClassW(L"QuivaPlainWnd", nullptr);
    current = nullptr;
}

HWND UiTest::Top(int x, int y, int w, int h, DWORD style, bool dblclks, DWORD ex)
{
    HWND hwnd = CreateWindowExW(ex, dblclks ? L"QuivaTestWnd" : L"QuivaPlainWnd", L"test", style, x, y, w, h,
                                nullptr, nullptr, nullptr, nullptr);
    created.push_back(hwnd);
    return hwnd;
}

HWND UiTest::Child(HWND parent, int x, int y, int w, int h, int id)
{
    HWND hwnd = CreateWindowExW(0, L"QuivaTestWnd", L"", WS_CHILD | WS_VISIBLE, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
    created.push_back(hwnd);
    return hwnd;
}

std::vector<Recorded> UiTest::Of(HWND hwnd, UINT msg) const
{
    std::vector<Recorded> out;
    for (auto& r : log)
        if (r.hwnd == hwnd && r.msg == msg)
            out.push_back(r);
    return out;
}

std::vector<UINT> UiTest::Sequence(HWND hwnd) const
{
    std::vector<UINT> out;
    for (auto& r : log)
        if (r.hwnd == hwnd)
            out.push_back(r.msg);
    return out;
}

}  // namespace quiva::test
