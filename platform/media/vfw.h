// AVI file functions: writing one video stream (plain or through the Microsoft Video 1
// compressor) and reading the streams of an existing file.
#pragma once

#include "platform/base/bitmap.h"
#include "platform/com/com.h"
#include "platform/media/guids.h"

struct IAVIFile;
struct IAVIStream;
typedef IAVIFile* PAVIFILE;
typedef IAVIStream* PAVISTREAM;

#define streamtypeVIDEO mmioFOURCC('v', 'i', 'd', 's')
#define streamtypeAUDIO mmioFOURCC('a', 'u', 'd', 's')

#define OF_READ 0x0000
#define OF_WRITE 0x0001
#define OF_READWRITE 0x0002
#define OF_SHARE_DENY_WRITE 0x0020
#define OF_CREATE 0x1000

#define AVIIF_LIST 0x00000001L
#define AVIIF_KEYFRAME 0x00000010L
#define AVIF_HASINDEX 0x00000010
#define AVICOMPRESSF_INTERLEAVE 0x00000001
#define AVICOMPRESSF_DATARATE 0x00000002
#define AVICOMPRESSF_KEYFRAMES 0x00000004
#define AVICOMPRESSF_VALID 0x00000008

#define AVIERR_OK 0
#define MAKE_AVIERR(e) static_cast<HRESULT>(0x80044000u + (e))
#define AVIERR_UNSUPPORTED MAKE_AVIERR(101)
#define AVIERR_BADFORMAT MAKE_AVIERR(102)
#define AVIERR_MEMORY MAKE_AVIERR(103)
#define AVIERR_INTERNAL MAKE_AVIERR(104)
#define AVIERR_BADFLAGS MAKE_AVIERR(105)
#define AVIERR_BADPARAM MAKE_AVIERR(106)
#define AVIERR_BADSIZE MAKE_AVIERR(107)
#define AVIERR_BADHANDLE MAKE_AVIERR(108)
#define AVIERR_FILEREAD MAKE_AVIERR(109)
#define AVIERR_FILEWRITE MAKE_AVIERR(110)
#define AVIERR_FILEOPEN MAKE_AVIERR(111)
#define AVIERR_COMPRESSOR MAKE_AVIERR(112)
#define AVIERR_NOCOMPRESSOR MAKE_AVIERR(113)
#define AVIERR_READONLY MAKE_AVIERR(114)
#define AVIERR_NODATA MAKE_AVIERR(115)
#define AVIERR_BUFFERTOOSMALL MAKE_AVIERR(116)

struct AVISTREAMINFOW {
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwFlags;
    DWORD dwCaps;
    WORD wPriority;
    WORD wLanguage;
    DWORD dwScale;
    DWORD dwRate;
    DWORD dwStart;
    DWORD dwLength;
    DWORD dwInitialFrames;
    DWORD dwSuggestedBufferSize;
    DWORD dwQuality;
    DWORD dwSampleSize;
    RECT rcFrame;
    DWORD dwEditCount;
    DWORD dwFormatChangeCount;
    WCHAR szName[64];
};

struct AVICOMPRESSOPTIONS {
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwKeyFrameEvery;
    DWORD dwQuality;
    DWORD dwBytesPerSecond;
    DWORD dwFlags;
    LPVOID lpFormat;
    DWORD cbFormat;
    LPVOID lpParms;
    DWORD cbParms;
    DWORD dwInterleaveEvery;
};

void AVIFileInit();
void AVIFileExit();
HRESULT AVIFileOpenW(PAVIFILE* file, LPCWSTR path, UINT mode, CLSID* handler);
ULONG AVIFileAddRef(PAVIFILE file);
ULONG AVIFileRelease(PAVIFILE file);
HRESULT AVIFileCreateStreamW(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOW* info);
HRESULT AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, DWORD fccType, LONG param);
HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, AVICOMPRESSOPTIONS* options, CLSID* handler);
HRESULT AVIStreamSetFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG formatBytes);
HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG bufferBytes, DWORD flags,
                       LONG* samplesWritten, LONG* bytesWritten);
ULONG AVIStreamAddRef(PAVISTREAM stream);
ULONG AVIStreamRelease(PAVISTREAM stream);
HRESULT AVIStreamOpenFromFileW(PAVISTREAM* stream, LPCWSTR path, DWORD fccType, LONG param, UINT mode, CLSID* handler);
HRESULT AVIStreamInfoW(PAVISTREAM stream, AVISTREAMINFOW* info, LONG size);
// With a null format, *formatBytes receives the size needed.
HRESULT AVIStreamReadFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG* formatBytes);
// Reads the stored bytes of one frame (samples must be 1 for video); with a null buffer only the
// sizes are given.
HRESULT AVIStreamRead(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG bufferBytes, LONG* bytes, LONG* samplesRead);
LONG AVIStreamStart(PAVISTREAM stream);
LONG AVIStreamLength(PAVISTREAM stream);

namespace quiva::media {
// Largest AVI file the writer makes (1 GiB unless a test changes it); a write past it fails.
void SetAviSizeLimit(uint64_t bytes);
// What RepairCutAvi made of a file.
enum class AviRepair {
    Whole,    // closed by its writer: left as it is
    Mended,   // a recording cut short, now playable with the frames its record names
    NoFrame,  // a recording whose record names no frame: left as it is, it holds no picture
    Refused,  // a cut file without the writer's record of it (left as it is, whatever it holds), one
              // its record does not match, or the mending could not be written
};
// Makes a recording whose writer never closed it (a crash: no index, sizes and counts of 0)
// playable with exactly the whole frames the writer's record beside it names (the writer keeps
// it while the file is open): what follows them is cut off, the index written, the sizes and
// counts filled in, then the record removed. A file without that record is never touched.
AviRepair RepairCutAvi(const wchar_t* path);
// Removes a recording, then the writer's record of its frames if one was left.
bool RemoveRecording(const wchar_t* path);
}  // namespace quiva::media
