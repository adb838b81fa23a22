#include "dicom/DicomProtocol.h"

#include <cstring>
#include <string>

#include "dicom/DicomDictionary.h"
#include "platform/base/bytes.h"
#include "platform/base/codepage.h"

namespace {

std::string Narrow(const CString& text) { return quiva::WideToMultiByte(text.GetString(), CP_ACP); }

CString Widen(const BYTE* bytes, size_t count)
{
    // A value ends at its first 0x00 byte; peers that pad UIDs with one still read right.
    size_t n = 0;
    while (n < count && bytes[n] != 0)
        ++n;
    return CString(quiva::MultiByteToWide(std::string_view(reinterpret_cast<const char*>(bytes), n), CP_ACP).c_str());
}

// One item or sub-item: type, reserved 0, 16-bit length, value. UIDs and names go out
// unpadded: padding is not used in association negotiation.
void PutItem(std::string& out, BYTE type, const std::string& value)
{
    out.push_back(static_cast<char>(type));
    out.push_back(0);
    quiva::AppendBE16(out, static_cast<uint16_t>(value.size()));
    out += value;
}

// An AE title field: the title and spaces to 16 bytes.
void PutAeTitle(std::string& out, const CString& title)
{
    std::string t = Narrow(title).substr(0, DICOM_AE_TITLE_MAX);
    t.resize(DICOM_AE_TITLE_MAX, ' ');
    out += t;
}

CString AeTitleFrom(const BYTE* field)
{
    // Leading and trailing spaces are not part of a title; a NUL ends it.
    size_t end = 0;
    while (end < DICOM_AE_TITLE_MAX && field[end] != 0)
        ++end;
    size_t begin = 0;
    while (begin < end && field[begin] == ' ')
        ++begin;
    while (end > begin && field[end - 1] == ' ')
        --end;
    return Widen(field + begin, end - begin);
}

DicomBuffer* ToBuffer(const std::string& bytes)
{
    DicomBuffer* buffer = DicomBuffer::Create();
    if (buffer && !buffer->Append(bytes.data(), static_cast<DWORD>(bytes.size()))) {
        DicomBuffer::Free(buffer);
        return nullptr;
    }
    return buffer;
}

bool SameUid(const CString& a, const CString& b) { return a.CompareNoCase(b) == 0; }

// The 6-byte PDU header says the PDU is exactly `length` bytes long and of this type.
bool WholePdu(const BYTE* pdu, DWORD length, BYTE type, DWORD minimum)
{
    return pdu && length >= minimum && pdu[0] == type && uint64_t(quiva::LoadBE32(pdu + 2)) + 6 == length;
}

}  // namespace

void DicomPresentationContext::AddTransferSyntax(const CString& uid)
{
    for (const CString& ts : transferSyntaxes)
        if (SameUid(ts, uid))
            return;
    transferSyntaxes.push_back(uid);
}

DicomPresentationContext* DicomPresentationContextList::Add(const CString& abstractSyntax, const CString& transferSyntax,
                                                            DWORD role)
{
    if (FindByAbstractSyntax(abstractSyntax) || m_nextId + 2 > 255)
        return nullptr;
    auto context = std::make_unique<DicomPresentationContext>();
    context->id = static_cast<BYTE>(m_nextId);
    m_nextId += 2;
    context->abstractSyntax = abstractSyntax;
    context->firstTransferSyntax = transferSyntax;
    context->transferSyntaxes.push_back(transferSyntax);
    context->role = role;
    m_contexts.push_back(std::move(context));
    return m_contexts.back().get();
}

DicomPresentationContext* DicomPresentationContextList::AddWithId(BYTE id)
{
    auto context = std::make_unique<DicomPresentationContext>();
    context->id = id;
    m_contexts.push_back(std::move(context));
    return m_contexts.back().get();
}

DicomPresentationContext* DicomPresentationContextList::FindByAbstractSyntax(const CString& abstractSyntax) const
{
    for (const auto& c : m_contexts)
        if (SameUid(c->abstractSyntax, abstractSyntax))
            return c.get();
    return nullptr;
}

DicomPresentationContext* DicomPresentationContextList::FindById(BYTE id) const
{
    for (const auto& c : m_contexts)
        if (c->id == id)
            return c.get();
    return nullptr;
}

DicomPresentationContext* DicomPresentationContextList::First()
{
    m_cursor = 0;
    return Next();
}

DicomPresentationContext* DicomPresentationContextList::Next()
{
    return m_cursor < m_contexts.size() ? m_contexts[m_cursor++].get() : nullptr;
}

