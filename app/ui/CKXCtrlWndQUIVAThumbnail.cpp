#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/ui/CKXCtrlWndViewThumbnail.h"
#include "app/ui/CKXQUIVACaptureView.h"
#include "app/model/CKXQUIVACaptureModel.h"
#include "app/ui/QUIVATell.h"
#include "app/model/CKXSendDicomModel.h"
#include "app/model/QUIVAModuleInstance.h"
#include "framework/CKXCtrlCursor.h"
#include "framework/CKXWnd.h"
#include "framework/CKXWndPopup.h"
#include "platform/base/codepage.h"
#include "platform/base/clock.h"
#include "platform/base/resources.h"
#include "platform/base/wformat.h"
#include "platform/ui/winuser.h"

using namespace Gdiplus;

namespace {

constexpr float kCellLeft = 10.0f;
constexpr float kCellGap = 8.0f;
constexpr float kListTopGap = 15.0f;
constexpr float kCaptionHeight = 20.0f;
constexpr float kCaptionWidth = 130.0f;
constexpr float kCaptionInset = 3.0f;  // the kept frame's half width inside the cell, and a gap
constexpr float kMarkWidth = 100.0f;
constexpr float kIconSize = 32.0f;
constexpr ARGB kShade = 0xA0000000u;
constexpr ARGB kDarken = 0x4B000000u;
constexpr ARGB kLine = 0x28FFFFFFu;
constexpr ARGB kRed = 0xFFFF0000u;
constexpr ARGB kFilmBand = 0x8C000000u;
constexpr ARGB kKeptFrame = 0xFFFFFFDCu;
constexpr DWORD kDragDelayMs = 100;
const wchar_t* const kDeleteAll = L"전체삭제";
const wchar_t* const kRestoreAll = L"전체복원";

// "yyyy-mm-dd" of a yyyymmdd date (what there is of it).
CString DashedDate(const CString& d)
{
    return d.Mid(0, 4) + L"-" + d.Mid(4, 2) + L"-" + d.Mid(6, 2);
}

}  // namespace

CKXCtrlWndQUIVAThumbnail* CKXCtrlWndQUIVAThumbnail::Of(CKXQUIVACaptureModel* owner)
{
    CKXQUIVACaptureView* view = CKXQUIVACaptureView::Of(owner);
    return view ? &view->strip : nullptr;
}

CKXCtrlWndQUIVAThumbnail::CKXCtrlWndQUIVAThumbnail()
{
    HMODULE module = QUIVAModuleInstance();
    const int ids[4] = {IDI_THUMB_KEEP, IDI_THUMB_KEEP_HOT, IDI_THUMB_DELETED, IDI_THUMB_DELETED_HOT};
    for (int i = 0; i < 4; ++i)
        icons[i] = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(ids[i]), IMAGE_ICON, 32, 32, 0));
    deleteAllButton.deleteWithContainer = 0;
}

CKXCtrlWndQUIVAThumbnail::~CKXCtrlWndQUIVAThumbnail()
{
    for (HICON& icon : icons)
        if (icon) {
            DestroyIcon(icon);
            icon = nullptr;
        }
}

int CKXCtrlWndQUIVAThumbnail::Create(int newId, float nx, float ny, float w, float h)
{
    CKXCtrl::Create(newId, nx, ny, w, h);
    created = 1;
    deleteAllButton.Create(KXTHUMB_CMD_DELETE_ALL, 0, 0, 60, 25);
    deleteAllButton.SetCaption(kDeleteAll);
    deleteAllButton.SetText(L"전체 이미지를 저장불가능한 상태로 만듭니다.");
    if (std::find(children.begin(), children.end(), &deleteAllButton) == children.end())
        AddControl(&deleteAllButton);
    SetSize(width, height);
    return 1;
}

void CKXCtrlWndQUIVAThumbnail::SetRect(float nx, float ny, float w, float h)
{
    x = nx, y = ny;
    SetSize(w, h);
}

void CKXCtrlWndQUIVAThumbnail::SetSize(float w, float h)
{
    width = w, height = h;
    deleteAllButton.SetRect(x + 10, y + 10, 60, 25);
    top = 40;
    Relayout();
    scrollOffset = scrollBar.visible ? -scrollBar.GetPosition() : 0.0f;
}

