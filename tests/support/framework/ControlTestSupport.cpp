#include "tests/support/framework/ControlTestSupport.h"

#include "framework/CKXWnd.h"
#include "platform/ui/uisystem.h"
#include "tests/support/HeadlessScreen.h"

using namespace Gdiplus;

namespace quiva::test {

FixedMeasurer::FixedMeasurer(float adv, float line) : advance(adv), lineHeight(line)
{
    CKXCtrlEdit::measurer = [this](const CString& text, const RectF&, INT, int count, std::vector<RectF>* boxes) {
        float px = 0.0f, py = 0.0f, widest = 0.0f;
        if (boxes)
            boxes->clear();
        for (int i = 0; i < text.GetLength(); ++i) {
            const bool feed = text[i] == L'\n';
            if (boxes && i < count)
                boxes->push_back(RectF(px, py, feed ? 0.0f : advance, lineHeight));
            if (feed) {
                px = 0.0f;
                py += lineHeight;
            } else {
                px += advance;
                widest = std::max(widest, px);
            }
        }
        return RectF(0.0f, 0.0f, widest, py + lineHeight);
    };
}

FixedMeasurer::~FixedMeasurer() { CKXCtrlEdit::measurer = nullptr; }

std::vector<std::string> RecordingPanel::Kinds() const
{
    std::vector<std::string> out;
    for (const Notice& n : notices)
        out.push_back(n.what);
    return out;
}

ControlHost::ControlHost(CKXCtrlWnd& panel, int width, int height)
{
    UseHeadlessScreen();
    RegisterPlainWindowClass(KX_WINDOW_CLASS, CS_DBLCLKS);
    top = CreateWindowExW(0, KX_WINDOW_CLASS, L"", WS_POPUP | WS_VISIBLE, 100, 100, width, height, nullptr, nullptr,
                          nullptr, nullptr);
    wnd = new CKXWnd();
    wnd->Create(CWnd::FromHandle(top), 0, 0, width, height, 1);
    wnd->SetRootControl(&panel);
    SetActiveWindow(top);
    Pump();
}

ControlHost::~ControlHost()
{
    ReleaseCapture();
    delete wnd;
    DestroyWindow(top);
    ParkInput();
}

POINT ControlHost::Screen(int x, int y) const
{
    POINT p{x, y};
    ClientToScreen(wnd->m_hWnd, &p);
    return p;
}

void ControlHost::Click(int x, int y) const
{
    const POINT p = Screen(x, y);
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectClick(p.x, p.y);
    quiva::ui::InjectPause(1000);
}

void ControlHost::Pump() { quiva::ui::PumpPending(); }

void SetKey(int vk, bool down)
{
    quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
    quiva::ui::InjectKey(static_cast<UINT>(vk), down);
    quiva::ui::PumpPending();
}

void Type(CKXCtrlEdit& edit, const std::wstring& text, CKXCtrlCursor* ctx)
{
    for (wchar_t ch : text)
        edit.OnChar(ch, 1, 0, ctx);
}

std::string Utf8(const CString& s) { return s.ToUtf8(); }

}  // namespace quiva::test
