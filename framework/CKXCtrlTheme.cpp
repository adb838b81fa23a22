#include "framework/CKXCtrlTheme.h"

#include <cmath>
#include <cwchar>

#include "framework/CKXXmlDocument.h"
#include "platform/base/codepage.h"
#include "platform/base/resources.h"
#include "platform/gdi/gdi.h"

namespace {

constexpr const wchar_t* kDefaultFont = L"맑은 고딕";
constexpr const wchar_t* kModuleName = L"QUIVA.Capture.dll";

CString ColourText(DWORD argb)
{
    CString s;
    s.Format(L"%02X%02X%02X", (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
    return s;
}

CString NumberText(float v)
{
    CString s;
    s.Format(L"%3.1f", static_cast<double>(v));
    return s;
}

// Six hexadecimal digits RRGGBB give an opaque colour; eight give AARRGGBB as written. Anything
// else leaves the value alone.
void ReadColour(const CString& text, DWORD& value)
{
    if (text.GetLength() != 6 && text.GetLength() != 8)
        return;
    DWORD v = 0;
    for (int i = 0; i < text.GetLength(); ++i) {
        wchar_t c = text[i];
        int d = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'A' && c <= L'F' ? c - L'A' + 10 : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
        if (d < 0)
            return;
        v = (v << 4) | static_cast<DWORD>(d);
    }
    value = text.GetLength() == 6 ? 0xFF000000u | v : v;
}

void ReadFlag(const CString& text, int& value)
{
    if (text == L"1")
        value = 1;
    else if (text == L"0")
        value = 0;
}

// A width or size: an absent or unreadable text keeps the value it had.
void ReadNumber(const CString& text, float& value)
{
    if (text.IsEmpty())
        return;
    wchar_t* end = nullptr;
    double v = std::wcstod(text.GetString(), &end);
    if (end == text.GetString() || !std::isfinite(v))
        return;
    value = static_cast<float>(v);
}

}  // namespace

_KXCtrlFont::_KXCtrlFont() : name(kDefaultFont), size(9.0f), style(0), color(0xFF000000u) {}

_KXCtrlFont::_KXCtrlFont(const wchar_t* n, float s, int st, DWORD c) : name(n), size(s), style(st), color(c) {}

void _KXCtrlFont::Set(const wchar_t* n, float s, DWORD c, int st)
{
    name = n;
    size = s;
    color = c;
    style = st;
}

void _KXCtrlStateStyle::Set(DWORD b, DWORD f, int nb, float w)
{
    back = b;
    fore = f;
    noBack = nb;
    width = w;
}

// What Save and Load do at each stored member.
class CKXCtrlTheme::Visitor {
public:
    virtual ~Visitor() = default;
    virtual void State(const CString& path, _KXCtrlStateStyle& s) = 0;
    virtual void Font(const CString& path, _KXCtrlFont& f) = 0;
    virtual void Colour(const CString& path, const wchar_t* attribute, DWORD& c) = 0;
};

CKXCtrlTheme* CKXCtrlTheme::s_instance = nullptr;

CKXCtrlTheme::CKXCtrlTheme()
{
    // Theme files and the XML document speak code page 949.
    quiva::SetAnsiCodePage(CP_KOREAN);
}

CKXCtrlTheme::~CKXCtrlTheme()
{
    for (_KXCtrlSysButtonStyle* b : {&minimizeButton, &maximizeButton, &restoreButton, &exitButton, &settingButton})
        if (b->icon.icon) {
            DestroyIcon(b->icon.icon);
            b->icon.icon = nullptr;
        }
    if (s_instance == this)
        s_instance = nullptr;
}

CKXCtrlTheme* CKXCtrlTheme::GetInstance()
{
    if (!s_instance) {
        s_instance = new CKXCtrlTheme();
        s_instance->LoadDefaults();
    }
    return s_instance;
}

void CKXCtrlTheme::SetInstance(CKXCtrlTheme* theme)
{
    if (s_instance == theme)
        return;
    delete s_instance;
    s_instance = theme;
}

Gdiplus::RectF CKXCtrlTheme::GetCaptionButtonSize()
{
    static const float sizes[] = {20.0f, 28.0f, 36.0f, 52.0f};
    if (captionButtonSize < 0 || captionButtonSize > 3)
        return Gdiplus::RectF(0, 0, 0, 0);
    float s = sizes[captionButtonSize];
    return Gdiplus::RectF(0, 0, s, s);
}

void CKXCtrlTheme::LoadDefaults()
{
    HMODULE module = GetModuleHandleW(kModuleName);

    captionActive.Set(0xFF324650u, 0xFFDCDCDCu, 0, 1.0f);
    captionActiveFont.Set(kDefaultFont, 10.0f, 0xFFD0D8FFu, 1);
    captionInactive.Set(0xFF0A1E28u, 0xFF505050u, 0, 1.0f);
    captionInactiveFont.Set(kDefaultFont, 10.0f, 0xFFA0A8EFu, 0);
    window.style.Set(0xFF0A1E28u, 0xFFB4B4B4u, 0, 1.0f);
    window.font.Set(kDefaultFont, 9.0f, 0xFFC8C8C8u, 0);

    for (_KXCtrlSysButtonStyle* b : {&minimizeButton, &maximizeButton, &restoreButton, &settingButton, &exitButton}) {
        b->normal.Set(0x00000000u, 0xFF404040u, 1, 1.0f);
        b->pressed.Set(0x00000000u, 0xFFB4B4B4u, 1, 2.0f);
        b->over.Set(0x00000000u, 0xFF8C8C8Cu, 1, 2.0f);
        b->selected.Set(0x00000000u, 0xFF000000u, 1, 1.0f);
        b->disable.Set(0x00000000u, 0xFF3C3C3Cu, 1, 1.0f);
    }
    exitButton.pressed.Set(0xFFA00000u, 0xFFB4B4B4u, 0, 2.0f);
    exitButton.over.Set(0xFFA00000u, 0xFF8C8C8Cu, 0, 2.0f);

    const struct {
        _KXCtrlSysButtonStyle* button;
        int id;
    } icons[] = {{&minimizeButton, 10003}, {&maximizeButton, 10002}, {&restoreButton, 10005}, {&exitButton, 10001}};
    for (const auto& i : icons) {
        _KXCtrlIconInfo& info = i.button->icon;
        info.resourceId = i.id;
        info.module = module;
        info.cx = 16;
        info.cy = 16;
        if (module) {
            if (info.icon)
                DestroyIcon(info.icon);
            info.icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(i.id), IMAGE_ICON, 16, 16, 0));
        }
    }