int CKXCtrlWndQUIVAThumbnail::CellWidth() const
{
    return static_cast<int>(width - 30.0f);
}

int CKXCtrlWndQUIVAThumbnail::CellHeight(const _KXCaptureFileInfo* info, int cellWidth)
{
    if (!info || !info->HasPicture())
        return 0;
    // A kept or noted picture's cell is laid out from the still's own size, as if it were whole.
    const UINT w = info->width ? info->width : info->image->GetWidth();
    const UINT h = info->width ? info->height : info->image->GetHeight();
    if (w == 0)
        return 0;
    return static_cast<int>(static_cast<int64_t>(h) * cellWidth / static_cast<int64_t>(w));
}

int CKXCtrlWndQUIVAThumbnail::KeptCellWidth() const
{
    // Before the strip is laid out, its cell at the default strip width of 200.
    const int cell = CellWidth();
    return cell > 0 ? cell : 170;
}

void CKXCtrlWndQUIVAThumbnail::KeepPicture(_KXCaptureFileInfo* info, Image& picture)
{
    Keep(info, picture, picture.GetWidth(), picture.GetHeight(), KeptCellWidth());
}

void CKXCtrlWndQUIVAThumbnail::KeepFile(_KXCaptureFileInfo* info)
{
    info->width = info->height = 0;
    KeepFromFile(info, KeptCellWidth());
}

void CKXCtrlWndQUIVAThumbnail::NoteFile(_KXCaptureFileInfo* info, UINT width, UINT height)
{
    info->image.reset();
    info->cellPicture.reset();
    info->width = width;
    info->height = height;
    info->pictureDeferred = true;
}

bool CKXCtrlWndQUIVAThumbnail::ReadNotedPicture(_KXCaptureFileInfo* info)
{
    if (!info->pictureDeferred)
        return false;
    // The size noted must still be the file's: the cell was laid out from it.
    if (KeepFromFile(info, KeptCellWidth()))
        return false;
    KeepFile(info);
    return true;
}

bool CKXCtrlWndQUIVAThumbnail::Shown(const RectF& cell) const
{
    return cell.GetBottom() >= y + top && cell.Height > 0.0f;
}

void CKXCtrlWndQUIVAThumbnail::Keep(_KXCaptureFileInfo* info, Image& picture, UINT ownWidth, UINT ownHeight,
                                    int cellWidth)
{
    info->image.reset();
    info->pictureDeferred = false;
    info->cellPicture.reset();
    info->width = info->height = 0;
    // The strip draws the still at its cell's size; the enlarged view reads the file again.
    const int64_t keptWidth = cellWidth;
    const int64_t keptHeight = ownWidth ? keptWidth * ownHeight / ownWidth : 0;
    Image* kept = nullptr;
    if (cellWidth > 0 && keptHeight > 0 && picture.GetWidth() > keptWidth)
        kept = picture.GetThumbnailImage(static_cast<UINT>(keptWidth), static_cast<UINT>(keptHeight));
    if (!kept)
        kept = picture.Clone();
    info->image.reset(kept);
    if (kept->GetWidth() != ownWidth || kept->GetHeight() != ownHeight) {
        info->width = ownWidth;
        info->height = ownHeight;
    }
}

bool CKXCtrlWndQUIVAThumbnail::KeepFromFile(_KXCaptureFileInfo* info, int cellWidth)
{
    // Twice the cell: the last reduction is then the exact area mean, as from the whole still.
    Size own;
    std::unique_ptr<Image> read(
        CKXQUIVACaptureModel::LoadImageAtLeast(info->path, 2 * static_cast<UINT>(std::max(cellWidth, 1)), &own));
    // Read again for a known still, the file must still hold that still.
    if (info->width && (static_cast<UINT>(own.Width) != info->width || static_cast<UINT>(own.Height) != info->height))
        return false;
    Keep(info, *read, static_cast<UINT>(own.Width), static_cast<UINT>(own.Height), cellWidth);
    return true;
}

RectF CKXCtrlWndQUIVAThumbnail::ListArea() const
{
    return RectF(x, y + top, width, height - top);
}

RectF CKXCtrlWndQUIVAThumbnail::IconSquare(const RectF& cell)
{
    return RectF(cell.X + cell.Width - 40.0f, cell.Y + cell.Height - 40.0f, kIconSize, kIconSize);
}

