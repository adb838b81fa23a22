// A playback graph of one recorded file, drawn by a renderer into a given window, whose current
// picture can be read back as a BMP file.
#pragma once

#include "platform/media/dshow.h"

class CKXMXVideoControl {
public:
    CKXMXVideoControl();
    virtual ~CKXMXVideoControl();
    CKXMXVideoControl(const CKXMXVideoControl&) = delete;
    CKXMXVideoControl& operator=(const CKXMXVideoControl&) = delete;

    int Open(LPCWSTR path);
    int Play();
    int Stop();
    // Writes the renderer's current picture into the stream as a BMP file; false when there was
    // no picture to write.
    bool GrabCurrentImage(IStream* stream);

    IGraphBuilder* m_pGraph = nullptr;
    IMediaSeeking* m_pSeeking = nullptr;
    HWND m_hWnd = nullptr;
    int m_nRendererKind = 0;

private:
    void RemoveAllFilters();
};
