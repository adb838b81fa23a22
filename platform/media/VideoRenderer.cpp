#include "platform/media/VideoRenderer.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/media/FilterBase.h"
#include "platform/media/MediaFaults.h"
#include "platform/media/VideoWindow.h"
#include "platform/ui/uisystem.h"

namespace quiva::media {

namespace {

// The window system's windows: the picture goes into the surface of the top-level window
// that holds the video window and is shown from here, so that the preview goes on while the
// window's thread is busy (a save waiting on the PACS). Each frame is shown once: the window is
// not invalidated for it, as its thread would only show the same pixels again (a video window
// draws nothing over the picture); it repaints only what was really exposed.
VideoWindowHooks WindowSystemHooks()
{
    VideoWindowHooks h;
    h.clientRect = [](HWND w, RECT* r) { return IsWindow(w) && GetClientRect(w, r); };
    h.paint = [](HWND w, const std::function<void(Surface&, POINT, RECT)>& draw) {
        return quiva::ui::PaintWindowSurface(w, draw);
    };
    h.changed = [](HWND w) { quiva::ui::PresentWindowSurface(w); };
    return h;
}

std::mutex g_hooksLock;
VideoWindowHooks g_hooks = WindowSystemHooks();

}  // namespace

void SetVideoWindowHooks(VideoWindowHooks hooks)
{
    std::lock_guard lock(g_hooksLock);
    g_hooks = std::move(hooks);
}

void UseWindowSystemForVideo() { SetVideoWindowHooks(WindowSystemHooks()); }

VideoWindowHooks GetVideoWindowHooks()
{
    std::lock_guard lock(g_hooksLock);
    return g_hooks;
}

namespace {

class VideoRenderer final : public Filter,
                            public IVMRFilterConfig9,
                            public IVMRFilterConfig,
                            public IVMRWindowlessControl9,
                            public IVMRWindowlessControl,
                            public IMFGetService,
                            public IMFVideoDisplayControl {
public:
    explicit VideoRenderer(RendererKind kind)
        : Filter(kind == RendererKind::Vmr9  ? CLSID_VideoMixingRenderer9
                 : kind == RendererKind::Vmr7 ? CLSID_VideoMixingRenderer
                                              : CLSID_EnhancedVideoRenderer),
          m_kind(kind)
    {
        m_in = AddPin(kind == RendererKind::Evr ? L"EVR Input0" : L"VMR Input0", PINDIR_INPUT);
        m_aspect = kind == RendererKind::Evr ? MFVideoARMode_PreservePicture : 0;
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return Filter::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }

    HRESULT QueryExtra(REFIID riid, void** ppv) override
    {
        void* p = nullptr;
        if (m_kind == RendererKind::Evr) {
            if (riid == IID_IMFGetService)
                p = static_cast<IMFGetService*>(this);
        } else if (m_kind == RendererKind::Vmr9) {
            if (riid == IID_IVMRFilterConfig9)
                p = static_cast<IVMRFilterConfig9*>(this);
            else if (riid == IID_IVMRWindowlessControl9 && WindowlessAvailable())
                p = static_cast<IVMRWindowlessControl9*>(this);
        } else {
            if (riid == IID_IVMRFilterConfig)
                p = static_cast<IVMRFilterConfig*>(this);
            else if (riid == IID_IVMRWindowlessControl && WindowlessAvailable())
                p = static_cast<IVMRWindowlessControl*>(this);
        }
        if (!p)
            return E_NOINTERFACE;
        AddRef();
        *ppv = p;
        return S_OK;
    }

    bool IsRenderer() const override { return true; }
    bool HasFrame() const override
    {
        std::lock_guard lock(m_lock);
        return m_hasFrame;
    }

    HRESULT CheckInputType(Pin*, const MediaType& mt, Pin*) override
    {
        if (!mt.IsVideo() || mt.Width() <= 0 || mt.Height() <= 0)
            return VFW_E_TYPE_NOT_ACCEPTED;
        const GUID& s = mt.subtype;
        return (s == MEDIASUBTYPE_RGB32 || s == MEDIASUBTYPE_RGB24 || s == MEDIASUBTYPE_YUY2 || s == MEDIASUBTYPE_UYVY)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }

    void Receive(Pin*, const Frame& frame) override
    {
        if (State() == State_Stopped)
            return;
        // 32-bit frames are kept as they came (they are never changed once sent).
        std::shared_ptr<const std::vector<uint8_t>> pixels;
        if (frame.subtype == MEDIASUBTYPE_RGB32 && frame.Size() >= static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height) * 4) {
            pixels = frame.data;
        } else {
            auto converted = std::make_shared<std::vector<uint8_t>>();
            if (!ConvertToRgb32(frame, converted.get()))
                return;
            pixels = std::move(converted);
        }
        {
            std::lock_guard lock(m_lock);
            m_pixels = std::move(pixels);
            m_width = frame.width;
            m_height = frame.height;
            m_hasFrame = true;
        }
        Paint();
    }

