#include "platform/media/AviSource.h"
namespace quiva::media {
IBaseFilter* CreateAviSourceFilter(const std::wstring&, HRESULT* hr)
{
    *hr = VFW_E_UNKNOWN_FILE_TYPE;
    return nullptr;
}
}  // namespace quiva::media