void CKXCtrlWndQUIVAThumbnail::WalkCells(bool onScreenOnly, const CellVisitor& visit)
{
    if (!model)
        return;
    model->AssertWindowThread();
    const int w = CellWidth();
    const float listBottom = y + height;
    float cy = y + top + kListTopGap + scrollOffset;
    for (int i = 0; i < model->GetFileCount(); ++i) {
        _KXCaptureFileInfo* info = model->GetFileInfo(i);
        if (!info || !info->HasPicture())
            continue;
        if (onScreenOnly && cy >= listBottom)
            return;
        const float h = static_cast<float>(CellHeight(info, w));
        const RectF cell(x + kCellLeft, cy, static_cast<float>(w), h);
        cy += h + kCellGap;
        if (!visit(i, info, cell))
            return;
    }
}

void CKXCtrlWndQUIVAThumbnail::Relayout()
{
    float content = 20.0f;
    WalkCells(false, [&](int, _KXCaptureFileInfo*, const RectF& cell) {
        content += cell.Height + kCellGap;
        return true;
    });
    scrollBar.SetRange(0.0f, content);
    scrollBar.SetRect(x + width - 16.0f, y + top, 16.0f, height - top);
    // The page is the list's new height (a maximised window shows more of it): the offset is
    // held within what the list can scroll now, not what it could before.
    scrollBar.page = 0.0f;
    scrollBar.SetPosition(scrollBar.position, 0.0f);
    scrollOffset = scrollBar.visible ? -scrollBar.GetPosition() : 0.0f;
    // The cells have moved under the pointer: none is hovered until it moves again.
    hoverCell = -1;
    iconHot = 0;
}

int CKXCtrlWndQUIVAThumbnail::HitTest(float px, float py, RectF* cellOut)
{
    if (!ListArea().Contains(px, py))
        return -1;
    int hit = -1;
    WalkCells(true, [&](int i, _KXCaptureFileInfo*, const RectF& cell) {
        if (!cell.Contains(px, py))
            return true;
        if (cellOut)
            *cellOut = cell;
        hit = i;
        return false;
    });
    return hit;
}

CString CKXCtrlWndQUIVAThumbnail::Caption(int index)
{
    if (!model)
        return CString();
    model->AssertWindowThread();
    _KXCaptureFileInfo* info = model->GetFileInfo(index);
    if (!info)
        return CString();
    const int count = model->GetFileCount();
    // A control character in a study name is shown as a blank.
    const CString text = CString(quiva::ReplaceControlCharacters(info->study.str(), L' ')) + L" " + DashedDate(info->date);
    if (count == 1)
        return text;
    return CString(quiva::FormatWide(L"[%d/%d] ", index + 1, count).c_str()) + text;
}

Image* CKXCtrlWndQUIVAThumbnail::CellPicture(_KXCaptureFileInfo* info, const RectF& dc)
{
    ReadNotedPicture(info);  // Draw has read it before its walk; another caller reads it here
    const long w = std::lround(dc.Width), h = std::lround(dc.Height);
    // A wider cell than the picture was kept for: the still is read again at the new cells.
    if (w > 0 && info->width > info->image->GetWidth() && static_cast<UINT>(w) > info->image->GetWidth() &&
        !info->isVideo)
        KeepFromFile(info, static_cast<int>(w));
    // Only a real reduction is worth a copy; near its own size the picture is drawn as it is.
    if (w <= 0 || h <= 0 || static_cast<UINT>(w) * 2 > info->image->GetWidth())
        return info->image.get();
    Image* cached = info->cellPicture.get();
    if (!cached || cached->GetWidth() != static_cast<UINT>(w) || cached->GetHeight() != static_cast<UINT>(h)) {
        info->cellPicture.reset(info->image->GetThumbnailImage(static_cast<UINT>(w), static_cast<UINT>(h)));
        cached = info->cellPicture.get();
    }
    return cached ? cached : info->image.get();
}