    // --- filter configuration (both mixing renderers) ---
    HRESULT SetRenderingMode(DWORD mode) override
    {
        if (mode != VMRMode_Windowed && mode != VMRMode_Windowless)
            return E_INVALIDARG;
        if (CurrentFaults().rendererModeRefused)
            return E_FAIL;
        if (m_in->IsConnected())
            return VFW_E_WRONG_STATE;
        std::lock_guard lock(m_lock);
        m_mode = mode;
        return S_OK;
    }
    HRESULT GetRenderingMode(DWORD* mode) override
    {
        if (!mode)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        *mode = m_mode;
        return S_OK;
    }

    // --- windowless control (both mixing renderers) ---
    HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight) override
    {
        std::lock_guard lock(m_lock);
        if (width)
            *width = m_width;
        if (height)
            *height = m_height;
        if (arWidth)
            *arWidth = m_width;
        if (arHeight)
            *arHeight = m_height;
        return S_OK;
    }
    HRESULT SetVideoPosition(const RECT* source, const RECT* dest) override
    {
        if (!source && !dest)
            return E_POINTER;
        {
            std::lock_guard lock(m_lock);
            if (dest) {
                if (dest->right < dest->left || dest->bottom < dest->top)
                    return E_INVALIDARG;
                m_dest = *dest;
                m_destSet = true;
            }
        }
        return S_OK;
    }
    HRESULT GetVideoPosition(RECT* source, RECT* dest) override
    {
        std::lock_guard lock(m_lock);
        if (source)
            *source = {0, 0, m_width, m_height};
        if (dest)
            *dest = m_dest;
        return S_OK;
    }
    HRESULT GetAspectRatioMode(DWORD* mode) override
    {
        if (!mode)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        *mode = m_aspect;
        return S_OK;
    }
    HRESULT SetAspectRatioMode(DWORD mode) override
    {
        if (m_kind == RendererKind::Evr ? (mode & ~7u) != 0 : mode > 1)
            return E_INVALIDARG;
        std::lock_guard lock(m_lock);
        m_aspect = mode;
        return S_OK;
    }
    HRESULT SetVideoClippingWindow(HWND hwnd) override
    {
        {
            std::lock_guard lock(m_lock);
            m_window = hwnd;
        }
        return S_OK;
    }
    HRESULT RepaintVideo(HWND, HDC) override
    {
        Paint();
        return S_OK;
    }
    HRESULT DisplayModeChanged() override { return S_OK; }
    HRESULT GetCurrentImage(BYTE** dib) override
    {
        if (!dib)
            return E_POINTER;
        *dib = nullptr;
        BITMAPINFOHEADER h;
        std::shared_ptr<const std::vector<uint8_t>> pixels;
        if (!LatestFrame(&h, &pixels))
            return E_FAIL;
        // Frames are never changed once sent: the copy is made without holding up the stream.
        auto* block = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(h) + h.biSizeImage));
        if (!block)
            return E_OUTOFMEMORY;
        std::memcpy(block, &h, sizeof(h));
        std::memcpy(block + sizeof(h), pixels->data(), h.biSizeImage);
        *dib = block;
        return S_OK;
    }

    // --- enhanced renderer ---
    HRESULT GetService(REFGUID service, REFIID riid, LPVOID* ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (service != MR_VIDEO_RENDER_SERVICE)
            return static_cast<HRESULT>(0xC00D36BA);  // MF_E_UNSUPPORTED_SERVICE
        if (riid != IID_IMFVideoDisplayControl)
            return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<IMFVideoDisplayControl*>(this);
        return S_OK;
    }
    HRESULT GetNativeVideoSize(SIZE* video, SIZE* aspect) override
    {
        if (!video && !aspect)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        if (video)
            *video = {m_width, m_height};
        if (aspect)
            *aspect = {m_width, m_height};
        return S_OK;
    }
    HRESULT SetVideoPosition(const MFVideoNormalizedRect*, const RECT* dest) override
    {
        if (!dest)
            return S_OK;
        return SetVideoPosition(static_cast<const RECT*>(nullptr), dest);
    }
    HRESULT GetVideoPosition(MFVideoNormalizedRect* source, RECT* dest) override
    {
        if (source)
            *source = {0.f, 0.f, 1.f, 1.f};
        return GetVideoPosition(static_cast<RECT*>(nullptr), dest);
    }
    HRESULT SetVideoWindow(HWND hwnd) override { return SetVideoClippingWindow(hwnd); }
    HRESULT GetVideoWindow(HWND* hwnd) override
    {
        if (!hwnd)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        *hwnd = m_window;
        return S_OK;
    }
    HRESULT RepaintVideo() override
    {
        Paint();
        return S_OK;
    }
    HRESULT GetCurrentImage(BITMAPINFOHEADER* header, BYTE** dib, DWORD* bytes, LONGLONG* timeStamp) override
    {
        if (!header || !dib || !bytes)
            return E_POINTER;
        if (header->biSize != sizeof(BITMAPINFOHEADER))
            return E_INVALIDARG;
        *dib = nullptr;
        *bytes = 0;
        std::shared_ptr<const std::vector<uint8_t>> pixels;
        if (!LatestFrame(header, &pixels))
            return E_FAIL;
        auto* block = static_cast<BYTE*>(CoTaskMemAlloc(header->biSizeImage));
        if (!block)
            return E_OUTOFMEMORY;
        std::memcpy(block, pixels->data(), header->biSizeImage);
        *dib = block;
        *bytes = header->biSizeImage;
        if (timeStamp)
            *timeStamp = 0;
        return S_OK;
    }

