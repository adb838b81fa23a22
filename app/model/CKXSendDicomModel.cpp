#include "app/model/CKXSendDicomModel.h"

#include <memory>

#include "dicom/CSecondaryCaptureDicomDocument.h"
#include "dicom/DicomDictionary.h"
#include "dicom/DicomJpegHeader.h"
#include "dicom/DicomNetworkClient.h"
#include "framework/CKXAdoRecord.h"
#include "framework/CKXDataConnection.h"
#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/handle.h"
#include "platform/base/memoryapi.h"
#include "platform/base/wformat.h"
#include "platform/gdi/gdiplus.h"

using namespace Gdiplus;

namespace {

// Still files larger than this are not read.
constexpr DWORD kMaxFileBytes = 256u * 1024u * 1024u;

void Debug(const CString& text)
{
    OutputDebugStringW(text + L"\n");
}

CString Quoted(const CString& text)
{
    CString out = text;
    out.Replace(L"'", L"''");
    return out;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

CString OnlyDigits(const CString& text)
{
    CString out;
    for (int i = 0; i < text.GetLength(); ++i)
        if (IsDigit(text[i]))
            out += text[i];
    return out;
}

void FreeBlock(BYTE* block)
{
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

// The port's leading digits; 0 when there are none or they do not make a port.
WORD PortOf(const CString& text)
{
    long value = 0;
    for (int i = 0; i < text.GetLength() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > 65535)
            return 0;
    }
    return static_cast<WORD>(value);
}

}  // namespace

CKXSendDicomModel::CKXSendDicomModel() = default;
CKXSendDicomModel::~CKXSendDicomModel() = default;

CString CKXSendDicomModel::DigitsOnly(const CString& text)
{
    CString out;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (IsDigit(text[i]))
            out += text[i];
        else
            out += quiva::FormatWide(L"%d", static_cast<int>(static_cast<unsigned short>(text[i]))).c_str();
    }
    return out;
}

CString CKXSendDicomModel::DicomDate(const CString& text)
{
    CString d;
    for (int i = 0; i < text.GetLength(); ++i) {
        const wchar_t c = text[i];
        if (IsDigit(c))
            d += c;
        else if (c != L'-' && c != L'/' && c != L'.' && c != L' ')
            return CString();
    }
    if (d.GetLength() != 8)
        return CString();
    if (!quiva::IsCalendarDate(_wtoi(d.Mid(0, 4)), _wtoi(d.Mid(4, 2)), _wtoi(d.Mid(6, 2))))
        return CString();
    return d;
}

CString CKXSendDicomModel::SingleValue(const CString& given, int maxBytes)
{
    // Counted as the code page will hold it: decomposed Hangul as its syllables.
    const std::wstring text = quiva::ComposeHangul(given.str());
    CString out;
    int bytes = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i] == L'\\' ? L'_' : text[i];
        const int size = static_cast<int>(quiva::WideToMultiByte(std::wstring_view(&c, 1), CP_ACP).size());
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        out += c;
    }
    return out;
}

CString CKXSendDicomModel::PersonName(const CString& text)
{
    CString out;
    int start = 0;
    // A name has three component groups at most: a further "=" stays in the third.
    for (int group = 1;; ++group) {
        const int end = group < 3 ? text.Find(L'=', start) : -1;
        out += SingleValue(end < 0 ? text.Mid(start) : text.Mid(start, end - start), KX_DICOM_MAX_PN_GROUP);
        if (end < 0)
            return out;
        out += L'=';
        start = end + 1;
    }
}

CString CKXSendDicomModel::DicomSex(const CString& text)
{
    CString t = text;
    t.Trim();
    if (t.IsEmpty())
        return CString();
    t.MakeUpper();
    // Letters, Korean words, and the sex digit of a resident registration number.
    for (const wchar_t* male : {L"M", L"MALE", L"남", L"남자", L"1", L"3", L"5", L"7", L"9"})
        if (t == male)
            return L"M";
    for (const wchar_t* female : {L"F", L"FEMALE", L"여", L"여자", L"2", L"4", L"6", L"8", L"0"})
        if (t == female)
            return L"F";
    return L"O";
}

