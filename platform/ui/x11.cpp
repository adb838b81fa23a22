// X11 backend (filled in below when built with Xlib).
#include <memory>

#include "platform/ui/uisystem.h"

namespace quiva::ui {
std::unique_ptr<Backend> CreateX11Backend() { return nullptr; }
}  // namespace quiva::ui
