#include "dicom/DicomNetworkClient.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

#include "dicom/DicomDictionary.h"
#include "platform/base/bytes.h"
#include "platform/base/clock.h"
#include "platform/base/memoryapi.h"
#include "platform/base/winpath.h"

std::atomic<WORD> DicomMessageId{0};

namespace {

std::mutex g_dumpMutex;
CString g_dumpPath = L"c:\\pdata.dmp";

// The smallest length field each PDU type can carry, and the largest we accept.
bool PduLengthAcceptable(BYTE type, uint32_t length, DWORD ownMaxPdu)
{
    switch (type) {
    case DICOM_PDU_P_DATA_TF:
        return length >= 6 && length <= ownMaxPdu;
    case DICOM_PDU_ASSOCIATE_AC:
        return length >= 68 && length <= DICOM_MAX_CONTROL_PDU;
    case DICOM_PDU_ASSOCIATE_RJ:
    case DICOM_PDU_RELEASE_RQ:
    case DICOM_PDU_RELEASE_RP:
    case DICOM_PDU_ABORT:
        return length >= 4 && length <= DICOM_MAX_CONTROL_PDU;
    default:
        return false;
    }
}

// Writes the response bytes to the dump file: created anew, owner-only, never through a link.
void WriteDump(const BYTE* bytes, DWORD length)
{
    CString path = CDicomNetworkClient::GetDumpPath();
    if (path.IsEmpty())
        return;
    std::optional<std::string> native = quiva::NativePath(path.GetString());
    if (!native)
        return;
    int fd = ::open(native->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    DWORD done = 0;
    while (done < length) {
        ssize_t n = ::write(fd, bytes + done, length - done);
        if (n <= 0)
            break;
        done += static_cast<DWORD>(n);
    }
    ::close(fd);
}

// Where the data set of Part 10 bytes begins: after the preamble, "DICM" and the file meta group
// (explicit VR little endian, as it always is); -1 when that cannot be told (the bytes are then
// parsed whole).
int64_t DataSetOffset(const BYTE* bytes, DWORD length)
{
    uint64_t pos = 0;
    bool zeros = length >= 128;
    for (size_t i = 0; zeros && i < 128; ++i)
        zeros = bytes[i] == 0;
    if (zeros || (length >= 132 && std::memcmp(bytes + 128, "DICM", 4) == 0))
        pos = 128;
    if (length - pos >= 4 && std::memcmp(bytes + pos, "DICM", 4) == 0)
        pos += 4;
    while (length - pos >= 8 && quiva::LoadLE16(bytes + pos) == 0x0002) {
        const BYTE* e = bytes + pos;
        static const char* const kLongForms[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
        const bool longForm = std::any_of(std::begin(kLongForms), std::end(kLongForms),
                                          [&](const char* vr) { return std::memcmp(e + 4, vr, 2) == 0; });
        if (longForm && length - pos < 12)
            return -1;
        const uint64_t value = longForm ? quiva::LoadLE32(e + 8) : quiva::LoadLE16(e + 6);
        if (value == DICOM_UNDEFINED_LENGTH)
            return -1;
        pos += (longForm ? 12 : 8) + value;
        if (pos > length)
            return -1;
    }
    // A command group in front of the data set is taken out by the parse.
    if (length - pos >= 2 && quiva::LoadLE16(bytes + pos) <= 0x0002)
        return -1;
    return static_cast<int64_t>(pos);
}

// The elements that name an object (SOP class and instance) come first in its data set; this
// much of it is read to find them.
constexpr DWORD kHeadBytes = 64 * 1024;

// Whether every element of a command set read from `length` bytes lies whole within them: the
// parser keeps an element that the end of its input cuts, with the bytes that were there.
bool CommandSetWhole(CDicomElementList& command, DWORD length)
{
    uint64_t taken = 0;
    for (const DicomElement* e = command.First(); e; e = command.Next()) {
        if (e->length == DICOM_UNDEFINED_LENGTH || e->children)
            return false;
        taken += 8 + uint64_t(e->length);
    }
    return taken <= length;
}

}  // namespace

bool DicomStoreStatusStored(WORD status)
{
    return status == 0x0000 || status == 0x0001 || (status & 0xF000) == 0xB000 || status == 0x0107 ||
           status == 0x0116;
}

CDicomNetworkClient::CDicomNetworkClient()
{
    Startup(2);
    m_receive = DicomBuffer::Create();
}

CDicomNetworkClient::~CDicomNetworkClient()
{
    DicomBuffer::Free(m_receive);
}

void CDicomNetworkClient::SetDumpPath(const CString& path)
{
    std::lock_guard<std::mutex> lock(g_dumpMutex);
    g_dumpPath = path;
}

CString CDicomNetworkClient::GetDumpPath()
{
    std::lock_guard<std::mutex> lock(g_dumpMutex);
    return g_dumpPath;
}

bool CDicomNetworkClient::SetServer(const CString& calledAETitle, const CString& host, WORD port)
{
    SetCalledAETitle(calledAETitle);
    SetHost(host);
    SetPort(port);
    return true;
}

void CDicomNetworkClient::SetCalledAETitle(const CString& title) { Association().called.aeTitle = title; }

void CDicomNetworkClient::SetCallingAETitle(const CString& title) { Association().calling.aeTitle = title; }

void CDicomNetworkClient::AddPresentationContext(const CString& abstractSyntax, const CString& transferSyntax)
{
    DicomAssociationRequest& a = Association();
    if (abstractSyntax.IsEmpty() || transferSyntax.IsEmpty()) {
        ProposeDefaultContexts();
        return;
    }
    a.called.contexts.Clear();
    a.calling.contexts.Clear();
    a.calling.contexts.Add(abstractSyntax, transferSyntax, DICOM_ROLE_SCU);
}

bool CDicomNetworkClient::Connect(const CString& host, WORD port)
{
    return CKXNetClient::Connect(host, port, 1000, 5);
}

void CDicomNetworkClient::CloseSocket() { CloseConnection(); }

bool CDicomNetworkClient::ConnectAndAssociate()
{
    m_associateFailure = DicomAssociateFailure::None;
    if (!Connect(CString(), 0)) {
        m_associateFailure = DicomAssociateFailure::Unreachable;
        return false;
    }
    return Associate();
}

void CDicomNetworkClient::ResetReceiveBuffer()
{
    if (m_receive)
        m_receive->Reset();
}

BYTE CDicomNetworkClient::ReceivedType() const
{
    return m_receive && m_receive->length > 0 ? m_receive->bytes[0] : 0;
}

DWORD CDicomNetworkClient::OnReceived(const BYTE* bytes, DWORD count)
{
    if (!m_receive || !m_receive->Append(bytes, count))
        return kReceiveRefused;
    const DWORD held = m_receive->length;
    if (held < 6)
        return 6 - held;
    const BYTE type = m_receive->bytes[0];
    const uint32_t length = quiva::LoadBE32(m_receive->bytes + 2);
    const DWORD ownMax = m_association ? m_association->ownMaxPdu : DICOM_OWN_MAX_PDU;
    if (!PduLengthAcceptable(type, length, ownMax)) {
        Abort(type == DICOM_PDU_ASSOCIATE_RQ || type > DICOM_PDU_ABORT || type == 0 ? DICOM_ABORT_REASON_UNEXPECTED_PDU
                                                                                   : DICOM_ABORT_REASON_INVALID_PARAMETER);
        return kReceiveRefused;
    }
    const uint64_t total = uint64_t(length) + 6;
    if (held > total) {
        Abort(DICOM_ABORT_REASON_INVALID_PARAMETER);
        return kReceiveRefused;
    }
    return static_cast<DWORD>(total - held);
}

void CDicomNetworkClient::Abort(BYTE reason)
{
    if (IsConnected()) {
        if (DicomBuffer* pdu = BuildAbort(DICOM_ABORT_SOURCE_PROVIDER, reason)) {
            CKXNetClient::Send(pdu->bytes, pdu->length);
            DicomBuffer::Free(pdu);
        }
    }
    CloseConnection();
}

bool CDicomNetworkClient::Associate()
{
    DicomBuffer* request = BuildAssociateRequest();
    if (!request) {
        CloseConnection();
        return false;
    }
    CKXNetClient::Send(request->bytes, request->length);
    DicomBuffer::Free(request);

    if (!Receive() || ReceivedType() == 0) {
        m_associateFailure = PeerEnded() ? DicomAssociateFailure::Dropped : DicomAssociateFailure::Silent;
        CloseConnection();
        return false;
    }
    m_associateFailure = DicomAssociateFailure::Refused;
    switch (ReceivedType()) {
    case DICOM_PDU_ASSOCIATE_AC:
        if (!ParseAssociateAccept(m_receive->bytes, m_receive->length)) {
            Abort(DICOM_ABORT_REASON_INVALID_PARAMETER);
            return false;
        }
        m_receive->Reset();
        m_associateFailure = DicomAssociateFailure::None;
        return true;
    case DICOM_PDU_ASSOCIATE_RJ:
        if (ParseAssociateReject(m_receive->bytes, m_receive->length) &&
            m_association->rejectSource == DICOM_REJECT_SOURCE_SERVICE_USER &&
            m_association->rejectReason == DICOM_REJECT_REASON_CALLED_AE_UNKNOWN)
            m_associateFailure = DicomAssociateFailure::CalledTitleUnknown;
        CloseConnection();
        return false;
    case DICOM_PDU_ABORT:
        CloseConnection();
        return false;
    default:
        Abort(DICOM_ABORT_REASON_UNEXPECTED_PDU);
        return false;
    }
}

CDicomElementList* CDicomNetworkClient::BuildStoreCommand(CDicomElementList* document)
{
    if (!document)
        return nullptr;
    DicomElement* sopClass = document->FindElement(0x0008, 0x0016);
    DicomElement* sopInstance = document->FindElement(0x0008, 0x0018);
    if (!sopClass || !sopInstance)
        return nullptr;

    CDicomElementList* command = new CDicomElementList();
    const WORD messageId = ++DicomMessageId;
    m_messageId = messageId;
    struct Field {
        WORD element;
        DWORD vr;
        const DicomElement* uidFrom;
        WORD number;
    } fields[] = {
        {0x0002, DICOM_VR_UI, sopClass, 0},   {0x0100, DICOM_VR_US, nullptr, 0x0001},
        {0x0110, DICOM_VR_US, nullptr, messageId}, {0x0700, DICOM_VR_US, nullptr, 0x0000},
        {0x0800, DICOM_VR_US, nullptr, 0x0000},    {0x1000, DICOM_VR_UI, sopInstance, 0},
    };
    DWORD groupLength = 0;
    const DicomCodingState zero{};
    for (const Field& f : fields) {
        DicomElement* e = CDicomElementList::CreateElement(0x0000, f.element, nullptr, 0, 0, f.vr);
        bool ok = e != nullptr;
        if (ok && f.uidFrom)
            ok = e->SetValueText(f.uidFrom->GetValueText());
        else if (ok)
            ok = e->SetValueBytes(&f.number, 2);
        DicomBuffer* coded = ok ? CDicomElementList::EncodeElement(zero, e) : nullptr;
        if (!coded || !command->Insert(e)) {
            DicomBuffer::Free(coded);
            delete e;
            delete command;
            return nullptr;
        }
        groupLength += coded->length;
        DicomBuffer::Free(coded);
    }
    DicomElement* length = CDicomElementList::CreateElement(0x0000, 0x0000, &groupLength, 4, 4, DICOM_VR_UL);
    if (!length || !command->Insert(length)) {
        delete length;
        delete command;
        return nullptr;
    }
    return command;
}

bool CDicomNetworkClient::StoreDocument(const BYTE* bytes, DWORD length)
{
    if (!IsConnected() || !bytes || length == 0)
        return false;
    // Only the head is parsed (the file meta and the elements that name the object); the data
    // set goes out in PDUs sliced from the caller's bytes as they are coded.
    const int64_t dataSet = m_association ? DataSetOffset(bytes, length) : -1;
    if (dataSet >= 0) {
        std::unique_ptr<CDicomElementList> head(new CDicomElementList());
        DicomCodingState& state = head->GetCodingState();
        state.inputLength = static_cast<DWORD>(std::min<uint64_t>(length, uint64_t(dataSet) + kHeadBytes));
        head->Parse(bytes, &state);
        if (head->FindElement(0x0008, 0x0016) && head->FindElement(0x0008, 0x0018)) {
            const DicomPresentationContext* context = AcceptedContext(head.get());
            return context && SendCommand(head.get(), context->id) &&
                   SendFragments(bytes + dataSet, static_cast<DWORD>(length - dataSet), context->id, false) &&
                   ReceiveStoreResponse();
        }
    }
    CDicomElementList* document = new CDicomElementList();
    document->GetCodingState().inputLength = length;
    document->Parse(bytes, &document->GetCodingState());
    return Store(document);
}

DicomPresentationContext* CDicomNetworkClient::AcceptedContext(CDicomElementList* document)
{
    CString sopClass = document->GetText(DICOM_TAG(0x0008, 0x0016));
    // Data goes only on a context the peer accepted, in a transfer syntax we proposed.
    DicomPresentationContext* proposed = m_association->calling.contexts.FindByAbstractSyntax(sopClass);
    if (!proposed)
        return nullptr;
    DicomPresentationContext* answer = m_association->called.contexts.FindById(proposed->id);
    bool accepted = answer && answer->result == DICOM_PC_ACCEPTANCE;
    if (accepted) {
        accepted = false;
        for (const CString& ts : proposed->transferSyntaxes)
            accepted = accepted || ts.CompareNoCase(answer->firstTransferSyntax) == 0;
        // The data set goes out coded as the document is; on a context agreed for another
        // transfer syntax the peer would read it wrongly and keep a corrupted object.
        const CString documentSyntax = document->GetText(DICOM_TAG(0x0002, 0x0010));
        if (!documentSyntax.IsEmpty() && documentSyntax.CompareNoCase(answer->firstTransferSyntax) != 0)
            accepted = false;
    }
    if (!accepted) {
        ReleaseAssociation();
        CloseConnection();
        return nullptr;
    }
    return proposed;
}

bool CDicomNetworkClient::SendCommand(CDicomElementList* document, BYTE contextId)
{
    std::unique_ptr<CDicomElementList> command(BuildStoreCommand(document));
    if (!command)
        return false;
    DWORD commandLength = 0;
    BYTE* commandBytes = command->Encode(&commandLength);
    command.reset();
    if (!commandBytes)
        return false;
    const bool sent = SendFragments(commandBytes, commandLength, contextId, true);
    VirtualFree(commandBytes, 0, MEM_RELEASE);
    return sent;
}

bool CDicomNetworkClient::Store(CDicomElementList* document)
{
    std::unique_ptr<CDicomElementList> owned(document);
    if (!document || !m_association || !IsConnected())
        return false;
    const DicomPresentationContext* context = AcceptedContext(document);
    if (!context || !SendCommand(document, context->id))
        return false;

    // The data set alone: no command group, no file meta group, no preamble or "DICM".
    document->RemoveCommandGroup();
    for (DicomElement* e = document->First(); e;) {
        if (e->group != 0x0002)
            break;
        document->RemoveElement(e->group, e->element);
        e = document->First();
    }
    DicomCodingState& state = document->GetCodingState();
    state.preamble = 0;
    state.dicmPrefix = 0;
    state.fileMeta = 0;
    DWORD dataLength = 0;
    BYTE* dataBytes = document->Encode(&dataLength);
    owned.reset();
    if (!dataBytes)
        return false;
    const bool sent = SendFragments(dataBytes, dataLength, context->id, false);
    VirtualFree(dataBytes, 0, MEM_RELEASE);
    return sent && ReceiveStoreResponse();
}

bool CDicomNetworkClient::ReceiveStoreResponse()
{
    std::unique_ptr<CDicomElementList> response(ReceiveResponse());
    if (!response)
        return false;
    DicomElement* field = response->FindElement(0x0000, 0x0100);
    DicomElement* answered = response->FindElement(0x0000, 0x0120);
    DicomElement* status = response->FindElement(0x0000, 0x0900);
    if (!field || field->GetValueInt() != 0x8001 || !answered || answered->GetValueInt() != m_messageId || !status)
        return false;
    m_lastStatus = static_cast<WORD>(status->GetValueInt());
    return DicomStoreStatusStored(m_lastStatus);
}

bool CDicomNetworkClient::SendFragments(const BYTE* bytes, DWORD length, BYTE contextId, bool command)
{
    const DWORD peerMax = m_association ? m_association->peerMaxPdu : 0;
    const DWORD limit = peerMax > 14 ? peerMax - 14 : 0xFFFFFFFFu - 12;
    if (length > 0 && !bytes)
        return false;
    DWORD offset = 0;
    do {
        const DWORD remaining = length - offset;
        const DWORD chunk = remaining < limit ? remaining : limit;
        const bool last = chunk == remaining;
        // The PDU goes out as its header and a slice of the message, without copying the slice.
        BYTE header[12];
        BuildPDataTFHeader(header, chunk, contextId, command, last);
        const WSABUF parts[2] = {{sizeof(header), reinterpret_cast<char*>(header)},
                                 {chunk, reinterpret_cast<char*>(const_cast<BYTE*>(bytes)) + offset}};
        if (!SendParts(parts, 2))
            return false;
        offset += chunk;
    } while (offset < length);
    return true;
}

CDicomElementList* CDicomNetworkClient::ReceiveResponse()
{
    if (!m_association)
        return nullptr;
    DicomAssociationRequest& a = *m_association;
    a.receiveCommandState = 0;
    a.receiveLastState = 0;
    for (size_t i = 0; i < a.calling.contexts.GetCount(); ++i)
        if (DicomBuffer* c = a.calling.contexts.GetAt(i)->collection)
            c->Reset();
    ResetReceiveBuffer();

    // One deadline for the whole response, however it is split.
    SetReceiveDeadline(quiva::CurrentClock().TickMs() + StallLimitMs());
    DicomPresentationContext* context = nullptr;
    bool complete = false;
    while (!complete) {
        if (!Receive()) {
            SetReceiveDeadline(0);
            return nullptr;
        }
        const BYTE type = ReceivedType();
        if (type == DICOM_PDU_ABORT) {
            // The peer dropped the association: it did answer, so it is no silent peer.
            m_peerEnded = true;
            CloseConnection();
            break;
        }
        if (type != DICOM_PDU_P_DATA_TF) {
            Abort(DICOM_ABORT_REASON_UNEXPECTED_PDU);
            break;
        }
        DicomPresentationContext* named = ParsePDataTF(m_receive->bytes, m_receive->length);
        m_receive->Reset();
        // The cap counts what every context collected: a PDU may name several.
        uint64_t collected = 0;
        for (size_t i = 0; i < a.calling.contexts.GetCount(); ++i)
            if (const DicomBuffer* c = a.calling.contexts.GetAt(i)->collection)
                collected += c->length;
        // The response is a command set on one context.
        if (!named || (context && named != context) || a.receiveCommandState != 2 ||
            collected > DICOM_MAX_RESPONSE_BYTES) {
            Abort(DICOM_ABORT_REASON_INVALID_PARAMETER);
            break;
        }
        context = named;
        complete = a.receiveLastState == 2;
    }
    SetReceiveDeadline(0);
    if (!complete || !context || !context->collection || context->collection->length == 0)
        return nullptr;

    DicomBuffer* collected = context->collection;
    WriteDump(collected->bytes, collected->length);
    std::unique_ptr<CDicomElementList> response(new CDicomElementList());
    DicomCodingState& state = response->GetCodingState();
    state.vrMode = DICOM_VR_MODE_IMPLICIT;
    state.inputLength = collected->length;
    response->Parse(collected->bytes, &state);
    const bool whole = CommandSetWhole(*response, collected->length);
    collected->Reset();
    if (!whole) {
        // What such an element holds are bytes the peer never sent as its value.
        Abort(DICOM_ABORT_REASON_INVALID_PARAMETER);
        return nullptr;
    }
    return response.release();
}

void CDicomNetworkClient::ReleaseAssociation()
{
    DicomBuffer* request = BuildReleaseRequest();
    if (!request)
        return;
    bool sent = CKXNetClient::Send(request->bytes, request->length);
    DicomBuffer::Free(request);
    if (sent)
        Receive();
}

bool CDicomNetworkClient::Release()
{
    // Without a connection there is no association to release, and nothing reconnects.
    if (IsConnected())
        ReleaseAssociation();
    return true;
}