bool CKXSendDicomModel::IsValidUid(const CString& uid)
{
    if (uid.IsEmpty() || uid.GetLength() > KX_DICOM_MAX_UID)
        return false;
    bool componentEmpty = true;
    for (int i = 0; i < uid.GetLength(); ++i) {
        if (uid[i] == L'.') {
            if (componentEmpty)
                return false;
            componentEmpty = true;
        } else if (IsDigit(uid[i])) {
            componentEmpty = false;
        } else {
            return false;
        }
    }
    return !componentEmpty;
}

bool CKXSendDicomModel::IsValidAETitle(const CString& title)
{
    if (title.IsEmpty() || title.GetLength() > 16)
        return false;
    bool onlySpaces = true;
    for (int i = 0; i < title.GetLength(); ++i) {
        const wchar_t c = title.GetAt(i);
        if (c < 0x20 || c > 0x7E || c == L'\\')
            return false;
        onlySpaces = onlySpaces && c == L' ';
    }
    return !onlySpaces;
}

void CKXSendDicomModel::LoadPatient(const CString& chart)
{
    chartNo = chart;
    if (!connection)
        return;
    CKXAdoRecord record(connection);
    if (record.Open(L"SELECT PATIENT,GENDER,BIRTHDAY FROM PATIENT WHERE CNO = '" + Quoted(chart) + L"'") &&
        !record.IsEOF()) {
        patientName = record.GetFieldString(L"PATIENT");
        sex = record.GetFieldString(L"GENDER");
        birthDate = record.GetFieldString(L"BIRTHDAY");
    }
}

void CKXSendDicomModel::SetNetwork(const CString& newHost, const CString& ae, const CString& newPort, const CString& inst)
{
    // Another PACS is tried afresh.
    if (newHost != host || ae != calledAETitle || newPort != port)
        heldBack = -1;
    host = newHost;
    calledAETitle = ae;
    port = newPort;
    institution = inst;
}

void CKXSendDicomModel::SetDates(const CString& date, const CString& title)
{
    studyDate = date;
    studyDate.Remove(L'-');
    studyDate.Remove(L'/');
    studyTitle = title;
}

BYTE* CKXSendDicomModel::ReadImage(const CString& path, int* outColumns, int* outRows, BOOL* outGrey, int* outBits,
                                   DWORD* outLength, BOOL* outJpeg)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size < 2 || size > kMaxFileBytes) {
        CloseHandle(file);
        return nullptr;
    }
    auto* bytes = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD read = 0;
    const BOOL ok = bytes && ReadFile(file, bytes, size, &read, nullptr) && read == size;
    CloseHandle(file);
    if (!ok) {
        FreeBlock(bytes);
        return nullptr;
    }
    *outColumns = *outRows = *outBits = 0;
    *outGrey = 0;
    *outLength = 0;
    if (bytes[0] == 0xFF && bytes[1] == 0xD8) {
        *outJpeg = 1;
        DicomJpegHeader header;
        if (!ReadDicomJpegHeader(bytes, size, &header)) {
            Debug(L"SendFileName: the JPEG file has no frame header: " + path);
            FreeBlock(bytes);
            return nullptr;
        }
        // Only sequential Huffman coding has a transfer syntax here (baseline and extended).
        if (header.frameMarker != 0xC0 && header.frameMarker != 0xC1) {
            Debug(CString(quiva::FormatWide(L"SendFileName: JPEG coding %02X is not sent: ", header.frameMarker).c_str()) + path);
            FreeBlock(bytes);
            return nullptr;
        }
        jpegFrameMarker = header.frameMarker;
        *outBits = header.precision;
        *outRows = header.rows;
        *outColumns = header.columns;
        *outGrey = header.components == 1 ? 1 : 0;
        *outLength = size;
        if (header.rows <= 0 || header.columns <= 0 || (header.components != 1 && header.components != 3)) {
            Debug(L"SendFileName: the JPEG frame header is not usable: " + path);
            FreeBlock(bytes);
            return nullptr;
        }
        return bytes;
    }
    *outJpeg = 0;
    BYTE* pixels = DecodePixels(bytes, size);
    FreeBlock(bytes);
    if (!pixels)
        return nullptr;
    *outColumns = columns;
    *outRows = rows;
    *outGrey = grayscale;
    *outBits = 8;
    *outLength = pixelByteLength;
    return pixels;
}

