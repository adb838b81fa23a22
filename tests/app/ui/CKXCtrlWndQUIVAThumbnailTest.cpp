#include <gtest/gtest.h>

#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "platform/base/clock.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/ui/uisystem.h"
#include "tests/app/CaptureStoreTestSupport.h"
#include "tests/support/framework/ControlTestSupport.h"

namespace fs = std::filesystem;
using quiva::test::ControlHost;

namespace {

// The largest and the mean difference of any colour channel between the strip as shown and a
// picture of the cell's size, inside the frame, below the caption and left of the icon.
struct CellDifference {
    int worst = 0;
    double mean = 0;
};
CellDifference DifferenceInCell(const quiva::DecodedImage& shown, const Gdiplus::RectF& cell, Gdiplus::Bitmap& expected)
{
    CellDifference d;
    int64_t sum = 0, n = 0;
    for (int y = 25; y < 70; ++y) {
        for (int x = 5; x < 150; ++x) {
            Gdiplus::Color want;
            expected.GetPixel(x, y, &want);
            const uint32_t got = shown.pixels[static_cast<size_t>(cell.Y + y) * shown.width + static_cast<size_t>(cell.X + x)];
            for (int shift : {0, 8, 16}) {
                const int e = std::abs(static_cast<int>((got >> shift) & 0xFF) - static_cast<int>((want.GetValue() >> shift) & 0xFF));
                d.worst = std::max(d.worst, e);
                sum += e, ++n;
            }
        }
    }
    d.mean = static_cast<double>(sum) / static_cast<double>(n);
    return d;
}

// The whole still reduced to w x h by the high-quality filter in one pass.
std::unique_ptr<Gdiplus::Bitmap> ReducedInOnePass(Gdiplus::Image& whole, int w, int h)
{
    auto out = std::make_unique<Gdiplus::Bitmap>(w, h, Gdiplus::PixelFormat32bppPARGB);
    Gdiplus::Graphics g(out.get());
    g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBilinear);
    g.DrawImage(&whole, Gdiplus::RectF(0, 0, static_cast<Gdiplus::REAL>(w), static_cast<Gdiplus::REAL>(h)));
    return out;
}

uint32_t HdPattern(int x, int y)
{
    return static_cast<uint32_t>((x * 255 / 1919) << 16 | (y * 255 / 1079) << 8 | ((x / 7 + y / 5) % 2 ? 0xE0 : 0x20));
}

