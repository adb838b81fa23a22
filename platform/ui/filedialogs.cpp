#include "platform/ui/filedialogs.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/base/CString.h"
#include "platform/base/fileapi.h"
#include "platform/base/lasterror.h"
#include "platform/base/winpath.h"
#include "platform/ui/buttons.h"
#include "platform/ui/controlpaint.h"
#include "platform/ui/syscolor.h"
#include "platform/ui/dialog.h"
#include "platform/ui/msgbox.h"

namespace {

constexpr int kWidth = 440;
constexpr int kHeight = 340;
constexpr int kFieldTop = 30;
constexpr int kFieldHeight = 22;
constexpr int kListTop = 60;
constexpr int kListBottom = 290;
constexpr int kRow = 18;

thread_local DWORD t_lastError = 0;

std::mutex& AnswerLock()
{
    static std::mutex m;
    return m;
}

quiva::ui::FileDialogAnswer& Answer()
{
    static quiva::ui::FileDialogAnswer answer;
    return answer;
}

struct Entry {
    std::wstring name;
    bool folder = false;
};

struct Chooser {
    OPENFILENAMEW* ofn = nullptr;
    bool save = false;
    std::wstring folder;
    std::wstring field;
    bool fieldSelected = false;  // Ctrl+A: the next character typed replaces the whole name
    std::vector<std::wstring> patterns;
    std::vector<Entry> entries;
    int selected = -1;
    int top = 0;
    std::wstring result;
    int titleBand = 0;  // the title shown at the top, where the display shows none; the rest lies below it
};

bool HasWildcard(const std::wstring& s) { return s.find_first_of(L"*?") != std::wstring::npos; }

std::vector<std::wstring> SplitPatterns(const std::wstring& spec)
{
    std::vector<std::wstring> out;
    size_t start = 0;
    while (start <= spec.size()) {
        const size_t end = spec.find(L';', start);
        std::wstring p = spec.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        p.erase(0, p.find_first_not_of(L' '));
        if (!p.empty())
            out.push_back(p);
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return out;
}

// The patterns of filter number `index` (1-based, 0: the first) of a "text\0patterns\0...\0"
// list; everything when there is no list.
std::vector<std::wstring> FilterPatterns(LPCWSTR filter, DWORD index)
{
    std::vector<std::wstring> specs;
    for (const wchar_t* p = filter; p && *p;) {
        const wchar_t* spec = p + wcslen(p) + 1;
        specs.emplace_back(spec);
        p = spec + wcslen(spec) + 1;
    }
    if (specs.empty())
        return {L"*"};
    const size_t i = index ? index - 1 : 0;
    return SplitPatterns(specs[i < specs.size() ? i : 0]);
}

bool IsAbsolute(const std::wstring& s)
{
    return (s.size() >= 2 && s[1] == L':') || (!s.empty() && (s[0] == L'\\' || s[0] == L'/'));
}

std::wstring Join(const std::wstring& folder, const std::wstring& name)
{
    return IsAbsolute(name) ? name : std::wstring(quiva::PathJoin(folder.c_str(), name.c_str()).GetString());
}

// A path as the dialog shows it. A native path keeps its own '/' separators: the program's
// Korean font draws '\\' as the won sign, which no Linux path holds. A drive's path, or a
// network one, is shown as written.
std::wstring Shown(const std::wstring& path)
{
    const bool native = !path.empty() && (path[0] == L'\\' || path[0] == L'/') && path.compare(0, 2, L"\\\\") != 0;
    if (!native)
        return path;
    std::wstring shown = path;
    std::replace(shown.begin(), shown.end(), L'\\', L'/');
    return shown;
}

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
bool IsFolder(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY); }

// Paints the folder line, the name field and the list again; the dialog's painting covers
// the buttons below them, which would be lost under it.
void Repaint(HWND hwnd, const Chooser& c)
{
    RECT client{};
    GetClientRect(hwnd, &client);
    const RECT changed{0, 0, client.right, c.titleBand + kListBottom + 1};
    InvalidateRect(hwnd, &changed, TRUE);
}

void Refresh(HWND hwnd, Chooser& c)
{
    c.entries.clear();
    c.selected = -1;
    c.top = 0;
    const std::wstring parent = quiva::PathParent(c.folder.c_str()).GetString();
    if (!parent.empty() && parent != c.folder)
        c.entries.push_back({L"..", true});
    std::vector<Entry> found;
    WIN32_FIND_DATAW fd{};
    HANDLE find = FindFirstFileW(Join(c.folder, L"*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const bool match = folder || std::any_of(c.patterns.begin(), c.patterns.end(), [&](const std::wstring& p) {
                                   return quiva::WildcardMatch(p.c_str(), name.c_str());
                               });
            if (match)
                found.push_back({name, folder});
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    std::sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder)
            return a.folder;
        return _wcsicmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    c.entries.insert(c.entries.end(), found.begin(), found.end());
    Repaint(hwnd, c);
}