BYTE* CKXSendDicomModel::DecodePixels(const BYTE* file, DWORD size)
{
    std::unique_ptr<Bitmap> image(Bitmap::FromMemory(file, size));
    if (!image || image->GetLastStatus() != Ok || image->GetWidth() == 0 || image->GetHeight() == 0)
        return nullptr;
    const uint64_t w = image->GetWidth(), h = image->GetHeight();
    if (w > KX_DICOM_MAX_SIDE || h > KX_DICOM_MAX_SIDE || w * h * 3 > KX_DICOM_MAX_PIXEL_BYTES) {
        Debug(L"SendFileName: the image is too large to send");
        return nullptr;
    }
    PixelFormat format = image->GetPixelFormat();
    const UINT sourceBits = GetPixelFormatSize(format);
    // The actual palette; indexes past it read as black.
    std::vector<ARGB> palette;
    if (sourceBits <= 8) {
        std::vector<BYTE> block(static_cast<size_t>(image->GetPaletteSize()));
        auto* p = reinterpret_cast<ColorPalette*>(block.data());
        if (image->GetPalette(p, static_cast<INT>(block.size())) == Ok)
            palette.assign(p->Entries, p->Entries + p->Count);
    }
    bool grey = sourceBits <= 8 && !palette.empty();
    for (ARGB e : palette)
        grey = grey && ((e >> 16) & 0xFF) == ((e >> 8) & 0xFF) && ((e >> 8) & 0xFF) == (e & 0xFF);

    BitmapData data{};
    if (image->LockBits(nullptr, ImageLockModeRead, format, &data) != Ok) {
        // No rows in the file's own form (a PNG, say): the decoded colours.
        format = PixelFormat24bppRGB;
        if (image->LockBits(nullptr, ImageLockModeRead, format, &data) != Ok)
            return nullptr;
        grey = false;
    }
    const UINT bpp = GetPixelFormatSize(format);
    const uint64_t samples = grey ? 1 : 3;
    const uint64_t length = w * h * samples;
    auto* out = static_cast<BYTE*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(length), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!out) {
        image->UnlockBits(&data);
        return nullptr;
    }
    auto entry = [&](uint32_t index) { return index < palette.size() ? palette[index] : 0xFF000000u; };
    const bool rgb565 = format == PixelFormat16bppRGB565;
    for (uint64_t y = 0; y < h; ++y) {
        const BYTE* row = static_cast<const BYTE*>(data.Scan0) + static_cast<int64_t>(y) * data.Stride;
        BYTE* dst = out + y * w * samples;
        for (uint64_t x = 0; x < w; ++x, dst += samples) {
            uint32_t r = 0, g = 0, b = 0;
            if (bpp <= 8) {
                const uint64_t bit = x * bpp;
                const uint32_t index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                const ARGB e = entry(index);
                r = (e >> 16) & 0xFF, g = (e >> 8) & 0xFF, b = e & 0xFF;
            } else if (bpp == 16) {
                const uint32_t v = row[x * 2] | (row[x * 2 + 1] << 8);
                // To eight bits rounded to the nearest, as the image decoder widens them.
                auto wide = [](uint32_t x, uint32_t max) { return (x * 255 + max / 2) / max; };
                if (rgb565) {
                    r = wide((v >> 11) & 0x1F, 31), g = wide((v >> 5) & 0x3F, 63), b = wide(v & 0x1F, 31);
                } else {
                    r = wide((v >> 10) & 0x1F, 31), g = wide((v >> 5) & 0x1F, 31), b = wide(v & 0x1F, 31);
                }
            } else if (bpp == 24 || bpp == 32) {
                const BYTE* s = row + x * (bpp / 8);
                b = s[0], g = s[1], r = s[2];
            }
            if (grey) {
                dst[0] = static_cast<BYTE>(r);
            } else {
                dst[0] = static_cast<BYTE>(r);
                dst[1] = static_cast<BYTE>(g);
                dst[2] = static_cast<BYTE>(b);
            }
        }
    }
    image->UnlockBits(&data);
    columns = static_cast<int>(w);
    rows = static_cast<int>(h);
    grayscale = grey ? 1 : 0;
    pixelByteLength = static_cast<DWORD>(length);
    return out;
}

BOOL CKXSendDicomModel::Missed(int why)
{
    ++missed[why];
    return FALSE;
}