class ThumbnailStrip : public CaptureStore {
protected:
    void SetUp() override
    {
        CaptureStore::SetUp();
        model = manager.GetOrCreateModel(L"12345", L"");
        CKXCtrlWndQUIVAThumbnail::Of(model)->Create(0, 0, 0, 230, 600);
    }
    using Kind = CKXQUIVACaptureModel::FileKind;
    // A record of the model's study, kept and unsaved.
    std::unique_ptr<_KXCaptureFileInfo> Record(const std::string& name, Kind kind = Kind::Still,
                                               const wchar_t* study = L"Endo", const wchar_t* date = L"20240105")
    {
        return CKXQUIVACaptureModel::MakeRecord(Win(name), study, date, kind);
    }
    // A 320 x 240 still listed under the model (W = 200, H = 150), kept, marked deleted or saved.
    enum class Mark { Kept, Deleted, Saved };
    void AddStill(const std::string& name, Mark mark = Mark::Kept)
    {
        WriteAll(Native(name), quiva::test::MakeBmp(320, 240, 24, {}, [](int x, int y) {
                     return static_cast<uint32_t>(((x / 40) % 2 ? 0xC04020 : 0x2060C0) + (y / 3));
                 }));
        auto still = Record(name);
        still->saved = mark == Mark::Saved ? 1 : 0;
        still->present = mark == Mark::Kept ? 1 : 0;
        model->AddFileInfo(std::move(still));
    }
    static void WriteAll(const std::string& p, const std::string& b) { quiva::test::WriteAll(p, b); }
    // The strip's window as it shows, and the cell of the first file in it.
    bool ShownWithFirstCell(ControlHost& host, const std::string& name, Gdiplus::RectF& cell, quiva::DecodedImage& shown)
    {
        int py = 0;
        while (py < 600 && strip().HitTest(100, static_cast<float>(py), &cell) != 0)
            ++py;
        const std::string png = std::string(QUIVA_BINARY_DIR) + "/" + name + ".png";
        const bool ok = py < 600 && quiva::ui::WriteWindowPng(host.wnd->m_hWnd, png) &&
                        quiva::DecodeImage(quiva::test::ReadAll(png), shown);
        fs::remove(png);
        return ok;
    }
    // Lists the 1920 x 1080 still `name`, which keeps no more than its cell's picture (200 x 112)
    // and notes its own size for the layout.
    _KXCaptureFileInfo* ListBigStill(const std::string& name)
    {
        model->AddFileInfo(Record(name));
        _KXCaptureFileInfo* info = model->GetFileInfo(0);
        if (info) {
            EXPECT_EQ(info->image->GetWidth(), 200u);
            EXPECT_EQ(info->image->GetHeight(), 112u);
            EXPECT_EQ(info->width, 1920u);
            EXPECT_EQ(info->height, 1080u);
        }
        return info;
    }
    // The first cell as shown against the whole still of `name` reduced to it (200 x 112).
    bool ShownAgainstWhole(ControlHost& host, const std::string& name, CellDifference& d)
    {
        Gdiplus::RectF cell;
        quiva::DecodedImage shown;
        std::unique_ptr<Gdiplus::Image> whole(Gdiplus::Image::FromFile(Win(name)));
        if (!ShownWithFirstCell(host, "strip-" + name, cell, shown) || !whole || whole->GetWidth() == 0)
            return false;
        d = DifferenceInCell(shown, cell, *ReducedInOnePass(*whole, 200, 112));
        return true;
    }
    CKXQUIVACaptureModel* model = nullptr;
    CKXCtrlWndQUIVAThumbnail& strip() { return *CKXCtrlWndQUIVAThumbnail::Of(model); }
};

// What the enlarged view looked like while it was open; closes it with a press outside.
struct OpenedView {
    bool seen = false;
    RECT rect{};
    bool pictured = false;
};
OpenedView g_opened;

void CALLBACK WatchForTheView(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND popup = GetCapture();
    if (!popup)
        return;
    KillTimer(nullptr, id);
    g_opened.seen = true;
    GetWindowRect(popup, &g_opened.rect);
    const std::string dir = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    fs::create_directories(dir);
    g_opened.pictured = quiva::ui::WriteWindowPng(popup, dir + "/thumbnail-enlarged-view.png");
    quiva::ui::InjectClick(1900, 1060);
}

}  // namespace

// A study name holding control characters is shown with blanks in their place.
TEST_F(ThumbnailStrip, ControlCharactersOfAStudyNameAreShownAsBlanks)
{
    WriteAll(Native("c.bmp"), "unreadable");
    model->AddFileInfo(Record("c.bmp", Kind::Still, L"Upper\r\nGI\t\x01"));
    EXPECT_EQ(strip().Caption(0), L"Upper  GI   2024-01-05");
}

