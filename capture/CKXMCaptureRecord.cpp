// Stills and AVI recording, both taken from the picture the renderer currently shows.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "capture/CKXMCapture.h"
#include "platform/base/bitmap.h"
#include "platform/base/clock.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/handle.h"
#include "platform/base/lasterror.h"

using quiva::ComPtr;

namespace {

DWORD PixelBytes(const BITMAPINFOHEADER& h)
{
    if (h.biSizeImage)
        return h.biSizeImage;
    return static_cast<DWORD>(quiva::DibRowBytes(h.biWidth, h.biBitCount) * quiva::DibRows(h.biHeight));
}

}  // namespace

size_t DibSize(const BITMAPINFOHEADER& h)
{
    return h.biSize + 4u * quiva::DibColorCount(h) + PixelBytes(h);
}

namespace {

BITMAPFILEHEADER BmpFileHeader(const BYTE* dib)
{
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    BITMAPFILEHEADER fh {};
    fh.bfType = 0x4D42;
    fh.bfSize = static_cast<DWORD>(sizeof fh + DibSize(h));
    fh.bfOffBits = static_cast<DWORD>(sizeof fh + h.biSize + 4 * quiva::DibColorCount(h));
    return fh;
}

}  // namespace

std::string DibAsBmpFile(const BYTE* dib)
{
    const BITMAPFILEHEADER fh = BmpFileHeader(dib);
    std::string file(reinterpret_cast<const char*>(&fh), sizeof fh);
    file.append(reinterpret_cast<const char*>(dib), fh.bfSize - sizeof fh);
    return file;
}

bool WriteDibFile(LPCWSTR path, const BYTE* dib)
{
    const BITMAPFILEHEADER fh = BmpFileHeader(dib);
    const size_t bitmapBytes = fh.bfSize - sizeof fh;
    // Header and bitmap go out as they are, without a copy of the whole picture in between, under
    // a name of their own until both are on the disk: a cut still is worse than none, as it would
    // be filed as a picture of the patient.
    return quiva::WriteFileAtomically(path, {std::string_view(reinterpret_cast<const char*>(&fh), sizeof fh),
                                             std::string_view(reinterpret_cast<const char*>(dib), bitmapBytes)});
}

BYTE* ReadRendererImage(IBaseFilter* renderer, int kind, HRESULT* result)
{
    *result = E_FAIL;
    if (!renderer)
        return nullptr;
    BYTE* image = nullptr;
    if (kind == KXM_RENDERER_EVR) {
        ComPtr<IMFGetService> service;
        ComPtr<IMFVideoDisplayControl> display;
        if (SUCCEEDED(renderer->QueryInterface(IID_IMFGetService, service.PutVoid())) && service)
            service->GetService(MR_VIDEO_RENDER_SERVICE, IID_IMFVideoDisplayControl, display.PutVoid());
        if (!display)
            return nullptr;
        BITMAPINFOHEADER h {};
        h.biSize = sizeof h;
        BYTE* pixels = nullptr;
        DWORD bytes = 0;
        LONGLONG stamp = 0;
        *result = display->GetCurrentImage(&h, &pixels, &bytes, &stamp);
        if (SUCCEEDED(*result) && pixels) {
            h.biSizeImage = bytes;
            image = static_cast<BYTE*>(std::malloc(sizeof h + bytes));
            if (image) {
                std::memcpy(image, &h, sizeof h);
                std::memcpy(image + sizeof h, pixels, bytes);
            }
        }
        CoTaskMemFree(pixels);
        return image;
    }
    BYTE* dib = nullptr;
    if (kind == KXM_RENDERER_VMR9) {
        ComPtr<IVMRWindowlessControl9> control;
        if (FAILED(renderer->QueryInterface(IID_IVMRWindowlessControl9, control.PutVoid())) || !control)
            return nullptr;
        *result = control->GetCurrentImage(&dib);
    } else {
        ComPtr<IVMRWindowlessControl> control;
        if (FAILED(renderer->QueryInterface(IID_IVMRWindowlessControl, control.PutVoid())) || !control)
            return nullptr;
        *result = control->GetCurrentImage(&dib);
    }
    // Task memory is malloc's: the renderer's block is handed on as it is.
    if (SUCCEEDED(*result))
        return dib;
    CoTaskMemFree(dib);
    return nullptr;
}