    const struct {
        _KXCtrlTextStyle* style;
        DWORD back, fore;
        int noBack;
        DWORD fontColour;
    } families[] = {
        {&standard[0], 0xFF1E1E1Eu, 0x14B4B4B4u, 1, 0xFFC8C8C8u}, {&standard[1], 0xFF5A82AAu, 0xFF646464u, 0, 0xFFFFFFFFu},
        {&standard[2], 0xFFB4C8DCu, 0xFF646464u, 1, 0xFFF0F0F0u}, {&standard[3], 0xFF5078A0u, 0xFF808080u, 0, 0xFFFFFFDCu},
        {&standard[4], 0xFF1E1E1Eu, 0xFF303030u, 1, 0xFF5A5A5Au}, {&edit[0], 0xFF1E1E1Eu, 0xFF404040u, 1, 0xFFDCDCDCu},
        {&edit[1], 0xFF1E1E1Eu, 0xFF8C8C8Cu, 1, 0xFFDCDCDCu},     {&edit[2], 0xFF1E1E1Eu, 0xFFA0A0A0u, 0, 0xFFDCDCDCu},
        {&edit[3], 0xFF1E1E1Eu, 0xFF303030u, 0, 0xFF787878u},     {&edit[4], 0xFF1E1E1Eu, 0xFF404040u, 0, 0xFFA0A0A0u},
        {&list[0], 0xFF1E1E1Eu, 0xFFDCDCDCu, 1, 0xFFDCDCDCu},     {&list[1], 0xFF5A82AAu, 0xFFFFFFFFu, 0, 0xFFFFFFFFu},
        {&list[2], 0xFFB4C8DCu, 0xFFDCDCDCu, 0, 0xFF1E1E1Eu},     {&list[3], 0xFF5078A0u, 0xFFFFFFFFu, 0, 0xFFFFFFFFu},
        {&header[0], 0xFF3C3C3Cu, 0xFF787878u, 0, 0xFF787878u},   {&header[1], 0xFFDCDCDCu, 0xFF787878u, 0, 0xFFFF8100u},
        {&header[2], 0xFF505050u, 0xFF787878u, 0, 0xFF787878u},   {&header[3], 0xFF787878u, 0xFF8C8C8Cu, 0, 0xFF8C8C8Cu},
    };
    for (const auto& f : families) {
        f.style->style.Set(f.back, f.fore, f.noBack, 1.0f);
        f.style->font.Set(kDefaultFont, 9.0f, f.fontColour, 0);
    }