TEST_F(ThumbnailStrip, CellsCaptionsAndTheirScroll)
{
    AddStill("a.bmp");
    EXPECT_EQ(strip().Caption(0), L"Endo 2024-01-05");
    WriteAll(Native("empty.bmp"), "unreadable");
    model->AddFileInfo(Record("empty.bmp"));
    AddStill("b.bmp");
    EXPECT_EQ(strip().Caption(0), L"[1/3] Endo 2024-01-05");
    EXPECT_EQ(strip().Caption(2), L"[3/3] Endo 2024-01-05");
    Gdiplus::RectF cell;
    // The empty image takes no room: the third file's cell follows the first.
    EXPECT_EQ(strip().HitTest(50, 40 + 15 + 10, &cell), 0);
    EXPECT_EQ(cell.Height, 150.0f);
    EXPECT_EQ(strip().HitTest(50, 40 + 15 + 158 + 10, &cell), 2);
    EXPECT_EQ(strip().HitTest(50, 40 + 15 + 150 + 2, &cell), -1);  // the gap
    EXPECT_FALSE(strip().scrollBar.visible);                       // 20 + 2 x 158 fits in 560
    for (int i = 0; i < 4; ++i)
        AddStill("c" + std::to_string(i) + ".bmp");
    EXPECT_TRUE(strip().scrollBar.visible);
    // The newest cell is brought to the top of the list; the offset stays within the bar.
    strip().EnsureVisible(6);
    EXPECT_LT(strip().scrollOffset, 0.0f);
    const float newestTop = 40 + 15 + strip().scrollOffset + 5 * 158;  // the empty image takes no room
    EXPECT_LE(newestTop + 150, 600.0f) << strip().scrollOffset << " range " << strip().scrollBar.maximum << " track "
                                       << strip().scrollBar.trackLength << " page " << strip().scrollBar.page;
    Gdiplus::RectF newest;
    EXPECT_EQ(strip().HitTest(50, newestTop + 10, &newest), 6);
    const float bottom = strip().scrollOffset;
    strip().OnMouseWheel(0, -100000.0f, 50, 100, nullptr);
    EXPECT_LE(strip().scrollOffset, 0.0f);
    EXPECT_LE(strip().scrollOffset, bottom);
    strip().OnMouseWheel(0, 100000.0f, 50, 100, nullptr);
    EXPECT_EQ(strip().scrollOffset, 0.0f);
    // A visible cell does not scroll.
    strip().EnsureVisible(0);
    EXPECT_EQ(strip().scrollOffset, 0.0f);
}

