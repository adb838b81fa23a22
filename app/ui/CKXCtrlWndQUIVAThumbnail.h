// The thumbnail strip of a capture model: its files top to bottom as scaled images with a
// caption, saved and deleted marks, a hover icon that deletes or restores an unsaved file, a
// delete-all button, scrolling, keys and an enlarged view on a double click. It changes only the
// present flags of the model's unsaved files. The model's view (CKXQUIVACaptureView) owns it.
#pragma once

#include <functional>

#include "app/model/Forward.h"
#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlScrollBar.h"
#include "platform/gdi/gdiplus.h"
#include "framework/CKXCtrlWnd.h"

// Command ids of the strip.
#define KXTHUMB_CMD_COMMIT 10
#define KXTHUMB_CMD_TOGGLE 11
#define KXTHUMB_CMD_RESTORE_ALL 12
#define KXTHUMB_CMD_DELETE_ALL 13

// Icons of the module: unsaved kept file (normal, hot), deleted file (normal, hot).
#define IDI_THUMB_KEEP 10017
#define IDI_THUMB_KEEP_HOT 10018
#define IDI_THUMB_DELETED 10019
#define IDI_THUMB_DELETED_HOT 10020

class CKXCtrlWndQUIVAThumbnail : public CKXCtrlWnd {
public:
    // The model's strip, its view's (a view without windows is made and attached to a model
    // that has none).
    static CKXCtrlWndQUIVAThumbnail* Of(CKXQUIVACaptureModel* model);

    CKXCtrlWndQUIVAThumbnail();
    // Destroys the icons.
    ~CKXCtrlWndQUIVAThumbnail() override;

    CKXQUIVACaptureModel* model = nullptr;  // the owner
    CKXCtrlButton deleteAllButton;
    CKXCtrlScrollBar scrollBar;  // drawn and fed by the strip itself
    float scrollOffset = 0.0f;   // 0 or negative
    float top = 0.0f;            // height of the band above the list
    int hoverCell = -1;
    int pressedCell = -1;
    int selectedCell = -1;
    BOOL iconHot = 0;
    BOOL iconPressed = 0;
    BOOL allDeleted = 0;
    HICON icons[4] = {nullptr, nullptr, nullptr, nullptr};
    int clickCount = 0;
    DWORD firstClickTick = 0;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    int OnMouseWheel(int flags, float delta, float x, float y, CKXCtrlCursor* ctx) override;
    void SetSize(float width, float height) override;
    int Create(int id, float x, float y, float width, float height) override;
    void SetRect(float x, float y, float width, float height) override;
    void OnCommand(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;
    int OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) override;

    void Relayout();
    void EnsureVisible(int index);

    // Geometry: the cell width W, a file's cell height H (0 without an image), the list area
    // and the cell of a file (empty when it is not shown).
    int CellWidth() const;
    static int CellHeight(const _KXCaptureFileInfo* info, int cellWidth);
    Gdiplus::RectF ListArea() const;
    // The file under a point of the list area, with its cell; -1 when none.
    int HitTest(float px, float py, Gdiplus::RectF* cell);
    // Calls `visit` with each laid-out cell, top to bottom at the current scroll: the file's
    // index, its record and its cell in the strip's coordinates; stops when `visit` returns
    // false and, with onScreenOnly, at the first cell that begins below the list. The drawing,
    // the hit test and the layout all walk the cells through here. Holds the model's lock.
    using CellVisitor = std::function<bool(int index, _KXCaptureFileInfo* info, const Gdiplus::RectF& cell)>;
    void WalkCells(bool onScreenOnly, const CellVisitor& visit);
    static Gdiplus::RectF IconSquare(const Gdiplus::RectF& cell);
    // The caption of a file's cell.
    CString Caption(int index);
    // Gives a still's record a picture of its own made from `picture`, the still at its own
    // size: a picture wider than a cell is kept at the cell's size (what the strip draws; the
    // enlarged view reads the file again), and its own size is noted for the layout.
    void KeepPicture(_KXCaptureFileInfo* info, Gdiplus::Image& picture);
    // The same from the still's file, read no larger than a cell needs (an empty picture when
    // the file cannot be read).
    void KeepFile(_KXCaptureFileInfo* info);
    // Notes a still of the store's open by its size from the file's header; its picture is read
    // (as KeepFile reads it) when its cell is first drawn or the enlarged view opens on it.
    void NoteFile(_KXCaptureFileInfo* info, UINT width, UINT height);
    // A save of the model's files has ended: the saved cells are no longer the person's to
    // mark, so none stays hovered.
    void Saved();

protected:
    // One paint's pens, brushes, font and device mapping, and a cell's parts drawn with them.
    struct CellPainter;
    void DrawCell(CellPainter& p, int index, _KXCaptureFileInfo* info, const Gdiplus::RectF& cell);
    void DrawPresence(CellPainter& p, const _KXCaptureFileInfo* info, const Gdiplus::RectF& cell);
    void DrawFilmBands(CellPainter& p, const Gdiplus::RectF& cell);
    void DrawCaption(CellPainter& p, int index, const Gdiplus::RectF& cell);
    void DrawSavedMark(CellPainter& p, const _KXCaptureFileInfo* info, const Gdiplus::RectF& cell);
    void DrawHoverIcon(CellPainter& p, const _KXCaptureFileInfo* info, const Gdiplus::RectF& cell);
    // Opens the enlarged view of a file centred on its cell and returns when it has closed.
    void ShowEnlargedView(int index, const Gdiplus::RectF& cell, CKXCtrlCursor* ctx);
    void TogglePresent(int index);
    // Tells the person that a change of the delete marks was not kept (false from the model).
    static void TellMarks(bool kept);
    // Takes the scroll offset back from the bar after it was set to -offset.
    void ApplyScroll(float offset);
    // What a file's cell shows, drawn at the device rectangle dc; a still kept smaller than that
    // cell needs is read from its file again.
    Gdiplus::Image* CellPicture(_KXCaptureFileInfo* info, const Gdiplus::RectF& dc);
    // The cell width a still's picture is kept for before the strip is laid out.
    int KeptCellWidth() const;
    // Reads the picture of a still noted by its size alone, as KeepFile does. True when the file
    // no longer holds a still of that size: the record is then as if read whole at the open (an
    // empty picture for a file that cannot be read) and its cell has changed.
    bool ReadNotedPicture(_KXCaptureFileInfo* info);
    // Whether a laid-out cell shows in the list (not above it, and of some height).
    bool Shown(const Gdiplus::RectF& cell) const;
    // The record's picture, at most cellWidth wide, made from `picture` of the still whose own
    // size is ownWidth x ownHeight.
    static void Keep(_KXCaptureFileInfo* info, Gdiplus::Image& picture, UINT ownWidth, UINT ownHeight, int cellWidth);
    // Keep from the record's file, read at least cellWidth wide; false (the record as it was)
    // when the record knows its still's own size and the file no longer has it.
    static bool KeepFromFile(_KXCaptureFileInfo* info, int cellWidth);
};
