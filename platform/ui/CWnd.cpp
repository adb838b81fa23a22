#include "platform/ui/CWnd.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/ModuleHold.h"
#include "platform/base/debug.h"
#include "platform/ui/uisystem.h"

namespace {

std::mutex& MapMutex()
{
    static std::mutex m;
    return m;
}
std::map<HWND, CWnd*>& Permanent()
{
    static std::map<HWND, CWnd*> m;
    return m;
}
// Objects made for handles that have none of their own.
std::map<HWND, std::unique_ptr<CWnd>>& Temporary()
{
    static std::map<HWND, std::unique_ptr<CWnd>> m;
    return m;
}

}  // namespace

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_hWnd && ::IsWindow(m_hWnd) && FromHandlePermanent(m_hWnd) == this)
        ::DestroyWindow(m_hWnd);
    if (m_hWnd)
        Detach();
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    std::lock_guard<std::mutex> l(MapMutex());
    auto it = Permanent().find(hwnd);
    return it == Permanent().end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    if (!hwnd || !::IsWindow(hwnd))
        return nullptr;
    if (CWnd* w = FromHandlePermanent(hwnd))
        return w;
    // Objects of windows that are gone are dropped. The window system is asked without the map
    // locked: window procedures look the map up with the window system locked.
    std::vector<HWND> known;
    {
        std::lock_guard<std::mutex> l(MapMutex());
        for (auto& [h, w] : Temporary())
            known.push_back(h);
    }
    std::erase_if(known, [](HWND h) { return ::IsWindow(h); });
    std::lock_guard<std::mutex> l(MapMutex());
    auto& temps = Temporary();
    for (HWND gone : known) {
        auto it = temps.find(gone);
        if (it != temps.end()) {
            it->second->m_hWnd = nullptr;  // never bound: nothing to undo
            temps.erase(it);
        }
    }
    auto& slot = temps[hwnd];
    if (!slot) {
        slot = std::make_unique<CWnd>();
        slot->m_hWnd = hwnd;
    }
    return slot.get();
}

BOOL CWnd::Attach(HWND hwnd)
{
    if (!hwnd || m_hWnd)
        return FALSE;
    std::lock_guard<std::mutex> l(MapMutex());
    Permanent()[hwnd] = this;
    m_hWnd = hwnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND h = m_hWnd;
    if (h) {
        std::lock_guard<std::mutex> l(MapMutex());
        auto it = Permanent().find(h);
        if (it != Permanent().end() && it->second == this)
            Permanent().erase(it);
    }
    m_hWnd = nullptr;
    return h;
}

namespace {
// The window objects whose handlers run on this thread, innermost last.
thread_local std::vector<const CWnd*> t_handling;

struct Handling {
    explicit Handling(const CWnd* w) { t_handling.push_back(w); }
    ~Handling() { t_handling.pop_back(); }
    Handling(const Handling&) = delete;
    Handling& operator=(const Handling&) = delete;
};
}  // namespace

bool CWnd::HandlingMessageWithin(const void* object, size_t size)
{
    const auto* begin = static_cast<const char*>(object);
    return std::any_of(t_handling.begin(), t_handling.end(), [&](const CWnd* w) {
        const auto* at = reinterpret_cast<const char*>(w);
        return std::less_equal<const char*>()(begin, at) && std::less<const char*>()(at, begin + size);
    });
}

