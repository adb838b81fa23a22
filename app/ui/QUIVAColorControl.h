// Whether the engine builds its preview with the colour control: the windows that build the
// graph again take it from the "apply colour" option, here.
#pragma once

#include "app/model/Forward.h"

void QUIVAApplyColorOption(CKXMCapture& engine, const CKXQUIVAConfig& config);