// What every cell of one paint is drawn with.
struct CKXCtrlWndQUIVAThumbnail::CellPainter {
    CellPainter(Graphics* graphics, float scale, float offsetX, float offsetY)
        : g(graphics), s(scale), ox(offsetX), oy(offsetY), font(L"맑은 고딕", 8.0f * scale, FontStyleRegular, UnitPoint)
    {
        for (StringFormat* f : {&format, &centred}) {
            f->SetLineAlignment(StringAlignmentCenter);
            f->SetFormatFlags(StringFormatFlagsNoWrap);
            f->SetTrimming(StringTrimmingCharacter);
        }
        centred.SetAlignment(StringAlignmentCenter);
    }
    // A rectangle of the strip on the device.
    RectF Dev(const RectF& r) const { return ScaleDrawRect(r, s, ox, oy); }

    Graphics* g;
    float s, ox, oy;
    RectF area;  // the list's clip on the device
    Pen separator{Color(kLine), 1.0f};
    SolidBrush shade{Color(kShade)};
    SolidBrush white{Color(0xFFFFFFFFu)};
    Font font;
    StringFormat format;   // a line, centred on its height, cut at a character
    StringFormat centred;  // the same, centred on its width
};

void CKXCtrlWndQUIVAThumbnail::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g || !visible)
        return;
    eraseBackground = 0;
    CKXCtrlWnd::Draw(g, offsetX, offsetY, hint, ctx);
    const float s = hint ? hint->scale : 1.0f;
    CellPainter p(g, s, offsetX, offsetY);

    // The line above the list, then the cells clipped to the list below it.
    p.area = p.Dev(ListArea());
    g->DrawLine(&p.separator, p.area.X + 5.0f * s, p.area.Y, p.area.GetRight() - 5.0f * s, p.area.Y);
    p.area.Y += 5.0f * s;
    p.area.Height -= 5.0f * s;
    Region previousClip;
    g->GetClip(&previousClip);
    g->SetClip(p.area);
    // The pictures that the store's open left to their first showing are read first: one that
    // turns out other than its header said changes the cells after it.
    bool moved = false;
    WalkCells(true, [&](int, _KXCaptureFileInfo* info, const RectF& cell) {
        moved = (Shown(cell) && ReadNotedPicture(info)) || moved;
        return true;
    });
    if (moved)
        Relayout();
    WalkCells(true, [&](int i, _KXCaptureFileInfo* info, const RectF& cell) {
        if (Shown(cell))
            DrawCell(p, i, info, cell);
        return true;
    });
    g->SetClip(&previousClip);

    CKXCtrlRenderHint barHint;
    barHint.scale = s;
    scrollBar.Draw(g, offsetX, offsetY, &barHint, ctx);
}

void CKXCtrlWndQUIVAThumbnail::DrawCell(CellPainter& p, int index, _KXCaptureFileInfo* info, const RectF& cell)
{
    const RectF dc = p.Dev(cell);
    p.g->DrawImage(CellPicture(info, dc), dc);
    DrawPresence(p, info, cell);
    if (info->isVideo)
        DrawFilmBands(p, cell);
    DrawCaption(p, index, cell);
    if (info->saved)
        DrawSavedMark(p, info, cell);
    if (info->present) {
        Pen frame(Color(kKeptFrame), 3.0f * p.s);
        p.g->DrawRectangle(&frame, dc);
    }
    if (index == hoverCell)
        DrawHoverIcon(p, info, cell);
    if (index == selectedCell) {
        Pen dashed(Color(kRed), 1.0f);
        dashed.SetDashStyle(DashStyleDash);
        p.g->DrawRectangle(&dashed, p.Dev(RectF(x + 7.0f, cell.Y - 3.0f, cell.Width + 6.0f, cell.Height + 6.0f)));
    }
}

void CKXCtrlWndQUIVAThumbnail::DrawPresence(CellPainter& p, const _KXCaptureFileInfo* info, const RectF& cell)
{
    // Saved or deleted: darkened; deleted and not saved: a red cross in the middle.
    if (info->saved || !info->present) {
        SolidBrush darken{Color(kDarken)};
        p.g->FillRectangle(&darken, p.Dev(cell));
    }
    if (!info->saved && !info->present) {
        Pen cross(Color(kRed), 5.0f * p.s);
        cross.SetLineCap(LineCapRound, LineCapRound, 0);
        const float h = cell.Height, half = h / 6.0f;
        const float mx = cell.X + cell.Width / 2.0f, my = cell.Y + h / 2.0f;
        const RectF sq = p.Dev(RectF(mx - half, my - half, 2.0f * half, 2.0f * half));
        p.g->DrawLine(&cross, sq.X, sq.Y, sq.GetRight(), sq.GetBottom());
        p.g->DrawLine(&cross, sq.GetRight(), sq.Y, sq.X, sq.GetBottom());
    }
}