void DicomPresentationContextList::Clear()
{
    m_contexts.clear();
    m_cursor = 0;
}

void DicomAssociationRequest::Destroy()
{
    calling.contexts.Clear();
    called.contexts.Clear();
    rejectReason = rejectSource = rejectResult = 0;
    peerMaxPdu = 0;
    receiveCommandState = receiveLastState = 0;
}

CDicomProtocol::CDicomProtocol() = default;

CDicomProtocol::~CDicomProtocol()
{
    if (m_association)
        m_association->Destroy();
}

bool CDicomProtocol::Connect(const CString&, WORD) { return false; }

DicomAssociationRequest& CDicomProtocol::Association()
{
    if (!m_association)
        m_association = std::make_unique<DicomAssociationRequest>();
    return *m_association;
}

bool CDicomProtocol::CanBuildAssociateRequest() const
{
    const DicomAssociationRequest* a = m_association.get();
    if (!a || a->applicationContext.IsEmpty() || a->calling.aeTitle.IsEmpty() || a->called.aeTitle.IsEmpty())
        return false;
    // A longer title would reach the peer cut short, naming another entity.
    return Narrow(a->calling.aeTitle).size() <= DICOM_AE_TITLE_MAX &&
           Narrow(a->called.aeTitle).size() <= DICOM_AE_TITLE_MAX;
}

DicomBuffer* CDicomProtocol::BuildAssociateRequest()
{
    if (!CanBuildAssociateRequest())
        return nullptr;
    DicomAssociationRequest& a = *m_association;
    std::string pdu;
    pdu.push_back(DICOM_PDU_ASSOCIATE_RQ);
    pdu.push_back(0);
    quiva::AppendBE32(pdu, 0);  // length, filled in below
    quiva::AppendBE16(pdu, 1);  // protocol version
    quiva::AppendBE16(pdu, 0);
    PutAeTitle(pdu, a.called.aeTitle);
    PutAeTitle(pdu, a.calling.aeTitle);
    pdu.append(32, '\0');

    PutItem(pdu, 0x10, Narrow(a.applicationContext));
    for (size_t i = 0; i < a.calling.contexts.GetCount(); ++i) {
        const DicomPresentationContext* c = a.calling.contexts.GetAt(i);
        std::string item;
        item.push_back(static_cast<char>(c->id));
        item.push_back(0);
        item.push_back(static_cast<char>(c->result));
        item.push_back(0);
        PutItem(item, 0x30, Narrow(c->abstractSyntax));
        for (const CString& ts : c->transferSyntaxes)
            if (!ts.IsEmpty())
                PutItem(item, 0x40, Narrow(ts));
        PutItem(pdu, 0x20, item);
    }

    if (a.calling.implementationClassUid.IsEmpty())
        a.calling.implementationClassUid = DICOM_IMPLEMENTATION_CLASS_UID;
    std::string user;
    std::string maxLength;
    quiva::AppendBE32(maxLength, a.ownMaxPdu);
    PutItem(user, 0x51, maxLength);
    PutItem(user, 0x52, Narrow(a.calling.implementationClassUid));
    if (!a.calling.implementationVersionName.IsEmpty())
        PutItem(user, 0x55, Narrow(a.calling.implementationVersionName).substr(0, 16));
    for (size_t i = 0; i < a.calling.contexts.GetCount(); ++i) {
        const DicomPresentationContext* c = a.calling.contexts.GetAt(i);
        if (c->role == DICOM_ROLE_NONE)
            continue;
        std::string uid = Narrow(c->abstractSyntax);
        std::string role;
        quiva::AppendBE16(role, static_cast<uint16_t>(uid.size()));
        role += uid;
        role.push_back((c->role & DICOM_ROLE_SCU) ? 1 : 0);
        role.push_back((c->role & DICOM_ROLE_SCP) ? 1 : 0);
        PutItem(user, 0x54, role);
    }
    PutItem(pdu, 0x50, user);
    if (pdu.size() - 6 > 0xFFFFFFFFu)
        return nullptr;
    quiva::StoreBE32(&pdu[2], static_cast<uint32_t>(pdu.size() - 6));
    return ToBuffer(pdu);
}

