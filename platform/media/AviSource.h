// The source filter AddSourceFilter makes for an AVI file: one output pin per stream.
#pragma once

#include <string>

#include "platform/media/dshow.h"

namespace quiva::media {
// A new source filter for the file with one reference, or null with the reason in *hr.
IBaseFilter* CreateAviSourceFilter(const std::wstring& windowsPath, HRESULT* hr);
}  // namespace quiva::media