void CKXCtrlWndQUIVAThumbnail::DrawFilmBands(CellPainter& p, const RectF& cell)
{
    // A recording: a film's perforated band down each side.
    const float w = cell.Width, h = cell.Height;
    SolidBrush band{Color(kFilmBand)};
    p.g->FillRectangle(&band, p.Dev(RectF(x + 10.0f, cell.Y, 15.0f, h)));
    p.g->FillRectangle(&band, p.Dev(RectF(x + w - 5.0f, cell.Y, 15.0f, h)));
    for (int k = 0; k < static_cast<int>(h / 16.0f); ++k) {
        const float hy = cell.Y + 8.0f + 16.0f * k;
        p.g->FillRectangle(&p.white, p.Dev(RectF(x + 14.0f, hy, 8.0f, 8.0f)));
        p.g->FillRectangle(&p.white, p.Dev(RectF(x + w - 1.0f, hy, 8.0f, 8.0f)));
    }
}

void CKXCtrlWndQUIVAThumbnail::DrawCaption(CellPainter& p, int index, const RectF& cell)
{
    // The bar is 130 wide, or wider as far as the cell allows when its text needs it: the date
    // at its end is never cut while there is room for it.
    const CString caption = Caption(index);
    RectF needed;
    p.g->MeasureString(caption, caption.GetLength(), &p.font, PointF(0.0f, 0.0f), &p.format, &needed);
    const float barWidth = std::max(kCaptionWidth, needed.Width / p.s + 4.0f);
    const RectF bar = p.Dev(RectF(cell.X, cell.Y, std::min(cell.Width, barWidth), kCaptionHeight));
    p.g->FillRectangle(&p.shade, bar);
    // The text starts clear of the frame a kept cell has over its edge.
    const float inset = kCaptionInset * p.s;
    const RectF text(bar.X + inset, bar.Y, std::max(0.0f, bar.Width - inset), bar.Height);
    p.g->DrawString(caption, caption.GetLength(), &p.font, text, &p.format, &p.white);
}

void CKXCtrlWndQUIVAThumbnail::DrawSavedMark(CellPainter& p, const _KXCaptureFileInfo* info, const RectF& cell)
{
    const RectF mark = p.Dev(RectF(cell.GetRight() - kMarkWidth, cell.GetBottom() - 20.0f, kMarkWidth, 20.0f));
    p.g->FillRectangle(&p.shade, mark);
    p.g->DrawRectangle(&p.separator, mark);
    const wchar_t* text = info->discarded ? L"삭제완료" : L"저장완료";
    p.g->DrawString(text, -1, &p.font, mark, &p.centred, &p.white);
}

void CKXCtrlWndQUIVAThumbnail::DrawHoverIcon(CellPainter& p, const _KXCaptureFileInfo* info, const RectF& cell)
{
    HICON icon = icons[(info->present ? 0 : 2) + (iconHot ? 1 : 0)];
    if (!icon)
        return;
    // Drawn through the device context, clipped to the list as the cells are.
    const RectF sq = p.Dev(IconSquare(cell));
    HDC hdc = p.g->GetHDC();
    const int saved = SaveDC(hdc);
    IntersectClipRect(hdc, static_cast<int>(p.area.X), static_cast<int>(p.area.Y),
                      static_cast<int>(std::ceil(p.area.GetRight())), static_cast<int>(std::ceil(p.area.GetBottom())));
    DrawIconEx(hdc, static_cast<int>(sq.X), static_cast<int>(sq.Y), icon, static_cast<int>(sq.Width),
               static_cast<int>(sq.Height), 0, nullptr, DI_NORMAL);
    RestoreDC(hdc, saved);
    p.g->ReleaseHDC(hdc);
}

