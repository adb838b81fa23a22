#include "dicom/DicomJpegHeader.h"

#include <cstring>

#include "platform/base/bytes.h"

namespace {

bool IsFrameMarker(BYTE marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

bool ReadDicomJpegHeader(const BYTE* bytes, DWORD length, DicomJpegHeader* header)
{
    if (!bytes || !header || length < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return false;
    *header = DicomJpegHeader();
    bool haveFrame = false;
    size_t pos = 2;
    while (pos + 2 <= length) {
        if (bytes[pos] != 0xFF)
            return false;
        const BYTE marker = bytes[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no segment body
            pos += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA)  // end of image, start of scan
            break;
        if (pos + 4 > length)
            break;
        const size_t segmentLength = static_cast<size_t>(quiva::LoadBE16(bytes + pos + 2));
        if (segmentLength < 2 || pos + 2 + segmentLength > length)
            break;
        const BYTE* body = bytes + pos + 4;
        const size_t bodyLength = segmentLength - 2;
        if (marker == 0xE0 && bodyLength >= 5 && std::memcmp(body, "JFIF\0", 5) == 0) {
            header->jfif = true;
        } else if (marker == 0xEE && bodyLength >= 12 && std::memcmp(body, "Adobe", 5) == 0) {
            header->adobe = true;
            header->adobeTransform = body[11];
        } else if (IsFrameMarker(marker) && !haveFrame && bodyLength >= 6) {
            header->frameMarker = marker;
            header->precision = body[0];
            header->rows = quiva::LoadBE16(body + 1);
            header->columns = quiva::LoadBE16(body + 3);
            header->components = body[5];
            for (int i = 0; i < header->components && i < 4 && 6 + 3 * static_cast<size_t>(i) + 1 < bodyLength; ++i) {
                header->componentIds[i] = body[6 + 3 * i];
                header->sampling[i] = body[7 + 3 * i];
            }
            haveFrame = true;
        }
        pos += 2 + segmentLength;
    }
    return haveFrame;
}

const wchar_t* DicomJpegPhotometric(const DicomJpegHeader& header)
{
    if (header.components == 1)
        return L"MONOCHROME2";
    if (header.components != 3)
        return L"";
    const bool subsampled = header.sampling[1] != header.sampling[0] || header.sampling[2] != header.sampling[0];
    const wchar_t* ycc = subsampled ? L"YBR_FULL_422" : L"YBR_FULL";
    if (header.adobe)
        return header.adobeTransform == 0 ? L"RGB" : ycc;
    // Without either marker segment, components named R, G and B carry untransformed samples.
    if (!header.jfif && header.componentIds[0] == 'R' && header.componentIds[1] == 'G' && header.componentIds[2] == 'B')
        return L"RGB";
    return ycc;
}
