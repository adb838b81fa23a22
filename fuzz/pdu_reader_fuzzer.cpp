// Feeds arbitrary bytes, cut into chunks of arbitrary sizes, to the storage client's PDU
// reassembly, and every PDU it completes to the reader of its type; collected response bytes
// go through the command-set parser.
#include <cstddef>
#include <cstdint>

#include "dicom/DicomNetworkClient.h"

namespace {

class Harness : public CDicomNetworkClient {
public:
    Harness()
    {
        SetServer(L"PACS", L"127.0.0.1", 104);
        SetCallingAETitle(L"HRBIMAGE");
        AddPresentationContext(L"1.2.840.10008.5.1.4.1.1.7", L"1.2.840.10008.1.2.1");
        Association().calling.contexts.Add(L"1.2.840.10008.1.1", L"1.2.840.10008.1.2", DICOM_ROLE_SCU);
    }

    void Dispatch()
    {
        if (!m_receive || m_receive->length == 0)
            return;
        const BYTE* pdu = m_receive->bytes;
        const DWORD length = m_receive->length;
        switch (pdu[0]) {
        case DICOM_PDU_ASSOCIATE_AC:
            ParseAssociateAccept(pdu, length);
            break;
        case DICOM_PDU_ASSOCIATE_RJ:
            ParseAssociateReject(pdu, length);
            break;
        case DICOM_PDU_P_DATA_TF:
            if (DicomPresentationContext* c = ParsePDataTF(pdu, length)) {
                if (c->collection && c->collection->length > 0 && Association().receiveLastState == 2) {
                    CDicomElementList response;
                    DicomCodingState& state = response.GetCodingState();
                    state.vrMode = DICOM_VR_MODE_IMPLICIT;
                    state.inputLength = c->collection->length;
                    response.Parse(c->collection->bytes, &state);
                    if (DicomElement* e = response.FindElement(0x0000, 0x0900))
                        DicomStoreStatusStored(static_cast<WORD>(e->GetValueInt()));
                    c->collection->Reset();
                }
            }
            break;
        default:
            break;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses the largest chunk the transport hands on (as a socket might).
    const size_t maxChunk = (data[0] % 32) + 1;
    ++data;
    --size;
    Harness client;
    client.ResetReceiveBuffer();
    size_t pos = 0;
    DWORD want = 8;
    while (pos < size) {
        size_t n = want < maxChunk ? want : maxChunk;
        if (n > 1024)
            n = 1024;
        if (n > size - pos)
            n = size - pos;
        const DWORD more = client.OnReceived(data + pos, static_cast<DWORD>(n));
        pos += n;
        if (more == CKXNetClient::kReceiveRefused)
            break;
        if (more == 0) {
            client.Dispatch();
            client.ResetReceiveBuffer();
            want = 8;
        } else {
            want = more;
        }
    }
    return 0;
}