int CKXCtrlWndQUIVAThumbnail::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    const DWORD now = GetTickCount();
    if (clickCount != 0 && now - firstClickTick < GetDoubleClickTime()) {
        ++clickCount;
    } else {
        firstClickTick = now;
        clickCount = 1;
    }
    if (scrollBar.OnLButtonDown(px, py, handled, ctx))
        return 1;
    const int result = CKXCtrlWnd::OnLButtonDown(px, py, handled, ctx);
    pressedCell = -1;
    iconPressed = 0;
    RectF cell;
    const int hit = HitTest(px, py, &cell);
    if (hit >= 0) {
        if (hit == hoverCell && IconSquare(cell).Contains(px, py))
            iconPressed = 1;
        pressedCell = hit;
    }
    return result;
}

int CKXCtrlWndQUIVAThumbnail::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (ctx)
        ctx->captured = nullptr;
    if (scrollBar.OnLButtonUp(px, py, handled, ctx)) {
        scrollOffset = -scrollBar.GetPosition();
        return 1;
    }
    const int result = CKXCtrlWnd::OnLButtonUp(px, py, handled, ctx);
    RectF cell;
    const int hit = HitTest(px, py, &cell);
    if (hit >= 0) {
        const DWORD now = GetTickCount();
        if (clickCount > 1 && now - firstClickTick < GetDoubleClickTime()) {
            firstClickTick = now;
            clickCount = 0;
            pressedCell = -1;
            ShowEnlargedView(hit, cell, ctx);
            return result;
        }
        if (clickCount > 1)
            clickCount = 0;
        if (hit == pressedCell) {
            if (hit == hoverCell && iconPressed && IconSquare(cell).Contains(px, py))
                TogglePresent(hit);
            selectedCell = hit;
        }
    }
    pressedCell = -1;
    iconPressed = 0;
    return result;
}

void CKXCtrlWndQUIVAThumbnail::ShowEnlargedView(int index, const RectF& cell, CKXCtrlCursor* ctx)
{
    if (!model || !ctx || !ctx->host || !ctx->host->GetSafeHwnd())
        return;
    Image* image;
    std::unique_ptr<Image> whole;
    {
        model->AssertWindowThread();
        _KXCaptureFileInfo* info = model->GetFileInfo(index);
        if (!info || !info->HasPicture())
            return;
        if (ReadNotedPicture(info))
            Relayout();
        image = info->image.get();  // records live as long as the model, which outlives this loop
        // A still kept smaller than it is shows its file, read again, as the whole still.
        if (info->width > info->image->GetWidth()) {
            whole.reset(CKXQUIVACaptureModel::LoadImageCopy(info->path));
            if (whole && whole->GetWidth() == info->width)
                image = whole.get();
        }
    }
    const int w = static_cast<int>(cell.Width), h = static_cast<int>(cell.Height);
    CKXCtrlWndViewThumbnail view;
    view.image = image;
    view.imageWidth = static_cast<float>(w * 3);
    view.imageHeight = static_cast<float>(h * 3);
    auto popup = std::make_unique<CKXWndPopup>();
    popup->SetRootControl(&view);
    if (!popup->CreatePopup(ctx->host, w * 3, h * 3))
        return;
    // Centred on the cell: the cell's point in the host's client area, less one cell.
    const float scale = ctx->GetHostScale();
    const Gdiplus::PointF origin = GetAbsoluteOrigin();
    popup->ShowAt(static_cast<int>((cell.X + origin.X - w) * scale), static_cast<int>((cell.Y + origin.Y - h) * scale));
    popup->SetRootControl(nullptr);
}

void CKXCtrlWndQUIVAThumbnail::TogglePresent(int index)
{
    if (model)
        TellMarks(model->TogglePresent(index));
}

void CKXCtrlWndQUIVAThumbnail::TellMarks(bool kept)
{
    if (!kept)
        QUIVATell(CKXQUIVACaptureModel::kMarksNotKept, CKXQUIVACaptureModel::kMarksNotKeptCaption);
}

void CKXCtrlWndQUIVAThumbnail::ApplyScroll(float offset)
{
    scrollBar.SetPosition(-offset, 0.0f);
    scrollOffset = -scrollBar.GetPosition();
}

