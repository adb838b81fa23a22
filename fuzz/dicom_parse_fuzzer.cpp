// Feeds arbitrary bytes to the element parser, as a Part 10 stream and as an implicit-VR
// command set (how a C-STORE response is read), and checks that whatever parses encodes to a
// stream that parses back to the same encoding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dicom/CDicomElementList.h"
#include "dicom/DicomJpegHeader.h"
#include "platform/base/memoryapi.h"

namespace {

std::string EncodeToString(CDicomElementList& list)
{
    DWORD length = 0;
    BYTE* bytes = list.Encode(&length);
    std::string out;
    if (bytes) {
        out.assign(reinterpret_cast<char*>(bytes), length);
        VirtualFree(bytes, 0, MEM_RELEASE);
    }
    return out;
}

void ParseBytes(CDicomElementList& list, const BYTE* data, size_t size, DWORD mode)
{
    DicomCodingState& state = list.GetCodingState();
    state.vrMode = mode;
    state.inputLength = static_cast<DWORD>(size);
    list.Parse(data, &state);
    if (state.readOffset > size)
        std::abort();
}

int Depth(CDicomElementList& list)
{
    int deepest = 0;
    for (DicomElement* e = list.First(); e; e = list.Next()) {
        if (e->children) {
            const int d = 1 + Depth(*e->children);
            deepest = d > deepest ? d : deepest;
        }
    }
    return deepest;
}

// Whether a sequence (any element with children other than an item) holds an element outside
// the item group. Such input is malformed; a list keeps its elements in tag order, so the
// stray element is written ahead of the items and the sequence reads back differently.
bool SequenceHoldsNonItems(CDicomElementList& list)
{
    for (DicomElement* e = list.First(); e; e = list.Next()) {
        if (!e->children)
            continue;
        const bool item = e->group == 0xFFFE && e->element == 0xE000;
        if (!item) {
            for (DicomElement* c = e->children->First(); c; c = e->children->Next())
                if (c->group != 0xFFFE)
                    return true;
        }
        if (SequenceHoldsNonItems(*e->children))
            return true;
    }
    return false;
}

void ParseAndRoundTrip(const BYTE* data, size_t size, DWORD mode)
{
    CDicomElementList first;
    ParseBytes(first, data, size, mode);
    // Walk every value the way readers do.
    for (DicomElement* e = first.First(); e; e = first.Next()) {
        (void)e->GetValueText();
        (void)e->GetValueInt();
    }
    // A command group length without its value encodes as eight zero bytes, which read as the
    // end of the data: nothing to compare then.
    const DicomElement* groupLength = first.FindElement(0x0000, 0x0000);
    if (groupLength && groupLength->valueLength == 0)
        return;
    // Nesting cut off at the parser's depth limit does not read back the same way.
    if (Depth(first) >= 60)
        return;
    if (SequenceHoldsNonItems(first))
        return;
    const std::string encoded = EncodeToString(first);
    if (encoded.empty())
        return;
    // Values can put "DICM" or 128 zero bytes where a reader looks for the Part 10 prefix.
    const DicomCodingState& was = first.GetCodingState();
    const bool looksPart10 = encoded.size() >= 132 && (encoded.compare(128, 4, "DICM") == 0 || encoded.find_first_not_of('\0') >= 128);
    if ((!was.preamble && looksPart10) || (!was.dicmPrefix && encoded.compare(was.preamble ? 128 : 0, 4, "DICM") == 0))
        return;
    // Input whose identifying elements came before its file meta was read in one VR mode, but
    // written in tag order its transfer syntax names another: the rewrite reads differently.
    {
        CDicomElementList probe;
        DicomCodingState state;
        state.vrMode = first.GetCodingState().vrMode;
        state.inputLength = static_cast<DWORD>(encoded.size());
        probe.DetectEncoding(reinterpret_cast<const BYTE*>(encoded.data()), &state);
        if (state.vrMode != first.GetCodingState().vrMode)
            return;
    }
    // The encoding is in one VR mode throughout, the one the first parse ended in.
    CDicomElementList second;
    ParseBytes(second, reinterpret_cast<const BYTE*>(encoded.data()), encoded.size(), first.GetCodingState().vrMode);
    second.GetCodingState() = first.GetCodingState();
    const std::string again = EncodeToString(second);
    if (again != encoded) {
        std::fprintf(stderr, "re-encoding differs: %zu bytes, then %zu\n", encoded.size(), again.size());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    // An exactly sized copy, so that any read past the end is caught.
    BYTE* copy = static_cast<BYTE*>(std::malloc(size ? size : 1));
    if (size)
        std::memcpy(copy, data, size);

    ParseAndRoundTrip(copy, size, DICOM_VR_MODE_EXPLICIT);
    ParseAndRoundTrip(copy, size, DICOM_VR_MODE_IMPLICIT);

    CDicomElementList probe;
    DicomCodingState state;
    state.inputLength = static_cast<DWORD>(size);
    probe.DetectEncoding(copy, &state);

    DicomJpegHeader header;
    ReadDicomJpegHeader(copy, static_cast<DWORD>(size), &header);

    std::free(copy);
    return 0;
}