private:
    bool WindowlessAvailable() const
    {
        if (CurrentFaults().rendererNoWindowless)
            return false;
        std::lock_guard lock(m_lock);
        return m_mode == VMRMode_Windowless;
    }

    // The header and rows of the latest frame; false when there is none yet.
    bool LatestFrame(BITMAPINFOHEADER* header, std::shared_ptr<const std::vector<uint8_t>>* pixels) const
    {
        std::lock_guard lock(m_lock);
        if (!m_hasFrame)
            return false;
        *header = Header();
        *pixels = m_pixels;
        return true;
    }

    BITMAPINFOHEADER Header() const
    {
        BITMAPINFOHEADER h{};
        h.biSize = sizeof(h);
        h.biWidth = m_width;
        h.biHeight = m_height;
        h.biPlanes = 1;
        h.biBitCount = 32;
        h.biCompression = BI_RGB;
        h.biSizeImage = static_cast<DWORD>(m_width) * static_cast<DWORD>(m_height) * 4;
        return h;
    }

    bool KeepAspect() const
    {
        return m_kind == RendererKind::Evr ? (m_aspect & MFVideoARMode_PreservePicture) != 0 : m_aspect == VMR_ARMODE_LETTER_BOX;
    }

    // Draws the latest frame into the window's surface, letter-boxed or stretched over the
    // destination rectangle.
    void Paint()
    {
        const VideoWindowHooks hooks = GetVideoWindowHooks();
        if (!hooks.paint)
            return;
        HWND window;
        RECT dest;
        bool destSet;
        {
            std::lock_guard lock(m_lock);
            window = m_window;
            dest = m_dest;
            destSet = m_destSet;
        }
        if (!window)
            return;
        // Not under m_lock: the paint below takes m_lock with the window system locked, and the
        // window system must never be waited for while m_lock is held.
        if (!destSet && hooks.clientRect)
            hooks.clientRect(window, &dest);
        hooks.paint(window, [&](Surface& surface, POINT origin, RECT clip) {
            std::lock_guard lock(m_lock);
            const int dw = dest.right - dest.left;
            const int dh = dest.bottom - dest.top;
            if (dw <= 0 || dh <= 0)
                return;
            RECT pic = dest;
            if (m_hasFrame && KeepAspect() && m_width > 0 && m_height > 0) {
                const long long sw = m_width, sh = m_height;
                if (dw * sh > dh * sw) {
                    const int w = static_cast<int>(dh * sw / sh);
                    pic.left = dest.left + (dw - w) / 2;
                    pic.right = pic.left + w;
                } else {
                    const int h = static_cast<int>(dw * sh / sw);
                    pic.top = dest.top + (dh - h) / 2;
                    pic.bottom = pic.top + h;
                }
            }
            const int pw = pic.right - pic.left;
            const int ph = pic.bottom - pic.top;
            const bool picture = m_hasFrame && pw > 0 && ph > 0;
            const auto* src = picture ? reinterpret_cast<const uint32_t*>(m_pixels->data()) : nullptr;
            // The part of the destination inside the clip and the surface.
            const int x0 = std::max<int>({dest.left, static_cast<int>(clip.left) - origin.x, -origin.x});
            const int x1 = std::min<int>({dest.right, static_cast<int>(clip.right) - origin.x, surface.Width() - origin.x});
            const int y0 = std::max<int>({dest.top, static_cast<int>(clip.top) - origin.y, -origin.y});
            const int y1 = std::min<int>({dest.bottom, static_cast<int>(clip.bottom) - origin.y, surface.Height() - origin.y});
            if (x0 >= x1 || y0 >= y1)
                return;
            std::vector<int> column(static_cast<size_t>(x1 - x0), -1);
            if (picture)
                for (int x = std::max(x0, static_cast<int>(pic.left)); x < std::min(x1, static_cast<int>(pic.right)); ++x)
                    column[static_cast<size_t>(x - x0)] = static_cast<int>(static_cast<long long>(x - pic.left) * m_width / pw);
            for (int y = y0; y < y1; ++y) {
                uint32_t* row = surface.Pixels() + static_cast<size_t>(y + origin.y) * static_cast<size_t>(surface.Width()) + (x0 + origin.x);
                const uint32_t* line = nullptr;
                if (picture && y >= pic.top && y < pic.bottom) {
                    const int fy = static_cast<int>(static_cast<long long>(y - pic.top) * m_height / ph);
                    line = src + static_cast<size_t>(m_height - 1 - fy) * static_cast<size_t>(m_width);
                }
                for (int i = 0; i < x1 - x0; ++i) {
                    const int fx = column[static_cast<size_t>(i)];
                    row[i] = (line && fx >= 0) ? (0xFF000000u | line[fx]) : 0xFF000000u;
                }
            }
        });
        if (hooks.changed)
            hooks.changed(window);
    }

    RendererKind m_kind;
    Pin* m_in;
    mutable std::mutex m_lock;
    DWORD m_mode = VMRMode_Windowed;
    DWORD m_aspect = 0;
    HWND m_window = nullptr;
    RECT m_dest{0, 0, 0, 0};
    bool m_destSet = false;
    std::shared_ptr<const std::vector<uint8_t>> m_pixels;  // 32-bit bottom-up rows of the latest frame
    int m_width = 0;
    int m_height = 0;
    bool m_hasFrame = false;
};

}  // namespace

IUnknown* CreateVideoRenderer(RendererKind kind) { return static_cast<IBaseFilter*>(new VideoRenderer(kind)); }

}  // namespace quiva::media
