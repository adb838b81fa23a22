// The filter graph manager: holds filters under unique names, connects pins (directly or
// through one converter), runs and stops the graph, and saves and loads it as text.
#pragma once

#include "platform/media/FilterBase.h"

namespace quiva::media {

// How long IMediaControl::Run waits for every connected renderer to hold a first frame (30 s
// unless set): Run returns as soon as they all do, and S_FALSE, the graph running, when one
// still has none once the limit is out.
void SetRunWaitLimit(int ms);
int RunWaitLimit();

IUnknown* CreateFilterGraph();
IUnknown* CreateCaptureGraphBuilder();

}  // namespace quiva::media
