// The filter graph manager: holds filters under unique names, connects pins (directly or
// through one converter), runs and stops the graph, and saves and loads it as text.
#pragma once

#include "platform/media/FilterBase.h"

namespace quiva::media {

// How long IMediaControl::Run waits for every connected renderer to hold a first frame.
void SetRunWaitLimit(int ms);
int RunWaitLimit();

IUnknown* CreateFilterGraph();
IUnknown* CreateCaptureGraphBuilder();

}  // namespace quiva::media
