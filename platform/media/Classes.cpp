// The media area's classes, entered into the class table, and the texts of its error codes.
#include <mutex>

#include "platform/media/ColourControl.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/SyntheticDevices.h"
#include "platform/media/VideoRenderer.h"

namespace quiva::media {

IUnknown* CreateAviDecoder();
IUnknown* CreateColourSpaceConverter();
IUnknown* CreateDvdNavigator();
IUnknown* CreateSoundRenderer();
IUnknown* CreateSystemDeviceEnum();

bool RegisterMediaClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterComClass(CLSID_FilterGraph, CreateFilterGraph);
        RegisterComClass(CLSID_CaptureGraphBuilder2, CreateCaptureGraphBuilder);
        RegisterComClass(CLSID_SystemDeviceEnum, CreateSystemDeviceEnum);
        RegisterComClass(CLSID_AVIDec, CreateAviDecoder);
        RegisterComClass(CLSID_Colour, CreateColourSpaceConverter);
        RegisterComClass(CLSID_DMOWrapperFilter, CreateDmoWrapper);
        RegisterComClass(CLSID_VideoMixingRenderer9, [] { return CreateVideoRenderer(RendererKind::Vmr9); });
        RegisterComClass(CLSID_VideoMixingRenderer, [] { return CreateVideoRenderer(RendererKind::Vmr7); });
        RegisterComClass(CLSID_EnhancedVideoRenderer, [] { return CreateVideoRenderer(RendererKind::Evr); });
        RegisterComClass(CLSID_DVDNavigator, CreateDvdNavigator);
        RegisterComClass(CLSID_DSoundRender, CreateSoundRenderer);
        // Classes the synthetic devices' configuration says fail.
        SetComClassVeto(ConfigSaysClassFails);
    });
    return true;
}

}  // namespace quiva::media

namespace {

struct ErrorText {
    HRESULT hr;
    const wchar_t* text;
};

const ErrorText kErrorTexts[] = {
    {E_FAIL, L"Unspecified error."},
    {E_POINTER, L"Invalid pointer."},
    {E_NOINTERFACE, L"No such interface supported."},
    {E_INVALIDARG, L"The parameter is incorrect."},
    {E_OUTOFMEMORY, L"Not enough memory is available to complete this operation."},
    {E_NOTIMPL, L"Not implemented."},
    {E_UNEXPECTED, L"Catastrophic failure."},
    {REGDB_E_CLASSNOTREG, L"Class not registered."},
    {VFW_S_PARTIAL_RENDER, L"Some of the streams in this movie are in an unsupported format."},
    {VFW_S_DUPLICATE_NAME, L"The filter was added under a name that was already in use, with a number added."},
    {VFW_S_STATE_INTERMEDIATE, L"The state transition has not completed."},
    {S_FALSE, L"The graph is running, but some renderers have not yet received a picture."},
    {VFW_E_INVALIDMEDIATYPE, L"An invalid media type was specified."},
    {VFW_E_ALREADY_CONNECTED, L"The operation cannot be performed because the pins are already connected."},
    {VFW_E_NO_ACCEPTABLE_TYPES, L"There is no common media type between these pins."},
    {VFW_E_INVALID_DIRECTION, L"Two pins of the same direction cannot be connected together."},
    {VFW_E_NOT_CONNECTED, L"The operation cannot be performed because the pins are not connected."},
    {VFW_E_NOT_FOUND, L"An object or name was not found."},
    {VFW_E_CANNOT_CONNECT, L"No combination of intermediate filters could be found to make the connection."},
    {VFW_E_CANNOT_RENDER, L"No combination of filters could be found to render the stream."},
    {VFW_E_NOT_STOPPED, L"The operation could not be performed because the filter is not stopped."},
    {VFW_E_WRONG_STATE, L"The operation could not be performed because the filter is in the wrong state."},
    {VFW_E_TYPE_NOT_ACCEPTED, L"This media type is not accepted by the pin."},
    {VFW_E_TIMEOUT, L"The operation timed out."},
    {static_cast<HRESULT>(0x8004022F), L"The file format is invalid."},
    {VFW_E_UNKNOWN_FILE_TYPE, L"The media type of this file is not recognized."},
    {VFW_E_CANNOT_LOAD_SOURCE_FILTER, L"The source filter for this file could not be loaded."},
    {VFW_E_NOT_IN_GRAPH, L"The filter is not in the filter graph."},
    {VFW_E_NO_CAPTURE_HARDWARE, L"The capture device could not be opened."},
    {VFW_E_DVD_NO_BUTTON, L"There is no menu button at that position."},
    {STG_E_FILENOTFOUND, L"The file could not be found."},
    {STG_E_INVALIDHEADER, L"The file is not a valid compound file."},
};

}  // namespace

DWORD AMGetErrorTextW(HRESULT hr, WCHAR* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    for (const ErrorText& e : kErrorTexts) {
        if (e.hr != hr)
            continue;
        const size_t len = std::wcslen(e.text);
        if (len + 1 > size)
            return 0;
        std::wmemcpy(buffer, e.text, len + 1);
        return static_cast<DWORD>(len);
    }
    return 0;
}
