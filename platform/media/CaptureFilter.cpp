#include "platform/media/CaptureFilter.h"

#include <cstring>

namespace quiva::media {

namespace {
constexpr int kStreamConfigCapsSize = 128;  // VIDEO_STREAM_CONFIG_CAPS
}

HRESULT CaptureFilter::QueryExtra(REFIID riid, void** ppv)
{
    if (riid != IID_IAMStreamConfig || !OffersStreamConfig())
        return E_NOINTERFACE;
    *ppv = static_cast<IAMStreamConfig*>(this);
    AddRef();
    return S_OK;
}

std::vector<MediaType> CaptureFilter::OutputTypes(Pin*)
{
    std::lock_guard lock(m_formatLock);
    if (m_formatSet)
        return {m_format};
    return m_caps;
}

HRESULT CaptureFilter::SetFormat(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    if (m_out && m_out->IsConnected())
        return State() != State_Stopped ? VFW_E_NOT_STOPPED : VFW_E_ALREADY_CONNECTED;
    const HRESULT accepted = DeviceAcceptsFormat();
    if (FAILED(accepted))
        return accepted;
    for (const MediaType& c : m_caps)
        if (c.Matches(*pmt)) {
            std::lock_guard lock(m_formatLock);
            m_format = c;
            if (m_keepAskedHeader) {
                MediaType asked(*pmt);
                if (asked.formattype == c.formattype && asked.IsVideo())
                    m_format = asked;
            }
            m_formatSet = true;
            return S_OK;
        }
    return VFW_E_INVALIDMEDIATYPE;
}

HRESULT CaptureFilter::GetFormat(AM_MEDIA_TYPE** pmt)
{
    if (!pmt)
        return E_POINTER;
    std::lock_guard lock(m_formatLock);
    if (!m_formatSet && m_caps.empty())
        return VFW_E_NOT_CONNECTED;
    *pmt = (m_formatSet ? m_format : m_caps.front()).ToTaskMemory();
    return S_OK;
}

HRESULT CaptureFilter::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size)
        return E_POINTER;
    *count = static_cast<int>(m_caps.size());
    *size = kStreamConfigCapsSize;
    return S_OK;
}

HRESULT CaptureFilter::GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* caps)
{
    if (!pmt || !caps)
        return E_POINTER;
    if (index < 0 || index >= static_cast<int>(m_caps.size()))
        return S_FALSE;
    const MediaType& c = m_caps[static_cast<size_t>(index)];
    *pmt = c.ToTaskMemory();
    std::memset(caps, 0, kStreamConfigCapsSize);
    std::memcpy(caps, &c.formattype, sizeof(GUID));
    return S_OK;
}

std::string CaptureFilter::SaveState() const
{
    std::lock_guard lock(m_formatLock);
    return m_formatSet ? m_format.Serialise() : std::string();
}

bool CaptureFilter::LoadState(const std::string& s)
{
    if (s.empty())
        return true;
    MediaType mt;
    if (!MediaType::Deserialise(s, &mt))
        return false;
    AM_MEDIA_TYPE amt;
    mt.CopyTo(&amt);
    HRESULT hr = SetFormat(&amt);
    FreeMediaTypeContents(amt);
    return SUCCEEDED(hr);
}

}  // namespace quiva::media