BYTE* CKXMCapture::CurrentImage(HRESULT* result)
{
    ComPtr<IBaseFilter> renderer = ComPtr<IBaseFilter>::Adopt(FindRenderer());
    return ReadRendererImage(renderer.Get(), m_nRendererKind, result);
}

BYTE* CKXMCapture::GrabFrame()
{
    std::lock_guard lock(m_lock);
    ComPtr<IBaseFilter> renderer = ComPtr<IBaseFilter>::Adopt(FindRenderer());
    HRESULT hr;
    BYTE* frame = ReadRendererImage(renderer.Get(), m_nRendererKind, &hr);
    if (m_nRendererKind == KXM_RENDERER_VMR9 && renderer && hr != S_OK)
        Trace(L"Frame : %x", static_cast<unsigned>(hr));
    if (FAILED(hr)) {
        std::free(frame);
        return nullptr;
    }
    return frame;
}

int CKXMCapture::SaveSnapshot(LPCWSTR path) { return SaveSnapshot(path, nullptr); }

int CKXMCapture::SaveSnapshot(LPCWSTR path, BYTE** picture)
{
    if (picture)
        *picture = nullptr;
    HRESULT hr;
    BYTE* image;
    {
        // The file is written after the lock: a recording's frames do not wait for the disk.
        std::lock_guard lock(m_lock);
        image = CurrentImage(&hr);
    }
    if (!image)
        return 0;
    if (!WriteDibFile(path, image)) {
        std::free(image);
        return 0;
    }
    if (picture)
        *picture = image;
    else
        std::free(image);
    return 1;
}

void CKXMCapture::SetRecordFile(LPCWSTR path, int frameRate, intptr_t value)
{
    std::lock_guard lock(m_lock);
    // The name of a recording still open stays with it until it has been ended.
    if (m_recordState != RecordState::Idle)
        return;
    m_strRecordFile = path ? path : L"";
    m_nRecordParam1 = frameRate;
    m_nRecordParam2 = value;
}

CString CKXMCapture::GetRecordFile() const
{
    std::lock_guard lock(m_lock);
    return m_strRecordFile;
}

bool CKXMCapture::IsRecordingOpen() const
{
    std::lock_guard lock(m_lock);
    return m_recordState != RecordState::Idle;
}

void CKXMCapture::CloseRecording(bool deleteFile)
{
    m_bRecording = 0;
    if (m_pAviCompressed) {
        AVIStreamRelease(m_pAviCompressed);
        m_pAviCompressed = nullptr;
    }
    if (m_pAviStream) {
        AVIStreamRelease(m_pAviStream);
        m_pAviStream = nullptr;
    }
    if (m_pAviFile) {
        AVIFileRelease(m_pAviFile);
        m_pAviFile = nullptr;
    }
    if (m_aviInit) {
        AVIFileExit();
        m_aviInit = false;
    }
    if (deleteFile && !m_strRecordFile.IsEmpty())
        quiva::media::RemoveRecording(m_strRecordFile);
}

int CKXMCapture::StartRecording()
{
    std::lock_guard lock(m_lock);
    // One recording at a time: a second start waits until the first has been ended.
    if (m_recordState != RecordState::Idle || !m_bRunning || m_strRecordFile.IsEmpty())
        return 0;
    m_dwRecordStart = GetTickCount();
    m_recordOutOfRoom = false;
    AVIFileInit();
    m_aviInit = true;
    auto fail = [this](BYTE* frame) {
        std::free(frame);
        // A recording that did not start leaves no file behind.
        CloseRecording(true);
        return 0;
    };
    if (AVIFileOpenW(&m_pAviFile, m_strRecordFile, OF_WRITE | OF_CREATE, nullptr) != AVIERR_OK) {
        // Nothing was created: a file that stands under this name (one that cannot be written)
        // is not this recording's to remove.
        CloseRecording(false);
        return 0;
    }
    BYTE* frame = GrabFrame();
    if (!frame)
        return fail(nullptr);
    BITMAPINFOHEADER h;
    std::memcpy(&h, frame, sizeof h);
    h.biSizeImage = PixelBytes(h);

    AVISTREAMINFOW info {};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = KXM_RECORD_RATE;
    info.dwSuggestedBufferSize = h.biSizeImage;
    info.rcFrame = { 0, 0, h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight };
    if (AVIFileCreateStreamW(m_pAviFile, &m_pAviStream, &info) != AVIERR_OK)
        return fail(frame);

    AVICOMPRESSOPTIONS options {};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = mmioFOURCC('M', 'S', 'V', 'C');
    options.dwQuality = 10000;
    options.dwFlags = AVICOMPRESSF_KEYFRAMES;
    if (AVIMakeCompressedStream(&m_pAviCompressed, m_pAviStream, &options, nullptr) != AVIERR_OK)
        return fail(frame);
    if (AVIStreamSetFormat(m_pAviCompressed, 0, frame, static_cast<LONG>(h.biSize + 4 * h.biClrUsed)) != AVIERR_OK)
        return fail(frame);
    m_nFrameIndex = 0;
    m_recordHeader = h;
    if (WriteFrameAt(0, frame) != AVIERR_OK)
        return fail(frame);
    std::free(frame);
    m_recordState = RecordState::Recording;
    m_bRecording = 1;
    return 1;
}

