#include "framework/CKXCtrlCursor.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "framework/CKXCtrlWnd.h"
#include "framework/CKXFrameWnd.h"
#include "framework/CKXWnd.h"
#include "platform/base/resources.h"
#include "platform/ui/winuser.h"

namespace {

std::mutex& ContextsMutex()
{
    static std::mutex m;
    return m;
}

std::set<CKXCtrlCursor*>& Contexts()
{
    static std::set<CKXCtrlCursor*> s;
    return s;
}

std::set<CKXWnd*>& Hosts()
{
    static std::set<CKXWnd*> s;
    return s;
}

// Whether `ctrl` is `gone` or lies inside it.
bool Within(CKXCtrl* ctrl, CKXCtrl* gone)
{
    for (CKXCtrl* c = ctrl; c; c = c->parent)
        if (c == gone)
            return true;
    return false;
}

void FreeEntries(std::vector<_KXCtrlCursorInfo*>& entries)
{
    for (_KXCtrlCursorInfo* e : entries) {
        // Handles shared with another entry belong to that entry's owner.
        if (!e->shared)
            for (HCURSOR c : e->cursors)
                if (c)
                    DestroyCursor(c);
        delete e;
    }
    entries.clear();
}

}  // namespace

CKXCtrlCursor::CKXCtrlCursor()
{
    std::lock_guard<std::mutex> l(ContextsMutex());
    Contexts().insert(this);
}

CKXCtrlCursor::~CKXCtrlCursor()
{
    {
        std::lock_guard<std::mutex> l(ContextsMutex());
        Contexts().erase(this);
    }
    FreeEntries(cursorEntries);
}

void CKXCtrlCursor::ForgetControl(CKXCtrl* ctrl)
{
    std::lock_guard<std::mutex> l(ContextsMutex());
    for (CKXCtrlCursor* ctx : Contexts()) {
        if (Within(ctx->captured, ctrl))
            ctx->captured = nullptr;
        if (Within(ctx->focus, ctrl))
            ctx->focus = nullptr;
        if (Within(ctx->active, ctrl))
            ctx->active = nullptr;
    }
    // A host whose root goes away has no tree any more.
    for (CKXWnd* wnd : Hosts())
        if (wnd->root == ctrl)
            wnd->root = nullptr;
}

void CKXCtrlCursor::RegisterHost(CKXWnd* wnd, bool add)
{
    std::lock_guard<std::mutex> l(ContextsMutex());
    if (add)
        Hosts().insert(wnd);
    else
        Hosts().erase(wnd);
}

void CKXCtrlCursor::DrawDragFrame(Gdiplus::Graphics* g, float x, float y, float width, float height, BOOL hidden)
{
    if (hidden || !g)
        return;
    Gdiplus::Pen black(Gdiplus::Color(0xFF000000u), 5.0f);
    g->DrawRectangle(&black, x, y, width, height);
    Gdiplus::Pen white(Gdiplus::Color(0xFFFFFFFFu), 3.0f);
    g->DrawRectangle(&white, x, y, width, height);
}

float CKXCtrlCursor::GetHostScale() const
{
    if (!host)
        return 1.0f;
    if (auto* frame = dynamic_cast<CKXFrameWnd*>(host))
        return frame->renderHint.scale;
    if (auto* wnd = dynamic_cast<CKXWnd*>(host))
        return wnd->renderHint.scale;
    return 1.0f;
}

CKXCtrlMouseCursorInternal* CKXCtrlMouseCursorInternal::s_instance = nullptr;

CKXCtrlMouseCursorInternal::CKXCtrlMouseCursorInternal() : module(GetModuleHandleW(L"Kexano.Framework.Controls.dll")) {}

CKXCtrlMouseCursorInternal* CKXCtrlMouseCursorInternal::GetInstance()
{
    if (!s_instance)
        s_instance = new CKXCtrlMouseCursorInternal();
    return s_instance;
}

CKXCtrlMouseCursorInternal::~CKXCtrlMouseCursorInternal()
{
    FreeEntries(entries);
    if (s_instance == this)
        s_instance = nullptr;
}
