#include "capture/CKXMXVideoModel.h"

#include <memory>
#include <string>

#include "capture/CKXMCapture.h"
#include "capture/CKXMXVideoControl.h"
#include "platform/base/clock.h"
#include "platform/media/storage.h"
#include "platform/ui/winuser.h"

using quiva::ComPtr;

SIZE FitThumbnail(int width, int height, float boxWidth, float boxHeight)
{
    SIZE size { width, height };
    if (width > height) {
        if (!(boxWidth > width)) {
            size.cx = static_cast<LONG>(boxWidth);
            size.cy = static_cast<LONG>(static_cast<float>(height) * boxWidth / width);
        }
    } else if (!(boxHeight > height)) {
        size.cy = static_cast<LONG>(boxHeight);
        size.cx = static_cast<LONG>(static_cast<float>(width) * boxHeight / height);
    }
    return size;
}

Gdiplus::Image* CKXMXVideoModel::GetThumbnail(LPCWSTR path, float boxWidth, float boxHeight)
{
    HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, L"QUIVACaptureWnd", L"", WS_POPUP, 0, 0, 640, 480, nullptr,
                                nullptr, nullptr, nullptr);
    std::string bmp;
    {
        CKXMXVideoControl control;
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                         reinterpret_cast<void**>(&control.m_pGraph));
        control.m_hWnd = hwnd;
        control.m_nRendererKind = KXM_RENDERER_VMR9;
        if (hwnd && control.m_pGraph && control.Open(path)) {
            control.Play();
            // The renderer needs a moment for its first picture; a loaded machine may need more
            // than the usual tenth of a second, so it is asked again for up to two seconds.
            Sleep(100);
            ComPtr<IStream> stream;
            const DWORD start = GetTickCount();
            for (;;) {
                if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put())) || !stream)
                    break;
                if (control.GrabCurrentImage(stream.Get())) {
                    LARGE_INTEGER begin {};
                    stream->Seek(begin, STREAM_SEEK_SET, nullptr);
                    quiva::ReadWholeStream(stream.Get(), &bmp);
                    break;
                }
                if (GetTickCount() - start >= 2000)
                    break;
                Sleep(20);
            }
            control.Stop();
        }
    }
    if (hwnd)
        DestroyWindow(hwnd);
    if (bmp.empty())
        return nullptr;

    std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromMemory(bmp.data(), bmp.size()));
    if (!image || !image->Pixels())
        return nullptr;
    const int width = static_cast<int>(image->GetWidth());
    const int height = static_cast<int>(image->GetHeight());
    if (width <= 0 || height <= 0)
        return nullptr;
    const SIZE size = FitThumbnail(width, height, boxWidth, boxHeight);
    // An empty box (a recording without a frame size) has no thumbnail.
    if (size.cx <= 0 || size.cy <= 0)
        return nullptr;
    return image->GetThumbnailImage(static_cast<UINT>(size.cx), static_cast<UINT>(size.cy));
}
