// The three video renderers (mixing renderer 9 and 7, enhanced renderer): one software core
// that keeps the latest frame, paints it into its window and gives it back as a packed DIB.
#pragma once

#include "platform/media/dshow.h"

namespace quiva::media {

enum class RendererKind { Vmr9, Vmr7, Evr };
IUnknown* CreateVideoRenderer(RendererKind kind);

}  // namespace quiva::media