bool CDicomProtocol::ParseAssociateAccept(const BYTE* pdu, DWORD length)
{
    if (!WholePdu(pdu, length, DICOM_PDU_ASSOCIATE_AC, 74))
        return false;
    DicomAssociationRequest& a = Association();
    a.called.aeTitle = AeTitleFrom(pdu + 10);
    a.calling.aeTitle = AeTitleFrom(pdu + 26);
    a.called.contexts.Clear();
    a.peerMaxPdu = 0;
    bool applicationContextSeen = false;
    bool userInformationSeen = false;

    const BYTE* end = pdu + length;
    const BYTE* p = pdu + 74;
    while (p < end) {
        if (end - p < 4)
            return false;
        const BYTE type = p[0];
        const uint16_t itemLength = quiva::LoadBE16(p + 2);
        if (end - p - 4 < itemLength)
            return false;
        const BYTE* value = p + 4;
        const BYTE* itemEnd = value + itemLength;
        switch (type) {
        case 0x10:
            a.applicationContext = Widen(value, itemLength);
            applicationContextSeen = true;
            break;
        case 0x20:
        case 0x21: {
            if (itemLength < 4)
                return false;
            DicomPresentationContext* c = a.called.contexts.AddWithId(value[0]);
            c->result = value[2];
            const BYTE* s = value + 4;
            while (itemEnd - s >= 4) {
                const BYTE subType = s[0];
                const uint16_t subLength = quiva::LoadBE16(s + 2);
                if (itemEnd - s - 4 < subLength)
                    return false;
                if (subType == 0x30) {
                    c->abstractSyntax = Widen(s + 4, subLength);
                } else if (subType == 0x40) {
                    CString ts = Widen(s + 4, subLength);
                    if (c->firstTransferSyntax.IsEmpty())
                        c->firstTransferSyntax = ts;
                    c->AddTransferSyntax(ts);
                } else {
                    break;
                }
                s += 4 + subLength;
            }
            break;
        }
        case 0x50: {
            userInformationSeen = true;
            const BYTE* s = value;
            while (s < itemEnd) {
                if (itemEnd - s < 4)
                    return false;
                const BYTE subType = s[0];
                const uint16_t subLength = quiva::LoadBE16(s + 2);
                if (itemEnd - s - 4 < subLength)
                    return false;
                const BYTE* v = s + 4;
                switch (subType) {
                case 0x51:
                    if (subLength < 4)
                        return false;
                    a.peerMaxPdu = quiva::LoadBE32(v);
                    break;
                case 0x52:
                    a.called.implementationClassUid = Widen(v, subLength);
                    break;
                case 0x54: {
                    if (subLength < 2)
                        return false;
                    const uint16_t uidLength = quiva::LoadBE16(v);
                    if (subLength < 2u + uidLength + 2u)
                        return false;
                    CString uid = Widen(v + 2, uidLength);
                    const BYTE scu = v[2 + uidLength];
                    const BYTE scp = v[3 + uidLength];
                    if (DicomPresentationContext* c = a.called.contexts.FindByAbstractSyntax(uid))
                        c->role = (scu ? DICOM_ROLE_SCU : 0) | (scp ? DICOM_ROLE_SCP : 0);
                    break;
                }
                case 0x55:
                    a.called.implementationVersionName = Widen(v, subLength);
                    break;
                default:
                    break;
                }
                s = v + subLength;
            }
            break;
        }
        default:
            break;
        }
        p = itemEnd;
    }
    return applicationContextSeen && userInformationSeen;
}

bool CDicomProtocol::ParseAssociateReject(const BYTE* pdu, DWORD length)
{
    if (!WholePdu(pdu, length, DICOM_PDU_ASSOCIATE_RJ, 10))
        return false;
    DicomAssociationRequest& a = Association();
    a.rejectResult = pdu[7];
    a.rejectSource = pdu[8];
    a.rejectReason = pdu[9];
    return true;
}

void CDicomProtocol::BuildPDataTFHeader(BYTE header[12], DWORD count, BYTE contextId, bool command, bool last)
{
    const uint32_t pduLength = count + 6;
    const uint32_t pdvLength = count + 2;
    header[0] = DICOM_PDU_P_DATA_TF;
    header[1] = 0;
    header[2] = static_cast<BYTE>(pduLength >> 24);
    header[3] = static_cast<BYTE>(pduLength >> 16);
    header[4] = static_cast<BYTE>(pduLength >> 8);
    header[5] = static_cast<BYTE>(pduLength);
    header[6] = static_cast<BYTE>(pdvLength >> 24);
    header[7] = static_cast<BYTE>(pdvLength >> 16);
    header[8] = static_cast<BYTE>(pdvLength >> 8);
    header[9] = static_cast<BYTE>(pdvLength);
    header[10] = contextId;
    header[11] = static_cast<BYTE>((command ? 0x01 : 0) | (last ? 0x02 : 0));
}