    editSelectColor = 0xFFA0A0A0u;
    checkCheckedColor = 0xFFA0A0A0u;
    checkUncheckedColor = 0xFF505050u;
    smallButtonColor[KXSMALL_NORMAL] = 0xFF787878u;
    smallButtonColor[KXSMALL_PRESSED] = 0xFFFFFFFFu;
    smallButtonColor[KXSMALL_OVER] = 0xFFF0F0F0u;
    smallButtonColor[KXSMALL_DISABLE] = 0xFF303030u;
    listGridColor = 0xFF444444u;

    calendar[0].Set(0xFF1E1E1Eu, 0xFFDCDCDCu, 1, 1.0f);
    calendar[1].Set(0xFF1E1E1Eu, 0xFFFF8100u, 1, 2.0f);
    calendar[2].Set(0xFF1E1E1Eu, 0xFF646464u, 1, 2.0f);
    const DWORD calendarColours[8] = {0xFFDCDCDCu, 0xFF787878u, 0xFFDC3232u, 0xFF505050u,
                                      0xFF323232u, 0xFF501414u, 0xFFFFFFFFu, 0xFFFF8100u};
    for (int i = 0; i < 8; ++i)
        calendarFont[i].Set(kDefaultFont, 9.0f, calendarColours[i], i >= 6 ? 1 : 0);
}

void CKXCtrlTheme::Visit(Visitor& v)
{
    v.State(L"/system/caption/activate", captionActive);
    v.Font(L"/system/caption/activate", captionActiveFont);
    v.State(L"/system/caption/inactivate", captionInactive);
    v.Font(L"/system/caption/inactivate", captionInactiveFont);
    v.State(L"/window", window.style);
    v.Font(L"/window", window.font);

    const struct {
        const wchar_t* name;
        _KXCtrlSysButtonStyle* button;
    } buttons[] = {{L"minimize", &minimizeButton},
                   {L"maximize", &maximizeButton},
                   {L"restore", &restoreButton},
                   {L"exit", &exitButton},
                   {L"setting", &settingButton}};
    for (const auto& b : buttons) {
        CString base = CString(L"/system/button/") + b.name;
        v.State(base + L"/normal", b.button->normal);
        v.State(base + L"/pressed", b.button->pressed);
        v.State(base + L"/over", b.button->over);
        v.State(base + L"/selected", b.button->selected);
        v.State(base + L"/disable", b.button->disable);
    }

    auto family = [&v](const wchar_t* base, _KXCtrlTextStyle* styles, std::initializer_list<const wchar_t*> states) {
        int i = 0;
        for (const wchar_t* s : states)
            v.State(CString(base) + L"/" + s, styles[i++].style);
        i = 0;
        for (const wchar_t* s : states)
            v.Font(CString(base) + L"/" + s, styles[i++].font);
    };
    family(L"/control/standard", standard, {L"normal", L"pressed", L"over", L"selected", L"disable"});
    int i = 0;
    for (const wchar_t* s : {L"normal", L"over", L"focus", L"disable", L"readonly"})
        v.State(CString(L"/control/edit/") + s, edit[i++].style);
    v.Colour(L"/control/edit", L"selectColor", editSelectColor);
    i = 0;
    for (const wchar_t* s : {L"normal", L"over", L"focus", L"disable", L"readonly"})
        v.Font(CString(L"/control/edit/") + s, edit[i++].font);
    v.Colour(L"/control/check/checked", L"color", checkCheckedColor);
    v.Colour(L"/control/check/unchecked", L"color", checkUncheckedColor);
    i = 0;
    for (const wchar_t* s : {L"normal", L"pressed", L"over", L"disable"})
        v.Colour(CString(L"/control/smallButton/") + s, L"color", smallButtonColor[i++]);
    family(L"/control/list", list, {L"normal", L"pressed", L"over", L"selected"});
    v.Colour(L"/control/list/grid", L"color", listGridColor);
    family(L"/control/header", header, {L"normal", L"pressed", L"over", L"selected"});
    i = 0;
    for (const wchar_t* s : {L"normal", L"pressed", L"over"})
        v.State(CString(L"/control/calendar/") + s, calendar[i++]);
    i = 0;
    for (const wchar_t* s : {L"active/normal", L"active/saturday", L"active/sunday", L"inactive/normal",
                             L"inactive/saturday", L"inactive/sunday", L"today", L"selected"})
        v.Font(CString(L"/control/calendar/") + s, calendarFont[i++]);
}