CString CKXSendDicomModel::MissedMessage() const
{
    static const wchar_t* const kWhy[KX_PACS_MISS_KINDS] = {
        L"PACS에 연결할 수 없습니다", L"PACS가 영상을 받지 않았습니다", L"PACS가 응답하지 않습니다",
        L"보낼 수 없는 영상입니다",   L"PACS가 연결을 끊었습니다",      L"PACS 설정 오류입니다 (AE Title)"};
    int total = 0;
    for (int count : missed)
        total += count;
    if (total == 0)
        return CString();
    CString text = quiva::FormatWide(L"영상 %d장이 PACS에 저장되지 않았습니다.", total).c_str();
    for (int why = 0; why < KX_PACS_MISS_KINDS; ++why)
        if (missed[why])
            text += quiva::FormatWide(L"\n%s: %d장", kWhy[why], missed[why]).c_str();
    return text;
}

BOOL CKXSendDicomModel::BuildAndSend(int imgNo, const CString& path, int ono)
{
    Debug(L"SendFileName#1");
    if (imgNo <= 0) {
        Debug(L"SendFileName: no image number, the still is not sent: " + path);
        return Missed(KX_PACS_UNSENDABLE);
    }
    jpegFrameMarker = 0;
    BYTE* buffer = ReadImage(path, &columns, &rows, &grayscale, &bits, &pixelByteLength, &jpegFlag);
    Debug(L"SendFileName#1-1");
    if (!buffer) {
        Debug(L"SendFileName: the still cannot be read and is not sent: " + path);
        return Missed(KX_PACS_UNSENDABLE);
    }
    Debug(L"SendFileName#2");
    studyUid = quiva::FormatWide(L"%s.1.%s.%s.1.%s.%s.%d", DICOM_ORGANISATION_ROOT, L"11", OnlyDigits(institution).GetString(),
                                 DigitsOnly(chartNo).GetString(), studyDate.GetString(), ono)
                   .c_str();
    seriesUid = studyUid + L".1";
    studyId = quiva::FormatWide(L"%s%04d", studyDate.GetString(), ono).c_str();
    instanceUid = seriesUid + quiva::FormatWide(L".%d", imgNo).c_str();
    if (!IsValidUid(studyUid) || !IsValidUid(instanceUid)) {
        Debug(L"SendFileName: the UIDs are not valid DICOM UIDs, the still is not sent: " + instanceUid);
        FreeBlock(buffer);
        return Missed(KX_PACS_UNSENDABLE);
    }

    Debug(L"SendFileName#3");
    CSecondaryCaptureDicomDocument document;
    // Text the host and the clinic records hand over goes in as one value within its limit.
    const CString description = SingleValue(studyTitle, KX_DICOM_MAX_LO);
    document.SetPatient(SingleValue(chartNo, KX_DICOM_MAX_LO), PersonName(patientName), DicomDate(birthDate), DicomSex(sex));
    document.SetStudy(studyUid, studyId, studyDate, L"000000", description, studyId, L"SC", L"0");
    document.SetSeries(seriesUid, description, CString(quiva::FormatWide(L"%d", ono).c_str()), L"");
    document.SetImage(instanceUid, columns, rows, grayscale, imgNo, bits);
    if (jpegFlag) {
        const bool baseline = jpegFrameMarker == 0xC0 && bits == 8;
        document.SetString(DICOM_TAG(0x0002, 0x0010),
                           baseline ? DICOM_TRANSFER_SYNTAX_JPEG_BASELINE : DICOM_TRANSFER_SYNTAX_JPEG_EXTENDED, DICOM_VR_UI);
        document.SetEncapsulatedPixelData(buffer, pixelByteLength);
    } else {
        document.SetPixelData(buffer, pixelByteLength);
    }
    FreeBlock(buffer);

    Debug(L"SendFileName#4");
    DicomCodingState& state = document.GetCodingState();
    state.preamble = state.dicmPrefix = state.fileMeta = 1;
    DWORD length = 0;
    BYTE* bytes = document.Encode(&length);
    Debug(L"SendFileName#5");
    int why = KX_PACS_UNSENDABLE;
    if (!bytes || !length) {
        Debug(L"DICOM: the object could not be encoded: " + instanceUid);
    } else if (heldBack >= 0) {
        Debug(L"DICOM: the PACS could not be reached, did not answer or is not set up in this commit, the still is not tried: " +
              instanceUid);
        why = heldBack;
    } else if (!IsValidAETitle(calledAETitle)) {
        // No association can be asked for under this title: the settings are at fault, once.
        Debug(L"DICOM: the PACS's AE title in the settings is not a valid AE title (1 to 16 characters), no still is sent: " +
              calledAETitle);
        why = heldBack = KX_PACS_SETTINGS;
    } else {
        why = Store(bytes, length, document.GetSopClassUid(), document.GetTransferSyntaxUid());
        if (why == KX_PACS_UNREACHABLE || why == KX_PACS_SILENT || why == KX_PACS_SETTINGS)
            heldBack = why;
    }
    FreeBlock(bytes);
    document.Clear();
    return why < 0 ? TRUE : Missed(why);
}

