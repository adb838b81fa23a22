// The DVD navigator stand-in and the sound renderer. No disc is read: the navigator streams a
// menu of three buttons at 720x480 that answers selection and activation at a point in native
// video coordinates; the sound renderer takes audio and discards it.
#include <mutex>

#include "platform/media/FilterBase.h"
#include "platform/media/SyntheticDevices.h"

namespace quiva::media {

namespace {

constexpr int kMenuWidth = 720;
constexpr int kMenuHeight = 480;
const RECT kButtons[3] = {{60, 340, 240, 420}, {270, 340, 450, 420}, {480, 340, 660, 420}};
const GUID kSubpictureSubtype = QUIVA_FOURCC_GUID(0x50425553);  // "SUBP"

MediaType AudioType()
{
    MediaType mt;
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    return mt;
}

class DvdNavigator final : public Filter, public IDvdControl2, public IQuivaDvdMenuState {
public:
    DvdNavigator() : Filter(CLSID_DVDNavigator)
    {
        m_video = AddPin(L"Video", PINDIR_OUTPUT);
        m_subpicture = AddPin(L"SubPicture", PINDIR_OUTPUT);
        m_audio = AddPin(L"AC3", PINDIR_OUTPUT);
    }
    ~DvdNavigator() override { m_thread.Stop(); }

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return Filter::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }
    HRESULT QueryExtra(REFIID riid, void** ppv) override
    {
        if (riid == IID_IDvdControl2) {
            *ppv = static_cast<IDvdControl2*>(this);
        } else if (riid == IID_IQuivaDvdMenuState) {
            *ppv = static_cast<IQuivaDvdMenuState*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    bool IsSource() const override { return true; }
    std::vector<MediaType> OutputTypes(Pin* out) override
    {
        if (out == m_video)
            return {MakeVideoType(MEDIASUBTYPE_RGB32, kMenuWidth, kMenuHeight, 333667)};
        if (out == m_subpicture)
            return {MakeVideoType(kSubpictureSubtype, kMenuWidth, kMenuHeight, 333667)};
        return {AudioType()};
    }

    HRESULT OnRun() override
    {
        // Without a disc there is nothing to show.
        if (m_video->IsConnected() && !CurrentFaults().dvdNoDisc)
            m_thread.Start([this](StreamThread& t) {
                for (uint32_t n = 0; !t.Stopping(); ++n) {
                    DeliverMenu(n);
                    if (!t.WaitForNextFrame(333667))
                        break;
                }
            });
        return S_OK;
    }
    void OnStop() override { m_thread.Stop(); }

    HRESULT SelectAtPosition(POINT point) override
    {
        int b = ButtonAt(point);
        if (b < 0)
            return VFW_E_DVD_NO_BUTTON;
        std::lock_guard lock(m_menuLock);
        m_selected = b;
        return S_OK;
    }
    HRESULT ActivateAtPosition(POINT point) override
    {
        int b = ButtonAt(point);
        if (b < 0)
            return VFW_E_DVD_NO_BUTTON;
        std::lock_guard lock(m_menuLock);
        m_selected = b;
        m_activated = b;
        return S_OK;
    }
    HRESULT GetMenuState(LONG* selected, LONG* activated) override
    {
        if (!selected || !activated)
            return E_POINTER;
        std::lock_guard lock(m_menuLock);
        *selected = m_selected;
        *activated = m_activated;
        return S_OK;
    }

private:
    static int ButtonAt(POINT p)
    {
        for (int i = 0; i < 3; ++i)
            if (p.x >= kButtons[i].left && p.x < kButtons[i].right && p.y >= kButtons[i].top && p.y < kButtons[i].bottom)
                return i;
        return -1;
    }

    void DeliverMenu(uint32_t counter)
    {
        std::vector<uint32_t> picture(static_cast<size_t>(kMenuWidth) * kMenuHeight);
        FrameStamp stamp;
        stamp.counter = counter;
        stamp.fps = 30;
        stamp.fourcc = MEDIASUBTYPE_RGB32.Data1;
        {
            std::lock_guard lock(m_menuLock);
            stamp.input = m_selected;
            stamp.label = m_activated >= 0 ? "Play " + std::to_string(m_activated + 1) : "Menu";
        }
        DrawSyntheticPicture(picture.data(), kMenuWidth, kMenuHeight, stamp);
        for (int i = 0; i < 3; ++i) {
            const uint32_t colour = i == stamp.input ? 0xFFFFD700u : 0xFF3050A0u;
            for (int y = kButtons[i].top; y < kButtons[i].bottom; ++y)
                for (int x = kButtons[i].left; x < kButtons[i].right; ++x)
                    picture[static_cast<size_t>(kMenuHeight - 1 - y) * kMenuWidth + static_cast<size_t>(x)] = colour;
        }
        Frame f;
        f.data = std::make_shared<std::vector<uint8_t>>(reinterpret_cast<uint8_t*>(picture.data()),
                                                        reinterpret_cast<uint8_t*>(picture.data() + picture.size()));
        f.width = kMenuWidth;
        f.height = kMenuHeight;
        f.subtype = MEDIASUBTYPE_RGB32;
        f.index = counter;
        m_video->Deliver(f);
    }

    Pin* m_video;
    Pin* m_subpicture;
    Pin* m_audio;
    StreamThread m_thread;
    std::mutex m_menuLock;
    LONG m_selected = -1;
    LONG m_activated = -1;
};

class SoundRenderer final : public Filter {
public:
    SoundRenderer() : Filter(CLSID_DSoundRender) { AddPin(L"Audio Input pin (rendered)", PINDIR_INPUT); }
    bool IsRenderer() const override { return true; }
    bool HasFrame() const override { return true; }  // never holds up a run
    HRESULT CheckInputType(Pin*, const MediaType& mt, Pin*) override
    {
        return mt.majortype == MEDIATYPE_Audio ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
};

}  // namespace

IUnknown* CreateDvdNavigator() { return static_cast<IBaseFilter*>(new DvdNavigator()); }
IUnknown* CreateSoundRenderer() { return static_cast<IBaseFilter*>(new SoundRenderer()); }

}  // namespace quiva::media