void CKXCtrlTheme::Save(CString path)
{
    class Writer : public Visitor {
    public:
        CKXXmlDocument doc;
        void State(const CString& p, _KXCtrlStateStyle& s) override
        {
            doc.SetAttribute(p + L"/back", 0, L"color", ColourText(s.back));
            doc.SetAttribute(p + L"/back", 0, L"noBack", s.noBack ? L"1" : L"0");
            doc.SetAttribute(p + L"/fore", 0, L"color", ColourText(s.fore));
            doc.SetAttribute(p + L"/fore", 0, L"width", NumberText(s.width));
        }
        void Font(const CString& p, _KXCtrlFont& f) override
        {
            CString font = p + L"/font";
            doc.SetAttribute(font, 0, L"name", f.name);
            doc.SetAttribute(font, 0, L"color", ColourText(f.color));
            doc.SetAttribute(font, 0, L"size", NumberText(f.size));
            doc.SetAttribute(font, 0, L"bold", (f.style & 1) ? L"1" : L"0");
            doc.SetAttribute(font, 0, L"italic", (f.style & 2) ? L"1" : L"0");
            doc.SetAttribute(font, 0, L"underline", (f.style & 4) ? L"1" : L"0");
            doc.SetAttribute(font, 0, L"strikeout", (f.style & 8) ? L"1" : L"0");
        }
        void Colour(const CString& p, const wchar_t* attribute, DWORD& c) override
        {
            doc.SetAttribute(p, 0, attribute, ColourText(c));
        }
    } writer;
    writer.doc.LoadXml(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><KXTheme version=\"1.0\"/>");
    Visit(writer);
    writer.doc.Save(path);
}

void CKXCtrlTheme::Load(CString path)
{
    class Reader : public Visitor {
    public:
        CKXXmlDocument doc;
        void State(const CString& p, _KXCtrlStateStyle& s) override
        {
            ReadColour(doc.GetAttribute(p + L"/back", L"color"), s.back);
            ReadFlag(doc.GetAttribute(p + L"/back", L"noBack"), s.noBack);
            ReadColour(doc.GetAttribute(p + L"/fore", L"color"), s.fore);
            ReadNumber(doc.GetAttribute(p + L"/fore", L"width"), s.width);
        }
        void Font(const CString& p, _KXCtrlFont& f) override
        {
            CString font = p + L"/font";
            CString name = doc.GetAttribute(font, L"name");
            if (!name.IsEmpty())
                f.name = name;
            ReadColour(doc.GetAttribute(font, L"color"), f.color);
            ReadNumber(doc.GetAttribute(font, L"size"), f.size);
            CString bits[4] = {doc.GetAttribute(font, L"bold"), doc.GetAttribute(font, L"italic"),
                               doc.GetAttribute(font, L"underline"), doc.GetAttribute(font, L"strikeout")};
            if (bits[0].IsEmpty() || bits[1].IsEmpty() || bits[2].IsEmpty() || bits[3].IsEmpty())
                return;
            f.style = (bits[0] == L"1" ? 1 : 0) | (bits[1] == L"1" ? 2 : 0) | (bits[2] == L"1" ? 4 : 0) |
                      (bits[3] == L"1" ? 8 : 0);
        }
        void Colour(const CString& p, const wchar_t* attribute, DWORD& c) override
        {
            ReadColour(doc.GetAttribute(p, attribute), c);
        }
    } reader;
    if (!reader.doc.Load(path))
        return;
    Visit(reader);
}
