// The thumbnail strip as a person uses it through the stand-in host with the real module.
#include <memory>
#include <string>

#include "platform/base/codepage.h"
#include "platform/gdi/gdiplus.h"
#include "tests/support/HostProgramSupport.h"

using namespace quiva::test;

namespace {

using StripInTheHost = ClinicHost;

// How many pixels of the right-hand `width` columns differ between two pictures of the window.
int DifferingOnTheRight(const std::string& a, const std::string& b, int width)
{
    std::unique_ptr<Gdiplus::Bitmap> x(Gdiplus::Bitmap::FromFile(quiva::Utf8ToWide(a).c_str()));
    std::unique_ptr<Gdiplus::Bitmap> y(Gdiplus::Bitmap::FromFile(quiva::Utf8ToWide(b).c_str()));
    if (!x || !y || x->GetWidth() == 0 || x->GetWidth() != y->GetWidth() || x->GetHeight() != y->GetHeight())
        return -1;
    const int w = static_cast<int>(x->GetWidth()), h = static_cast<int>(x->GetHeight());
    int differ = 0;
    for (int r = 0; r < h; r += 2)
        for (int c = w - width; c < w; c += 2) {
            Gdiplus::Color p, q;
            x->GetPixel(c, r, &p);
            y->GetPixel(c, r, &q);
            differ += p.GetValue() != q.GetValue();
        }
    return differ;
}

}  // namespace

// Eight stills fill more than the strip shows; the wheel over the strip scrolls it though
// nothing in it was clicked (the focus is elsewhere in the window).
TEST_F(StripInTheHost, TheWheelScrollsTheStripBeforeItIsClicked)
{
    const std::string before = m_dir.Native("before.png"), after = m_dir.Native("after.png");
    const std::string stored = "wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 8 60000\n";
    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space space space space space space space space\n" +
                      stored + "picture " + before + "\nwheel 700 300 360\n" + stored + "picture " + after + "\nclose\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_GT(DifferingOnTheRight(before, after, 190), 1000) << before << " " << after;
}