// Opening a store lists its stills by the sizes their headers give and decodes no picture; the
// strip's first drawing reads the pictures of the cells it shows and no others. (Reading every
// still's picture made the open of a store of 1,000 HD stills take seconds.)
TEST_F(ThumbnailStrip, OpeningAStoreReadsOnlyThePicturesItsStripShows)
{
    const std::string folder = Store("12345/Endo/20240105");
    fs::create_directories(folder);
    for (int i = 0; i < 10; ++i)  // 320 x 240: cells of 200 x 150
        WriteAll(folder + "/" + std::to_string(100000 + i) + ".bmp", quiva::test::MakeBmp(320, 240, 24, {}, HdPattern));
    WriteAll(folder + "/info.xml", "<?xml version=\"1.0\"?><QUIVA><patient chartNo=\"12345\">A</patient></QUIVA>");
    ControlHost host(strip(), 230, 600);
    const uint64_t beforeOpen = quiva::ImageDecodeCount();
    manager.LoadAll();
    ASSERT_EQ(model->GetFileCount(), 10);
    EXPECT_EQ(quiva::ImageDecodeCount(), beforeOpen);
    EXPECT_EQ(CKXCtrlWndQUIVAThumbnail::CellHeight(model->GetFileInfo(9), 200), 150);

    // Cells of 150 and gaps of 8 from 55 down: four begin above the strip's bottom at 600.
    host.wnd->Redraw();
    EXPECT_EQ(quiva::ImageDecodeCount() - beforeOpen, 4u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(model->GetFileInfo(i)->image != nullptr, i < 4) << i;
    host.wnd->Redraw();
    EXPECT_EQ(quiva::ImageDecodeCount() - beforeOpen, 4u);
}

TEST_F(ThumbnailStrip, IconTogglesKeysAndDeleteAll)
{
    AddStill("a.bmp");
    AddStill("b.bmp", Mark::Saved);
    ControlHost host(strip(), 230, 600);
    // The icon square of cell 0: (10 + 200 - 40, 55 + 150 - 40).
    BOOL handled = 0;
    strip().OnMouseMove(180, 175, &handled, &host.wnd->context);
    EXPECT_EQ(strip().hoverCell, 0);
    EXPECT_TRUE(strip().iconHot);
    strip().clickCount = 0;
    strip().OnLButtonDown(180, 175, &handled, &host.wnd->context);
    strip().OnLButtonUp(180, 175, &handled, &host.wnd->context);
    EXPECT_EQ(model->GetFileInfo(0)->present, 0);
    EXPECT_EQ(strip().selectedCell, 0);
    // A press on the icon released elsewhere does not toggle.
    strip().clickCount = 0;
    strip().OnLButtonDown(180, 175, &handled, &host.wnd->context);
    strip().OnLButtonUp(60, 100, &handled, &host.wnd->context);
    EXPECT_EQ(model->GetFileInfo(0)->present, 0);
    // A saved file gets no hover and no toggle.
    strip().OnMouseMove(180, 175 + 158, &handled, &host.wnd->context);
    EXPECT_EQ(strip().hoverCell, -1);
    strip().selectedCell = 1;
    strip().OnKeyDown(VK_DELETE, 1, 0, nullptr);
    EXPECT_EQ(model->GetFileInfo(1)->present, 0);
    // Keys stay within the list.
    strip().OnKeyDown(VK_DOWN, 1, 0, nullptr);
    EXPECT_EQ(strip().selectedCell, 1);
    strip().OnKeyDown(VK_UP, 1, 0, nullptr);
    strip().OnKeyDown(VK_UP, 1, 0, nullptr);
    EXPECT_EQ(strip().selectedCell, 0);
    strip().OnKeyDown(VK_DELETE, 1, 0, nullptr);
    EXPECT_EQ(model->GetFileInfo(0)->present, 1);
    strip().selectedCell = -1;
    strip().OnKeyDown(VK_DOWN, 1, 0, nullptr);
    EXPECT_EQ(strip().selectedCell, -1);
    // Delete-all after a single toggle still deletes every unsaved file; the next press restores.
    strip().OnCommand(KXTHUMB_CMD_DELETE_ALL, &strip().deleteAllButton, nullptr);
    EXPECT_EQ(model->GetFileInfo(0)->present, 0);
    EXPECT_EQ(strip().deleteAllButton.caption, L"전체복원");
    strip().OnCommand(KXTHUMB_CMD_DELETE_ALL, &strip().deleteAllButton, nullptr);
    EXPECT_EQ(model->GetFileInfo(0)->present, 1);
    EXPECT_EQ(model->GetFileInfo(1)->present, 0);
    EXPECT_EQ(strip().deleteAllButton.caption, L"전체삭제");
}

TEST_F(ThumbnailStrip, PictureWithAStillARecordingAndTheHoverIcon)
{
    AddStill("a.bmp");
    quiva::test::TestEngine& e = Engine();
    e.SetRecordFile(Win("rec.avi"), 13, 0);
    ASSERT_EQ(e.StartRecording(), 1);
    e.WriteRecordFrame();
    e.EndRecording();
    model->AddFileInfo(Record("rec.avi", Kind::Video));
    AddStill("c.bmp", Mark::Saved);
    AddStill("d.bmp", Mark::Deleted);
    ASSERT_EQ(model->GetFileCount(), 4);
    ControlHost host(strip(), 230, 600);
    BOOL handled = 0;
    strip().OnMouseMove(180, 175, &handled, &host.wnd->context);
    strip().selectedCell = 1;
    host.wnd->Redraw();
    const std::string dir = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    fs::create_directories(dir);
    ASSERT_TRUE(quiva::ui::WriteWindowPng(host.wnd->m_hWnd, dir + "/thumbnail-strip.png"));
    EXPECT_GT(fs::file_size(dir + "/thumbnail-strip.png"), 1000u);
}

TEST_F(ThumbnailStrip, ADoubleClickOpensTheEnlargedViewOverTheCell)
{
    AddStill("a.bmp");
    ControlHost host(strip(), 230, 600);
    const POINT p = host.Screen(60, 100);
    // Two clicks further apart than the double-click time only select the cell.
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectClick(p.x, p.y);
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectClick(p.x, p.y);
    quiva::ui::InjectPause(1000);
    g_opened = {};
    UINT_PTR timer = SetTimer(nullptr, 0, 10, WatchForTheView);
    host.Pump();
    EXPECT_EQ(strip().selectedCell, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    // A double click opens the view, three times the cell's size, over the cell and kept on the
    // screen; it runs until a press outside it.
    quiva::ui::InjectClick(p.x, p.y);
    quiva::ui::InjectClick(p.x, p.y);
    for (int i = 0; i < 100 && !g_opened.seen; ++i) {
        host.Pump();
        Sleep(5);
    }
    KillTimer(nullptr, timer);
    ASSERT_TRUE(g_opened.seen);
    EXPECT_TRUE(g_opened.pictured);
    EXPECT_EQ(g_opened.rect.right - g_opened.rect.left, 3 * 200 + 1);
    EXPECT_EQ(g_opened.rect.bottom - g_opened.rect.top, 3 * 150 + 1);
    // The cell's top left (host 10, 55) less one cell, on the screen: the left edge is held at
    // the screen's.
    const POINT cell = host.Screen(10, 55);
    EXPECT_EQ(g_opened.rect.left, std::max(0L, cell.x - 200L));
    EXPECT_EQ(g_opened.rect.top, cell.y - 150);
    EXPECT_EQ(GetCapture(), nullptr) << "closed by the press outside";
}


// A listed 1920 x 1080 still keeps no more than the picture its cell draws, laid out and drawn as
// from the whole still; a strip widened past that reads the file again.
TEST_F(ThumbnailStrip, ABigStillKeepsNoMoreThanItsCellAndLooksAsItsFile)
{
    WriteAll(Native("hd.bmp"), quiva::test::MakeBmp(1920, 1080, 24, {}, HdPattern));
    _KXCaptureFileInfo* info = ListBigStill("hd.bmp");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(CKXCtrlWndQUIVAThumbnail::CellHeight(info, 200), 112);

    ControlHost host(strip(), 230, 600);
    host.wnd->Redraw();
    EXPECT_FALSE(info->cellPicture) << "the kept picture is the cell's";
    CellDifference d;
    ASSERT_TRUE(ShownAgainstWhole(host, "hd.bmp", d));
    EXPECT_LE(d.worst, 3);
    EXPECT_LE(d.mean, 1.0);

    // Cells 400 wide want more than 200 columns: the still is read again for them.
    strip().SetSize(430, 600);
    host.wnd->Redraw();
    EXPECT_EQ(info->image->GetWidth(), 400u);
    EXPECT_EQ(info->image->GetHeight(), 225u);
}

// A listed 1920 x 1080 JPEG is read reduced for its cell and looks as its whole picture reduced.
TEST_F(ThumbnailStrip, ABigJpegStillIsReadReducedAndLooksAsItsFile)
{
    std::vector<uint32_t> pixels(1920 * 1080);
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920; ++x)
            pixels[static_cast<size_t>(y) * 1920 + x] = 0xFF000000u | HdPattern(x, y);
    std::string jpeg;
    ASSERT_TRUE(quiva::EncodeJpeg(pixels.data(), 1920, 1080, 95, jpeg));
    WriteAll(Native("hd.jpg"), jpeg);
    ASSERT_NE(ListBigStill("hd.jpg"), nullptr);

    ControlHost host(strip(), 230, 600);
    host.wnd->Redraw();
    CellDifference d;
    // Decoded reduced, the sharp pattern's edges differ a little more than from the whole still.
    ASSERT_TRUE(ShownAgainstWhole(host, "hd.jpg", d));
    EXPECT_LE(d.worst, 12);
    EXPECT_LE(d.mean, 1.5);
}

TEST_F(ThumbnailStrip, ALargeStillIsScaledToItsCellOnceAndShowsItsOwnPicture)
{
    // 1280 x 960: red on the left half, blue on the right; its cell is 200 x 150.
    WriteAll(Native("big.bmp"), quiva::test::MakeBmp(1280, 960, 24, {}, [](int x, int) {
                 return static_cast<uint32_t>(x < 640 ? 0xC00000 : 0x0000C0);
             }));
    model->AddFileInfo(Record("big.bmp"));
    ControlHost host(strip(), 230, 600);
    host.wnd->Redraw();
    _KXCaptureFileInfo* info = model->GetFileInfo(0);
    EXPECT_EQ(info->image->GetWidth(), 200u);
    EXPECT_EQ(info->image->GetHeight(), 150u);
    const Gdiplus::Image* first = info->image.get();
    host.wnd->Redraw();
    EXPECT_EQ(info->image.get(), first);
    EXPECT_FALSE(info->cellPicture);

    Gdiplus::RectF cell;
    quiva::DecodedImage shown;
    ASSERT_TRUE(ShownWithFirstCell(host, "strip-large-still", cell, shown));
    auto at = [&](float fx) {
        const int x = static_cast<int>(cell.X + cell.Width * fx), y = static_cast<int>(cell.Y + cell.Height / 2);
        return shown.pixels[static_cast<size_t>(y) * shown.width + x] & 0xFFFFFFu;
    };
    EXPECT_EQ(at(0.25f), 0xC00000u);
    EXPECT_EQ(at(0.75f), 0x0000C0u);

    // A wider strip gives a wider cell, and the picture is made again at that width.
    strip().SetSize(330, 600);
    host.wnd->Redraw();
    EXPECT_EQ(info->image->GetWidth(), 300u);
    EXPECT_EQ(info->image->GetHeight(), 225u);
}

TEST_F(ThumbnailStrip, ACaptionBarWidensForItsDateWhileTheCellHasRoom)
{
    for (const char* name : {"a.bmp", "b.bmp"}) {
        WriteAll(Native(name), quiva::test::MakeBmp(320, 240, 24, {}, [](int, int) { return 0xC00000u; }));
        model->AddFileInfo(Record(name, Kind::Still, L"대장내시경", L"20261209"));
    }
    ASSERT_EQ(strip().Caption(0), L"[1/2] 대장내시경 2026-12-09");
    ControlHost host(strip(), 230, 600);
    host.wnd->Redraw();
    Gdiplus::RectF cell;
    quiva::DecodedImage shown;
    ASSERT_TRUE(ShownWithFirstCell(host, "strip-caption-date", cell, shown));
    auto red = [&](int dx, int dy) {
        const int x = static_cast<int>(cell.X) + dx, y = static_cast<int>(cell.Y) + dy;
        return (shown.pixels[static_cast<size_t>(y) * shown.width + x] >> 16) & 0xFF;
    };
    EXPECT_LT(red(60, 2), 0x80u);   // shaded under the caption
    EXPECT_LT(red(138, 2), 0x80u);  // past the bar's usual 130: the date needs it
    EXPECT_EQ(red(196, 2), 0xC0u);  // the rest of the row is the picture
    EXPECT_EQ(red(138, 40), 0xC0u);
}

// Scrolled to its newest cell, the strip is made taller (the window maximised): the list
// starts at its first cell again instead of keeping the old offset over an empty area. A
// wheel that moves the cells leaves no cell hovered under the pointer.
TEST_F(ThumbnailStrip, ATallerStripScrollsWithinItsNewHeightAndTheWheelDropsTheHover)
{
    for (int i = 0; i < 6; ++i)
        AddStill("c" + std::to_string(i) + ".bmp");
    ASSERT_TRUE(strip().scrollBar.visible);
    strip().EnsureVisible(5);
    ASSERT_LT(strip().scrollOffset, 0.0f);
    float over = 60.0f;  // a point over a cell
    while (over < 560.0f && strip().HitTest(50, over, nullptr) < 0)
        over += 10.0f;
    strip().OnMouseMove(50, over, nullptr, nullptr);
    ASSERT_GE(strip().hoverCell, 0);
    strip().OnMouseWheel(0, 120.0f, 50, over, nullptr);
    EXPECT_EQ(strip().hoverCell, -1);
    // 20 + 6 x 158 fits in 1,200.
    strip().SetSize(strip().width, 1200.0f);
    EXPECT_FALSE(strip().scrollBar.visible);
    EXPECT_EQ(strip().scrollOffset, 0.0f);
    Gdiplus::RectF cell;
    EXPECT_EQ(strip().HitTest(50, 40 + 15 + 10, &cell), 0);
    // Taller, but not tall enough for all: the offset stays within what the list can scroll.
    strip().SetSize(strip().width, 600.0f);
    strip().EnsureVisible(5);
    strip().SetSize(strip().width, 800.0f);
    ASSERT_TRUE(strip().scrollBar.visible);
    const float lastBottom = 40 + 15 + strip().scrollOffset + 6 * 158 - 8;
    EXPECT_GE(lastBottom, 800.0f - 40.0f) << strip().scrollOffset;
}