DicomBuffer* CDicomProtocol::BuildPDataTF(const BYTE* data, DWORD count, BYTE contextId, bool command, bool last)
{
    if (count > 0xFFFFFFFFu - 12 || (count && !data))
        return nullptr;
    BYTE header[12];
    BuildPDataTFHeader(header, count, contextId, command, last);
    DicomBuffer* buffer = DicomBuffer::Create();
    if (!buffer)
        return nullptr;
    if (!buffer->Append(header, sizeof(header)) || !buffer->Append(data, count)) {
        DicomBuffer::Free(buffer);
        return nullptr;
    }
    return buffer;
}

DicomPresentationContext* CDicomProtocol::ParsePDataTF(const BYTE* pdu, DWORD length)
{
    if (!m_association || !WholePdu(pdu, length, DICOM_PDU_P_DATA_TF, 12))
        return nullptr;
    DicomAssociationRequest& a = *m_association;
    // First check every PDV, so that a malformed PDU leaves nothing behind.
    const BYTE* end = pdu + length;
    for (const BYTE* p = pdu + 6; p < end;) {
        if (end - p < 6)
            return nullptr;
        const uint32_t pdvLength = quiva::LoadBE32(p);
        if (pdvLength < 2 || static_cast<uint64_t>(end - p - 4) < pdvLength)
            return nullptr;
        if (!a.calling.contexts.FindById(p[4]))
            return nullptr;
        p += 4 + pdvLength;
    }
    DicomPresentationContext* context = nullptr;
    for (const BYTE* p = pdu + 6; p < end;) {
        const uint32_t pdvLength = quiva::LoadBE32(p);
        context = a.calling.contexts.FindById(p[4]);
        const BYTE control = p[5];
        if (!context->collection)
            context->collection = DicomBuffer::Create();
        if (!context->collection || !context->collection->Append(p + 6, pdvLength - 2))
            return nullptr;
        a.receiveCommandState = (control & 0x01) ? 2 : 1;
        a.receiveLastState = (control & 0x02) ? 2 : 1;
        p += 4 + pdvLength;
    }
    return context;
}

DicomBuffer* CDicomProtocol::BuildReleaseRequest()
{
    static const BYTE pdu[10] = {DICOM_PDU_RELEASE_RQ, 0, 0, 0, 0, 4, 0, 0, 0, 0};
    DicomBuffer* buffer = DicomBuffer::Create();
    if (buffer && !buffer->Append(pdu, sizeof(pdu))) {
        DicomBuffer::Free(buffer);
        return nullptr;
    }
    return buffer;
}

DicomBuffer* CDicomProtocol::BuildReleaseResponse()
{
    // A-RELEASE-RP: four reserved bytes after the length.
    static const BYTE pdu[10] = {DICOM_PDU_RELEASE_RP, 0, 0, 0, 0, 4, 0, 0, 0, 0};
    DicomBuffer* buffer = DicomBuffer::Create();
    if (buffer && !buffer->Append(pdu, sizeof(pdu))) {
        DicomBuffer::Free(buffer);
        return nullptr;
    }
    return buffer;
}

DicomBuffer* CDicomProtocol::BuildAbort(BYTE source, BYTE reason)
{
    const BYTE pdu[10] = {DICOM_PDU_ABORT, 0, 0, 0, 0, 4, 0, 0, source, reason};
    DicomBuffer* buffer = DicomBuffer::Create();
    if (buffer && !buffer->Append(pdu, sizeof(pdu))) {
        DicomBuffer::Free(buffer);
        return nullptr;
    }
    return buffer;
}

void CDicomProtocol::ProposeDefaultContexts()
{
    DicomAssociationRequest& a = Association();
    a.Destroy();
    for (size_t i = 0; DicomSopClassUids[i] && DicomSopClassUids[i][0]; ++i) {
        DicomPresentationContext* c = a.calling.contexts.Add(DicomSopClassUids[i], L"", DICOM_ROLE_SCU);
        if (!c)
            continue;
        c->transferSyntaxes.clear();
        for (size_t t = 0; DicomTransferSyntaxUids[t] && DicomTransferSyntaxUids[t][0]; ++t) {
            if (c->firstTransferSyntax.IsEmpty())
                c->firstTransferSyntax = DicomTransferSyntaxUids[t];
            c->AddTransferSyntax(DicomTransferSyntaxUids[t]);
        }
    }
}
