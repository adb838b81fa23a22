// Hit testing through windows that answer HTTRANSPARENT: the point goes to the window
// underneath that belongs to the same thread.
#include "platform/ui/internal.h"

namespace quiva::ui::detail {

HWND WindowBelow(HWND hwnd, POINT screen)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w || !w->parent)
        return nullptr;
    Window* parent = Find(w->parent);
    if (!parent || parent->thread != w->thread)
        return nullptr;
    auto self = std::find(parent->children.begin(), parent->children.end(), hwnd);
    // Children are kept bottom first: the siblings below are the ones before this one.
    for (auto it = std::make_reverse_iterator(self); it != parent->children.rend(); ++it) {
        Window* s = Find(*it);
        if (!s || !s->visible || s->thread != w->thread)
            continue;
        RECT wr;
        GetWindowRect(s->handle, &wr);
        if (PtInRect(&wr, screen))
            return s->enabled ? DeepestChildAt(s, screen) : parent->handle;
    }
    return parent->handle;
}

}  // namespace quiva::ui::detail