int CKXSendDicomModel::Store(const BYTE* bytes, DWORD length, const CString& sopClass, const CString& transferSyntax)
{
    auto client = std::make_unique<CDicomNetworkClient>();
    Debug(calledAETitle);
    Debug(host);
    Debug(port);
    Debug(L"DICOM#1");
    const WORD portNumber = PortOf(port);
    client->SetServer(calledAETitle, host, portNumber);
    Debug(L"DICOM#2");
    client->SetCallingAETitle(KX_DICOM_CALLING_AE);
    Debug(L"DICOM#3");
    client->AddPresentationContext(sopClass, transferSyntax);
    if (portNumber == 0 || host.IsEmpty()) {
        Debug(L"DICOM: no PACS address, the still is not sent: " + instanceUid);
        return KX_PACS_UNREACHABLE;
    }
    if (!client->ConnectAndAssociate()) {
        switch (client->GetAssociateFailure()) {
        case DicomAssociateFailure::Unreachable:
            Debug(L"DICOM: no association with the PACS (it cannot be reached), the still is not sent: " + instanceUid);
            return KX_PACS_UNREACHABLE;
        case DicomAssociateFailure::Silent:
            Debug(L"DICOM: no association with the PACS (it did not answer), the still is not sent: " + instanceUid);
            return KX_PACS_SILENT;
        case DicomAssociateFailure::Refused:
            Debug(L"DICOM: no association with the PACS (it refused), the still is not sent: " + instanceUid);
            return KX_PACS_REFUSED;
        case DicomAssociateFailure::CalledTitleUnknown:
            Debug(L"DICOM: no association with the PACS (it knows no AE title " + calledAETitle +
                  L"), the still is not sent: " + instanceUid);
            return KX_PACS_SETTINGS;
        case DicomAssociateFailure::Dropped:
            Debug(L"DICOM: no association with the PACS (it dropped the connection before it answered), the still is not sent: " +
                  instanceUid);
            return KX_PACS_DROPPED;
        default:
            Debug(L"DICOM: no association with the PACS (no request can be made), the still is not sent: " + instanceUid);
            return KX_PACS_UNSENDABLE;
        }
    }
    int why = -1;
    if (!client->StoreDocument(bytes, length)) {
        const WORD status = client->GetLastStatus();
        // What the PACS answered to the proposed context.
        DicomAssociationRequest* a = client->GetAssociation();
        const DicomPresentationContext* proposed = a ? a->calling.contexts.FindByAbstractSyntax(sopClass) : nullptr;
        const DicomPresentationContext* answer = proposed ? a->called.contexts.FindById(proposed->id) : nullptr;
        const bool accepted = answer && answer->result == DICOM_PC_ACCEPTANCE &&
                              answer->firstTransferSyntax.CompareNoCase(transferSyntax) == 0;
        if (status != 0xFFFF) {
            Debug(CString(quiva::FormatWide(L"DICOM: the PACS did not store %s (status %04X)", instanceUid.GetString(), status).c_str()));
            why = KX_PACS_REFUSED;
        } else if (!accepted) {
            Debug(L"DICOM: the PACS did not accept the still's kind or coding, the still is not sent: " + instanceUid);
            why = KX_PACS_REFUSED;
        } else if (client->PeerEnded()) {
            Debug(L"DICOM: the PACS did not store " + instanceUid +
                  L": it dropped the association (an abort, or the connection closed or reset)");
            why = KX_PACS_DROPPED;
        } else {
            Debug(L"DICOM: the PACS did not store " + instanceUid + L": no response was read (it did not answer)");
            why = KX_PACS_SILENT;
        }
    }
    if (client->Release())
        client->CloseSocket();
    return why;
}