int CKXCtrlWndQUIVAThumbnail::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (scrollBar.OnMouseMove(px, py, handled, ctx)) {
        if (handled && *handled)
            scrollOffset = -scrollBar.GetPosition();
        iconPressed = iconHot = 0;
        hoverCell = -1;
        return 1;
    }
    if (ctx && ctx->buttonDown && GetTickCount() - ctx->pressTime > kDragDelayMs && scrollBar.visible) {
        ApplyScroll(scrollOffset - static_cast<float>(ctx->dragDelta[1]));
        iconPressed = iconHot = 0;
        hoverCell = -1;
        return 1;
    }
    CKXCtrlWnd::OnMouseMove(px, py, handled, ctx);
    hoverCell = -1;
    iconHot = 0;
    RectF cell;
    const int hit = HitTest(px, py, &cell);
    if (hit >= 0 && model) {
        model->AssertWindowThread();
        _KXCaptureFileInfo* info = model->GetFileInfo(hit);
        if (info && !info->saved) {
            hoverCell = hit;
            iconHot = IconSquare(cell).Contains(px, py) ? 1 : 0;
        }
    }
    return 0;
}

int CKXCtrlWndQUIVAThumbnail::OnMouseLeave(CKXCtrlCursor* ctx)
{
    scrollBar.OnMouseLeave(ctx);
    CKXCtrlWnd::OnMouseLeave(ctx);
    hoverCell = pressedCell = -1;
    iconHot = iconPressed = 0;
    return 0;
}

int CKXCtrlWndQUIVAThumbnail::OnMouseWheel(int, float delta, float, float, CKXCtrlCursor*)
{
    if (!visible)
        return 0;
    if (scrollBar.visible) {
        ApplyScroll(scrollOffset + delta / 5.0f);
        // Another cell is under the pointer now.
        hoverCell = -1;
        iconHot = 0;
    }
    return 1;
}

int CKXCtrlWndQUIVAThumbnail::OnKeyDown(UINT vk, UINT, UINT, CKXCtrlCursor*)
{
    if (!model || selectedCell < 0)
        return 1;
    const int count = model->GetFileCount();
    if (vk == VK_UP || vk == VK_DOWN) {
        selectedCell += vk == VK_UP ? -1 : 1;
        selectedCell = std::clamp(selectedCell, 0, std::max(0, count - 1));
        EnsureVisible(selectedCell);
    } else if (vk == VK_DELETE) {
        TogglePresent(selectedCell);
    }
    return 1;
}

void CKXCtrlWndQUIVAThumbnail::EnsureVisible(int index)
{
    // The cell's place in the list (0 at the list's top, unscrolled) and its height.
    float pos = 0.0f, h = 0.0f;
    bool laidOut = false;
    WalkCells(false, [&](int i, _KXCaptureFileInfo*, const RectF& cell) {
        if (i >= index) {
            laidOut = i == index;
            h = cell.Height;
            return false;
        }
        pos += cell.Height + kCellGap;
        return true;
    });
    if (!laidOut)
        return;
    if (pos + scrollOffset < 0.0f || pos + h + scrollOffset > height - top) {
        scrollBar.SetPosition(pos, 0.0f);
        scrollOffset = -scrollBar.GetPosition();
    }
}

void CKXCtrlWndQUIVAThumbnail::Saved()
{
    hoverCell = -1;
    iconHot = iconPressed = 0;
}

void CKXCtrlWndQUIVAThumbnail::OnCommand(int commandId, CKXCtrl*, CKXCtrlCursor*)
{
    if (!model)
        return;
    switch (commandId) {
    case KXTHUMB_CMD_COMMIT: {
        model->CommitAndTell(QUIVATellerOf(*model));
        break;
    }
    case KXTHUMB_CMD_TOGGLE:
        if (selectedCell >= 0)
            TogglePresent(selectedCell);
        break;
    case KXTHUMB_CMD_RESTORE_ALL:
        TellMarks(model->RestoreUnsaved());
        break;
    case KXTHUMB_CMD_DELETE_ALL: {
        // The button turns over only with the marks it made.
        const bool kept = !allDeleted ? model->DeleteUnsaved() : model->RestoreUnsaved();
        if (!kept)
            return TellMarks(kept);
        allDeleted = allDeleted ? 0 : 1;
        deleteAllButton.SetCaption(allDeleted ? kRestoreAll : kDeleteAll);
        break;
    }
    default:
        break;
    }
}