LRESULT CALLBACK CWnd::StdWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CWnd* w = FromHandlePermanent(hwnd);
    if (!w)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    MSG saved = w->m_current;
    w->m_current = MSG{hwnd, msg, wParam, lParam, 0, {0, 0}};
    LRESULT r;
    try {
        Handling handling(w);
        r = w->WindowProc(msg, wParam, lParam);
    } catch (...) {
        // As the framework always has: a handler's exception ends that message, not the
        // program whose loop dispatched it. A window whose creation threw is not made.
        OutputDebugStringW(L"EXCEPION ProcessWnd");
        r = msg == WM_CREATE ? -1 : 0;
        if (msg == WM_PAINT)
            ::ValidateRect(hwnd, nullptr);
    }
    if (msg == WM_NCDESTROY) {
        // The handle is gone; the object lives on unbound.
        if (FromHandlePermanent(hwnd) == w) {
            w->Detach();
            w->PostNcDestroy();
        }
        return r;
    }
    if (FromHandlePermanent(hwnd) == w)
        w->m_current = saved;
    return r;
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTW&) { return TRUE; }

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                    int height, HWND parent, HMENU idOrMenu, LPVOID param)
{
    if (m_hWnd)
        return FALSE;
    CREATESTRUCTW cs{param, nullptr, idOrMenu, parent, height, width, y, x, static_cast<LONG>(style),
                     windowName, className, exStyle};
    if (!PreCreateWindow(cs))
        return FALSE;
    quiva::ui::SetNextCreateHook([this](HWND hwnd) {
        Attach(hwnd);
        m_superProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StdWndProc));
    });
    HWND hwnd = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x, cs.y,
                                  cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    quiva::ui::SetNextCreateHook(nullptr);
    if (!hwnd) {
        if (m_hWnd)
            Detach();
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                    UINT id, LPVOID param)
{
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), param);
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    HWND h = m_hWnd;
    BOOL ok = ::DestroyWindow(h);
    if (m_hWnd == h && !::IsWindow(h))
        Detach();
    return ok;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_superProc && m_superProc != &CWnd::StdWndProc)
        return ::CallWindowProcW(m_superProc, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() { return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam); }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_NCDESTROY:
        OnNcDestroy();
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_MOVE:
        OnMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam), CPoint(lParam));
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(static_cast<UINT>(wParam), CPoint(lParam));
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(static_cast<UINT>(wParam), CPoint(lParam));
        return 0;
    case WM_RBUTTONDOWN:
        OnRButtonDown(static_cast<UINT>(wParam), CPoint(lParam));
        return 0;
    case WM_RBUTTONUP:
        OnRButtonUp(static_cast<UINT>(wParam), CPoint(lParam));
        return 0;
    case WM_RBUTTONDBLCLK:
        OnRButtonDblClk(static_cast<UINT>(wParam), CPoint(lParam));
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(static_cast<UINT>(wParam), CPoint(lParam));
        return 0;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return 0;
    case WM_MOUSEWHEEL:
        return OnMouseWheel(LOWORD(wParam), static_cast<short>(HIWORD(wParam)), CPoint(lParam));
    case WM_KEYDOWN:
        OnKeyDown(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_KEYUP:
        OnKeyUp(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CHAR:
        OnChar(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFOCUS:
        OnSetFocus(FromHandle(reinterpret_cast<HWND>(wParam)));
        return 0;
    case WM_KILLFOCUS:
        OnKillFocus(FromHandle(reinterpret_cast<HWND>(wParam)));
        return 0;
    case WM_SETCURSOR:
        return OnSetCursor(FromHandle(reinterpret_cast<HWND>(wParam)), LOWORD(lParam), HIWORD(lParam));
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam), FromHandle(reinterpret_cast<HWND>(lParam)), HIWORD(wParam));
        return 0;
    case WM_ACTIVATEAPP:
        OnActivateApp(static_cast<BOOL>(wParam), static_cast<DWORD>(lParam));
        return 0;
    case WM_NCHITTEST:
        return OnNcHitTest(CPoint(lParam));
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_NCLBUTTONDOWN:
        OnNcLButtonDown(static_cast<UINT>(wParam), CPoint(lParam));
        return 0;
    case WM_NCLBUTTONDBLCLK:
        OnNcLButtonDblClk(static_cast<UINT>(wParam), CPoint(lParam));
        return 0;
    case WM_CAPTURECHANGED:
        OnCaptureChanged(FromHandle(reinterpret_cast<HWND>(lParam)));
        return 0;
    default:
        return DefWindowProc(message, wParam, lParam);
    }
}

int CWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnNcDestroy() { Default(); }
void CWnd::OnPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(HDC) { return static_cast<BOOL>(Default()); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnMouseLeave() { Default(); }
BOOL CWnd::OnMouseWheel(UINT, short, CPoint) { return static_cast<BOOL>(Default()); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnKeyUp(UINT, UINT, UINT) { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnActivate(UINT, CWnd*, BOOL) { Default(); }
void CWnd::OnActivateApp(BOOL, DWORD) { Default(); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
void CWnd::OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
void CWnd::OnNcLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnNcLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnCaptureChanged(CWnd*) { Default(); }

// ---------------------------------------------------------------------------------------------
// Modal loop

BOOL CWnd::ContinueModal() { return (m_nFlags & WF_CONTINUEMODAL) != 0; }

void CWnd::EndModalLoop(int result)
{
    m_nModalResult = result;
    if (m_nFlags & WF_CONTINUEMODAL) {
        m_nFlags &= ~WF_CONTINUEMODAL;
        ::PostMessageW(nullptr, WM_NULL, 0, 0);  // wake the loop
    }
}

namespace {
bool IsIdleMessage(const MSG& m)
{
    // Moves and paints that change nothing do not restart idle processing.
    return m.message != WM_MOUSEMOVE && m.message != WM_NCMOUSEMOVE && m.message != WM_PAINT && m.message != 0x0118;
}
}  // namespace

int CWnd::RunModalLoop(DWORD flags)
{
    // The code that runs this loop (and the window's own) stays loaded until it has returned.
    quiva::ModuleHold hold;
    bool idle = true;
    LONG idleCount = 0;
    bool showIdle = (flags & MLF_SHOWONIDLE) && !(GetStyle() & WS_VISIBLE);
    HWND self = m_hWnd;
    HWND parent = ::GetParent(self);
    m_nFlags |= WF_MODALLOOP | WF_CONTINUEMODAL;
    MSG msg;
    for (;;) {
        while (idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!::IsWindow(self))
                goto done;
            if (showIdle) {
                ShowWindow(SW_SHOWNORMAL);
                UpdateWindow();
                showIdle = false;
            }
            if (!(flags & MLF_NOIDLEMSG) && parent && idleCount == 0)
                ::SendMessageW(parent, WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(self));
            if ((flags & MLF_NOKICKIDLE) || !::SendMessageW(self, WM_KICKIDLE, MSGF_DIALOGBOX, idleCount++))
                idle = false;
            if (!ContinueModal())
                goto done;
        }
        do {
            if (!ContinueModal() || !::IsWindow(self))
                goto done;
            if (!::GetMessageW(&msg, nullptr, 0, 0)) {
                // Leave every nested loop; the outermost one sees the quit again.
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
                return -1;
            }
            bool handled = false;
            for (HWND h = msg.hwnd; h && !handled; h = ::GetParent(h)) {
                CWnd* w = FromHandlePermanent(h);
                if (w && w->PreTranslateMessage(&msg))
                    handled = true;
                if (h == self)
                    break;
            }
            if (!handled) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            if (!ContinueModal())
                goto done;
            if (IsIdleMessage(msg)) {
                idle = true;
                idleCount = 0;
            }
        } while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    }
done:
    m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
    return m_nModalResult;
}

// ---------------------------------------------------------------------------------------------
// Operations

LRESULT CWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) const { return ::SendMessageW(m_hWnd, msg, wParam, lParam); }
BOOL CWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) const { return ::PostMessageW(m_hWnd, msg, wParam, lParam); }
BOOL CWnd::ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) const
{
    HWND after = nullptr;
    if (insertAfter == reinterpret_cast<const CWnd*>(HWND_TOPMOST) ||
        insertAfter == reinterpret_cast<const CWnd*>(HWND_NOTOPMOST) ||
        insertAfter == reinterpret_cast<const CWnd*>(HWND_BOTTOM))
        after = reinterpret_cast<HWND>(const_cast<CWnd*>(insertAfter));
    else if (insertAfter)
        after = insertAfter->m_hWnd;
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
}
void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) const { ::MoveWindow(m_hWnd, x, y, width, height, repaint); }
void CWnd::MoveWindow(LPCRECT r, BOOL repaint) const
{
    if (r)
        ::MoveWindow(m_hWnd, r->left, r->top, r->right - r->left, r->bottom - r->top, repaint);
}
void CWnd::GetClientRect(LPRECT r) const
{
    if (!::GetClientRect(m_hWnd, r) && r)
        *r = RECT{0, 0, 0, 0};
}
void CWnd::GetWindowRect(LPRECT r) const
{
    if (!::GetWindowRect(m_hWnd, r) && r)
        *r = RECT{0, 0, 0, 0};
}
void CWnd::ClientToScreen(LPPOINT pt) const { ::ClientToScreen(m_hWnd, pt); }
void CWnd::ScreenToClient(LPPOINT pt) const { ::ScreenToClient(m_hWnd, pt); }
void CWnd::ClientToScreen(LPRECT r) const
{
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&r->left));
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&r->right));
}
void CWnd::ScreenToClient(LPRECT r) const
{
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&r->left));
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&r->right));
}
void CWnd::Invalidate(BOOL erase) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
void CWnd::InvalidateRect(LPCRECT r, BOOL erase) const { ::InvalidateRect(m_hWnd, r, erase); }
void CWnd::UpdateWindow() const { ::UpdateWindow(m_hWnd); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL enable) const { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
BOOL CWnd::IsZoomed() const { return ::IsZoomed(m_hWnd); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
DWORD CWnd::GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
CWnd* CWnd::SetFocus() const { return FromHandle(::SetFocus(m_hWnd)); }
CWnd* CWnd::GetFocus() { return FromHandle(::GetFocus()); }
CWnd* CWnd::SetCapture() const { return FromHandle(::SetCapture(m_hWnd)); }
CWnd* CWnd::GetCapture() { return FromHandle(::GetCapture()); }
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) const { return ::SetTimer(m_hWnd, id, elapse, proc); }
BOOL CWnd::KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }
void CWnd::SetWindowText(LPCWSTR text) const { ::SetWindowTextW(m_hWnd, text); }
void CWnd::GetWindowText(CString& text) const { text = GetWindowText(); }
CString CWnd::GetWindowText() const
{
    int n = ::GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> buf(static_cast<size_t>(n) + 1, 0);
    ::GetWindowTextW(m_hWnd, buf.data(), n + 1);
    return CString(buf.data());
}
BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* wp) const { return ::GetWindowPlacement(m_hWnd, wp); }
BOOL CWnd::GetWindowInfo(WINDOWINFO* info) const { return ::GetWindowInfo(m_hWnd, info); }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