void EnterFolder(HWND hwnd, Chooser& c, const std::wstring& name)
{
    c.folder = name == L".." ? std::wstring(quiva::PathParent(c.folder.c_str()).GetString()) : Join(c.folder, name);
    c.field.clear();
    c.fieldSelected = false;
    Refresh(hwnd, c);
}

bool Ask(HWND hwnd, const Chooser& c, const std::wstring& text, UINT type)
{
    const wchar_t* title = c.ofn->lpstrTitle ? c.ofn->lpstrTitle : (c.save ? L"다른 이름으로 저장" : L"열기");
    const int r = MessageBoxW(hwnd, text.c_str(), title, type);
    return r == IDYES || r == IDOK;
}

// What the typed name means: a pattern filters the list, a folder is entered, anything else is
// the answer once the flags' conditions hold.
void Accept(HWND hwnd, Chooser& c)
{
    std::wstring name = c.field;
    name.erase(0, name.find_first_not_of(L' '));
    name.erase(name.find_last_not_of(L' ') + 1);
    if (name.empty()) {
        if (c.selected >= 0 && c.entries[static_cast<size_t>(c.selected)].folder)
            EnterFolder(hwnd, c, c.entries[static_cast<size_t>(c.selected)].name);
        return;
    }
    if (HasWildcard(name)) {
        c.patterns = SplitPatterns(name);
        Refresh(hwnd, c);
        return;
    }
    std::wstring full = Join(c.folder, name);
    if (IsFolder(Attributes(full))) {
        EnterFolder(hwnd, c, name);
        return;
    }
    const std::wstring leaf = quiva::PathFileName(full.c_str()).GetString();
    if (c.ofn->lpstrDefExt && *c.ofn->lpstrDefExt && leaf.find(L'.') == std::wstring::npos)
        full += L"." + std::wstring(c.ofn->lpstrDefExt).substr(0, 3);
    const DWORD flags = c.ofn->Flags;
    const bool exists = Attributes(full) != INVALID_FILE_ATTRIBUTES;
    const std::wstring parent = quiva::PathParent(full.c_str()).GetString();
    if ((flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !IsFolder(Attributes(parent))) {
        Ask(hwnd, c, Shown(full) + L"\nPath does not exist.\nCheck the path and try again.", MB_OK | MB_ICONWARNING);
        return;
    }
    if (!c.save && (flags & OFN_FILEMUSTEXIST) && !exists) {
        Ask(hwnd, c, Shown(full) + L"\nFile not found.\nCheck the file name and try again.", MB_OK | MB_ICONWARNING);
        return;
    }
    if (c.save && exists && (flags & OFN_OVERWRITEPROMPT) &&
        !Ask(hwnd, c, Shown(full) + L" already exists.\nDo you want to replace it?", MB_YESNO | MB_ICONWARNING))
        return;
    c.result = full;
    EndDialog(hwnd, IDOK);
}

int VisibleRows() { return (kListBottom - kListTop) / kRow; }


void Choose(HWND hwnd, Chooser& c, int index)
{
    if (index < 0 || index >= static_cast<int>(c.entries.size()))
        return;
    c.selected = index;
    if (!c.entries[static_cast<size_t>(index)].folder) {
        c.field = c.entries[static_cast<size_t>(index)].name;
        c.fieldSelected = false;
    }
    if (index < c.top)
        c.top = index;
    else if (index >= c.top + VisibleRows())
        c.top = index - VisibleRows() + 1;
    Repaint(hwnd, c);
}

void Paint(HWND hwnd, const Chooser& c)
{
    quiva::ui::detail::ControlPaint p(hwnd, RGB(0xF0, 0xF0, 0xF0));
    if (!p)
        return;
    p.TitleBand(c.titleBand);
    const RECT rc = p.client;
    const int y0 = c.titleBand;
    const COLORREF white = RGB(0xFF, 0xFF, 0xFF);
    const COLORREF edge = RGB(0x70, 0x70, 0x70);
    p.Text(Shown(c.folder).c_str(), RECT{10, y0 + 6, rc.right - 10, y0 + kFieldTop - 2},
           DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_NOPREFIX, RGB(0, 0, 0));
    const RECT field{10, y0 + kFieldTop, rc.right - 10, y0 + kFieldTop + kFieldHeight};
    p.Fill(field, white);
    p.Frame(field, edge);
    const RECT name{field.left + 4, field.top, field.right - 4, field.bottom};
    SIZE extent{};
    if (c.fieldSelected && !c.field.empty() &&
        GetTextExtentPoint32W(p.dc, c.field.c_str(), static_cast<int>(c.field.size()), &extent))
        p.Fill(RECT{name.left, name.top + 3, std::min(name.right, name.left + extent.cx), name.bottom - 3}, GetSysColor(COLOR_HIGHLIGHT));
    p.Text(c.field.c_str(), name, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
           c.fieldSelected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : RGB(0, 0, 0));
    const RECT list{10, y0 + kListTop, rc.right - 10, y0 + kListBottom};
    p.Fill(list, white);
    p.Frame(list, edge);
    for (int i = c.top; i < static_cast<int>(c.entries.size()) && i < c.top + VisibleRows(); ++i) {
        const Entry& e = c.entries[static_cast<size_t>(i)];
        const RECT row{list.left + 1, list.top + 1 + (i - c.top) * kRow, list.right - 1,
                       list.top + 1 + (i - c.top + 1) * kRow};
        if (i == c.selected)
            p.Fill(row, RGB(0x33, 0x66, 0xCC));
        const std::wstring label = e.folder ? L"[" + e.name + L"]" : e.name;
        p.Text(label.c_str(), RECT{row.left + 4, row.top, row.right, row.bottom},
               DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS,
               i == c.selected ? white : RGB(0, 0, 0));
    }
}

Chooser* ChooserOf(HWND hwnd) { return reinterpret_cast<Chooser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

int RowAt(const Chooser& c, LPARAM lParam)
{
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam) - c.titleBand;
    if (x < 10 || x >= kWidth - 10 || y <= kListTop || y >= kListBottom)
        return -1;
    const int i = c.top + (y - kListTop - 1) / kRow;
    return i < static_cast<int>(c.entries.size()) ? i : -1;
}

INT_PTR CALLBACK ChooserProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Chooser* c = ChooserOf(hwnd);
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        c = reinterpret_cast<Chooser*>(lParam);
        // The window grows by the title's band, if any, so everything keeps its place below it.
        c->titleBand = quiva::ui::detail::TitleBandHeight();
        RECT window{};
        GetWindowRect(hwnd, &window);
        quiva::ui::CentreOverOwner(hwnd, window.right - window.left, window.bottom - window.top + c->titleBand);
        RECT client{};
        GetClientRect(hwnd, &client);
        const int by = client.bottom - 36;
        CreateWindowExW(0, WC_BUTTONW, c->save ? L"저장" : L"열기", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON,
                        client.right - 196, by, 88, 26, hwnd, reinterpret_cast<HMENU>(IDOK), nullptr, nullptr);
        CreateWindowExW(0, WC_BUTTONW, L"취소", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, client.right - 98, by, 88, 26,
                        hwnd, reinterpret_cast<HMENU>(IDCANCEL), nullptr, nullptr);
        Refresh(hwnd, *c);
        return TRUE;
    }
    case WM_PAINT:
        if (c)
            Paint(hwnd, *c);
        return TRUE;
    case WM_ERASEBKGND:
        quiva::ui::SetDialogMsgResult(hwnd, 1);
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (!c)
            return FALSE;
        const int i = RowAt(*c, lParam);
        if (i < 0)
            return TRUE;
        Choose(hwnd, *c, i);
        if (msg == WM_LBUTTONDBLCLK) {
            const Entry e = c->entries[static_cast<size_t>(i)];
            if (e.folder)
                EnterFolder(hwnd, *c, e.name);
            else
                Accept(hwnd, *c);
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && c) {
            if (LOWORD(wParam) == IDOK)
                Accept(hwnd, *c);
            else if (LOWORD(wParam) == IDCANCEL)
                EndDialog(hwnd, IDCANCEL);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

// Typing goes to the file-name field wherever the focus is inside the dialog.
bool PreTranslate(HWND hwnd, Chooser& c, MSG* m)
{
    if (m->hwnd != hwnd && !IsChild(hwnd, m->hwnd))
        return false;
    if (m->message == WM_CHAR) {
        const wchar_t ch = static_cast<wchar_t>(m->wParam);
        const bool replace = c.fieldSelected;
        c.fieldSelected = false;
        if (ch == 1) {  // Ctrl+A
            c.fieldSelected = true;
        } else if (ch == 8) {
            if (replace)
                c.field.clear();
            else if (!c.field.empty())
                c.field.pop_back();
        } else if (ch >= 0x20 && ch != 0x7F) {
            if (replace)
                c.field.clear();
            c.field.push_back(ch);
        } else {
            c.fieldSelected = replace;
        }
        Repaint(hwnd, c);
        return true;
    }
    if (m->message != WM_KEYDOWN)
        return false;
    switch (m->wParam) {
    case VK_RETURN: Accept(hwnd, c); return true;
    case VK_ESCAPE: EndDialog(hwnd, IDCANCEL); return true;
    case VK_UP: Choose(hwnd, c, c.selected <= 0 ? 0 : c.selected - 1); return true;
    case VK_DOWN: Choose(hwnd, c, c.selected + 1); return true;
    case VK_BACK: return false;
    default: return false;
    }
}

// Copies the answer into the caller's structure; FALSE when it does not fit.
BOOL Deliver(OPENFILENAMEW* ofn, const std::wstring& path)
{
    if (path.size() + 1 > ofn->nMaxFile) {
        const size_t needed = path.size() + 1;
        ofn->lpstrFile[0] = static_cast<wchar_t>(needed > 0xFFFF ? 0xFFFF : needed);
        t_lastError = FNERR_BUFFERTOOSMALL;
        return FALSE;
    }
    std::copy(path.begin(), path.end(), ofn->lpstrFile);
    ofn->lpstrFile[path.size()] = L'\0';
    const size_t slash = path.find_last_of(L"\\/");
    const size_t nameAt = slash == std::wstring::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of(L'.');
    ofn->nFileOffset = static_cast<WORD>(nameAt);
    ofn->nFileExtension = static_cast<WORD>(dot != std::wstring::npos && dot >= nameAt ? dot + 1 : 0);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
        const std::wstring leaf = path.substr(nameAt);
        const size_t n = std::min<size_t>(leaf.size(), ofn->nMaxFileTitle - 1);
        std::copy_n(leaf.begin(), n, ofn->lpstrFileTitle);
        ofn->lpstrFileTitle[n] = L'\0';
    }
    return TRUE;
}

