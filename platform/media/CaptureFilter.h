// What every capture-device filter shares: the formats the device offers, the one chosen
// through IAMStreamConfig, and that choice kept in graph files.
#pragma once

#include <mutex>
#include <vector>

#include "platform/media/FilterBase.h"

namespace quiva::media {

class CaptureFilter : public Filter, public IAMStreamConfig {
public:
    explicit CaptureFilter(REFCLSID clsid) : Filter(clsid) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return Filter::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }
    HRESULT QueryExtra(REFIID riid, void** ppv) override;

    bool IsSource() const override { return true; }
    std::vector<MediaType> OutputTypes(Pin*) override;

    // IAMStreamConfig
    HRESULT SetFormat(AM_MEDIA_TYPE* pmt) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** pmt) override;
    HRESULT GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* caps) override;

    std::string SaveState() const override;
    bool LoadState(const std::string& s) override;

protected:
    // Whether the filter answers for IAMStreamConfig at all.
    virtual bool OffersStreamConfig() const { return true; }
    // A device may refuse a format it lists; S_OK lets SetFormat go on.
    virtual HRESULT DeviceAcceptsFormat() const { return S_OK; }

    Pin* m_out = nullptr;                 // the capture pin, made by the device's constructor
    std::vector<MediaType> m_caps;        // offered formats, in the device's order
    bool m_keepAskedHeader = false;       // SetFormat keeps the caller's header when its kind matches
    mutable std::mutex m_formatLock;
    MediaType m_format;
    bool m_formatSet = false;
};

}  // namespace quiva::media