int CKXMCapture::WriteFrameAt(LONG index, const BYTE* frame)
{
    return AVIStreamWrite(m_pAviCompressed, index, 1, const_cast<BYTE*>(frame) + m_recordHeader.biSize + 4 * m_recordHeader.biClrUsed,
                          static_cast<LONG>(m_recordHeader.biSizeImage), AVIIF_KEYFRAME, nullptr, nullptr);
}

bool CKXMCapture::FrameMatchesStream(const BYTE* frame) const
{
    BITMAPINFOHEADER h;
    std::memcpy(&h, frame, sizeof h);
    return h.biWidth == m_recordHeader.biWidth && h.biHeight == m_recordHeader.biHeight &&
           h.biBitCount == m_recordHeader.biBitCount && h.biCompression == m_recordHeader.biCompression &&
           PixelBytes(h) == m_recordHeader.biSizeImage;
}

int CKXMCapture::WriteRecordFrame()
{
    std::lock_guard lock(m_lock);
    if (!m_bRunning || !m_bRecording || m_recordState != RecordState::Recording || !m_pAviCompressed)
        return 0;
    // Frame slots follow the clock: slot k is due k/13 s after the start. A tick that comes
    // before the next slot writes nothing; a slow source repeats its last picture, so the file
    // plays as long as the recording lasted.
    const DWORD elapsed = GetTickCount() - m_dwRecordStart;
    const LONG due = static_cast<LONG>(static_cast<uint64_t>(elapsed) * KXM_RECORD_RATE / 1000);
    if (due <= m_nFrameIndex)
        return 1;
    BYTE* frame = GrabFrame();
    if (!frame)
        return 0;
    if (!FrameMatchesStream(frame)) {
        // The picture changed its size or coding (another device or format): the stream cannot
        // take it. The recording ends here with what it has.
        std::free(frame);
        OutputDebugStringW(L"Record frame format changed\n");
        CloseRecording(false);
        m_recordState = RecordState::Stopping;
        return 0;
    }
    while (m_nFrameIndex < due) {
        SetLastError(ERROR_SUCCESS);  // the file's writer says why a write failed
        HRESULT hr = WriteFrameAt(m_nFrameIndex + 1, frame);
        if (hr != AVIERR_OK) {
            // The file is full or cannot grow: it is closed with every frame written so far.
            m_recordOutOfRoom = GetLastError() == ERROR_DISK_FULL;
            Trace(L"AVIERR : %x", static_cast<unsigned>(hr));
            std::free(frame);
            CloseRecording(false);
            m_recordState = RecordState::Stopping;
            return 0;
        }
        ++m_nFrameIndex;
    }
    std::free(frame);
    return 1;
}

bool CKXMCapture::RecordingOutOfRoom() const
{
    std::lock_guard lock(m_lock);
    return m_recordOutOfRoom;
}

CString CKXMCapture::EndRecording()
{
    std::lock_guard lock(m_lock);
    if (m_recordState == RecordState::Idle)
        return CString();
    CloseRecording(false);
    m_recordState = RecordState::Idle;
    return m_strRecordFile;
}