BOOL RunFileDialog(OPENFILENAMEW* ofn, bool save)
{
    t_lastError = 0;
    if (!ofn || ofn->lStructSize < sizeof(OPENFILENAMEW)) {
        t_lastError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!ofn->lpstrFile || ofn->nMaxFile == 0) {
        t_lastError = CDERR_INITIALIZATION;
        return FALSE;
    }
    quiva::ui::FileDialogAnswer answer;
    {
        std::lock_guard<std::mutex> l(AnswerLock());
        answer = Answer();
    }
    if (answer) {
        const std::optional<std::wstring> path = answer(*ofn, save);
        return path ? Deliver(ofn, *path) : FALSE;
    }

    Chooser c;
    c.ofn = ofn;
    c.save = save;
    c.patterns = FilterPatterns(ofn->lpstrFilter, ofn->nFilterIndex);
    std::wstring initial(ofn->lpstrFile, wcsnlen(ofn->lpstrFile, ofn->nMaxFile));
    if (ofn->lpstrInitialDir && *ofn->lpstrInitialDir) {
        c.folder = ofn->lpstrInitialDir;
    } else if (initial.find_first_of(L"\\/") != std::wstring::npos) {
        c.folder = quiva::PathParent(initial.c_str()).GetString();
        initial = quiva::PathFileName(initial.c_str()).GetString();
    } else {
        wchar_t cwd[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, cwd);
        c.folder = cwd;
    }
    if (HasWildcard(initial))
        c.patterns = SplitPatterns(initial);
    c.field = initial;

    DLGTEMPLATE tmpl{};
    tmpl.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    tmpl.cx = kWidth;
    tmpl.cy = kHeight;
    HWND owner = ofn->hwndOwner ? GetAncestor(ofn->hwndOwner, GA_ROOT) : nullptr;
    HWND hwnd = CreateDialogIndirectParamW(nullptr, &tmpl, owner, ChooserProc, reinterpret_cast<LPARAM>(&c));
    if (!hwnd) {
        t_lastError = CDERR_INITIALIZATION;
        return FALSE;
    }
    SetWindowTextW(hwnd, ofn->lpstrTitle ? ofn->lpstrTitle : (save ? L"다른 이름으로 저장" : L"열기"));
    const INT_PTR r = quiva::ui::RunModalDialog(hwnd, [&](MSG* m) { return PreTranslate(hwnd, c, m); });
    DestroyWindow(hwnd);
    if (r != IDOK)
        return FALSE;
    return Deliver(ofn, c.result);
}

}  // namespace

BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn) { return RunFileDialog(ofn, false); }
BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn) { return RunFileDialog(ofn, true); }
DWORD CommDlgExtendedError() { return t_lastError; }

namespace quiva::ui {

void SetFileDialogAnswer(FileDialogAnswer answer)
{
    std::lock_guard<std::mutex> l(AnswerLock());
    Answer() = std::move(answer);
}

}  // namespace quiva::ui
