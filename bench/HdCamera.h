// A 1920x1080 RGB32 camera at 30 frames per second for the benchmarks, standing in for a capture
// card: a device provider that lists "Bench HD Camera".
#pragma once

#include <memory>
#include <vector>

#include "platform/media/Devices.h"
#include "platform/media/FilterBase.h"
#include "platform/media/SyntheticDevices.h"

namespace quiva::media {

inline constexpr int kWidth = 1920, kHeight = 1080, kFps = 30;

class HdCamera final : public Filter {
public:
    HdCamera() : Filter(CLSID_QuivaDeviceFilter) { m_out = AddPin(L"Capture", PINDIR_OUTPUT); }
    ~HdCamera() override { m_thread.Stop(); }
    bool IsSource() const override { return true; }
    std::vector<MediaType> OutputTypes(Pin*) override
    {
        return { MakeVideoType(MEDIASUBTYPE_RGB32, kWidth, kHeight, 10000000LL / kFps) };
    }
    HRESULT OnRun() override
    {
        if (m_out->IsConnected())
            m_thread.Start([this](StreamThread& t) { Stream(t); });
        return S_OK;
    }
    void OnStop() override { m_thread.Stop(); }

private:
    void Stream(StreamThread& t)
    {
        std::vector<uint32_t> picture(static_cast<size_t>(kWidth) * kHeight);
        for (uint32_t counter = 0; !t.Stopping(); ++counter) {
            FrameStamp stamp;
            stamp.counter = counter;
            stamp.fps = kFps;
            stamp.label = "Bench";
            DrawSyntheticPicture(picture.data(), kWidth, kHeight, stamp);
            Frame f;
            f.data = std::make_shared<std::vector<uint8_t>>(reinterpret_cast<uint8_t*>(picture.data()),
                                                            reinterpret_cast<uint8_t*>(picture.data() + picture.size()));
            f.width = kWidth;
            f.height = kHeight;
            f.subtype = MEDIASUBTYPE_RGB32;
            f.index = counter;
            m_out->Deliver(f);
            if (!t.WaitForNextFrame(10000000LL / kFps))
                break;
        }
    }
    Pin* m_out;
    StreamThread m_thread;
};

class HdProvider final : public DeviceProvider {
public:
    void Enumerate(REFGUID category, std::vector<DeviceEntry>& out) override
    {
        if (category != CLSID_VideoInputDeviceCategory)
            return;
        DeviceEntry e;
        e.moniker = L"@bench:hd";
        e.friendlyName = L"Bench HD Camera";
        e.create = [] { return static_cast<IBaseFilter*>(new HdCamera); };
        out.push_back(e);
    }
};

}  // namespace quiva::media
