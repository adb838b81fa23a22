#include "host/quiva-host/CaptureModule.h"

#include <dlfcn.h>

namespace {
template <typename F>
bool Bind(void* handle, const char* name, F& slot, std::string* error)
{
    slot = reinterpret_cast<F>(dlsym(handle, name));
    if (!slot && error)
        *error = std::string("the module has no export ") + name;
    return slot != nullptr;
}
}  // namespace

bool CaptureModule::Load(const std::string& path, std::string* error)
{
    Unload();
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        if (error)
            *error = dlerror();
        return false;
    }
    if (Bind(m_handle, "QUIVACaptureShow", Show, error) && Bind(m_handle, "QUIVACaptureShowModal", ShowModal, error) &&
        Bind(m_handle, "QUIVACaptureClose", Close, error) && Bind(m_handle, "QUIVACaptureClear", Clear, error) &&
        Bind(m_handle, "QUIVACaptureOpen", Open, error) && Bind(m_handle, "QUIVACaptureIsShow", IsShow, error) &&
        Bind(m_handle, "QUIVACaptureParentWnd", ParentWnd, error))
        return true;
    Unload();
    return false;
}

void CaptureModule::Unload()
{
    if (m_handle)
        dlclose(m_handle);
    m_handle = nullptr;
    Show = ShowModal = nullptr;
    Close = Clear = Open = nullptr;
    IsShow = nullptr;
    ParentWnd = nullptr;
}
