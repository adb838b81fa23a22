// CDicomProtocol: the requesting side of one DICOM association, without input or output.
// It turns the association record into A-ASSOCIATE-RQ, P-DATA-TF, A-RELEASE-RQ and A-ABORT
// PDUs, and received A-ASSOCIATE-AC, A-ASSOCIATE-RJ and P-DATA-TF PDUs back into the record.
// Every received PDU is untrusted: each length is checked against the item it sits in and the
// PDU's end before anything is read.
#pragma once

#include <memory>
#include <vector>

#include "dicom/DicomBuffer.h"
#include "platform/base/CString.h"

// PDU types.
#define DICOM_PDU_ASSOCIATE_RQ 0x01
#define DICOM_PDU_ASSOCIATE_AC 0x02
#define DICOM_PDU_ASSOCIATE_RJ 0x03
#define DICOM_PDU_P_DATA_TF 0x04
#define DICOM_PDU_RELEASE_RQ 0x05
#define DICOM_PDU_RELEASE_RP 0x06
#define DICOM_PDU_ABORT 0x07

// A-ABORT source and reason.
#define DICOM_ABORT_SOURCE_USER 0
#define DICOM_ABORT_SOURCE_PROVIDER 2
#define DICOM_ABORT_REASON_NOT_SPECIFIED 0
#define DICOM_ABORT_REASON_UNEXPECTED_PDU 2
#define DICOM_ABORT_REASON_INVALID_PARAMETER 6

// A-ASSOCIATE-RJ source and the reason that names our settings.
#define DICOM_REJECT_SOURCE_SERVICE_USER 1
#define DICOM_REJECT_REASON_CALLED_AE_UNKNOWN 7

// Presentation context results in an A-ASSOCIATE-AC.
#define DICOM_PC_ACCEPTANCE 0
#define DICOM_PC_USER_REJECTION 1
#define DICOM_PC_NO_REASON 2
#define DICOM_PC_ABSTRACT_SYNTAX_NOT_SUPPORTED 3
#define DICOM_PC_TRANSFER_SYNTAXES_NOT_SUPPORTED 4

// Roles.
#define DICOM_ROLE_NONE 0
#define DICOM_ROLE_SCU 1
#define DICOM_ROLE_SCP 2
#define DICOM_ROLE_BOTH 3

#define DICOM_APPLICATION_CONTEXT L"1.2.840.10008.3.1.1.1"
#define DICOM_IMPLEMENTATION_CLASS_UID L"1.2.999.424242.3.1.2.0"
#define DICOM_OWN_MAX_PDU 16384u
// The longest AE title, in bytes.
#define DICOM_AE_TITLE_MAX 16

struct DicomPresentationContext {
    BYTE id = 0;
    CString abstractSyntax;
    CString firstTransferSyntax;
    std::vector<CString> transferSyntaxes;
    BYTE result = 0;
    DWORD role = DICOM_ROLE_NONE;
    DicomBuffer* collection = nullptr;  // PDV data received on this context

    DicomPresentationContext() = default;
    ~DicomPresentationContext() { DicomBuffer::Free(collection); }
    DicomPresentationContext(const DicomPresentationContext&) = delete;
    DicomPresentationContext& operator=(const DicomPresentationContext&) = delete;

    // Appends a transfer syntax unless it is listed already (letter case ignored).
    void AddTransferSyntax(const CString& uid);
};

class DicomPresentationContextList {
public:
    // Adds a context with the next odd id; nothing when the abstract syntax is listed already
    // (letter case ignored) or the ids are used up. Returns the new context or null.
    DicomPresentationContext* Add(const CString& abstractSyntax, const CString& transferSyntax, DWORD role);
    // Adds a context read from a peer's reply, with the id it gave.
    DicomPresentationContext* AddWithId(BYTE id);
    DicomPresentationContext* FindByAbstractSyntax(const CString& abstractSyntax) const;
    DicomPresentationContext* FindById(BYTE id) const;
    // Iteration in the order of adding.
    DicomPresentationContext* First();
    DicomPresentationContext* Next();
    // Empties the list; the id counter goes on where it was.
    void Clear();
    size_t GetCount() const { return m_contexts.size(); }
    DicomPresentationContext* GetAt(size_t i) const { return m_contexts[i].get(); }

private:
    std::vector<std::unique_ptr<DicomPresentationContext>> m_contexts;
    unsigned m_nextId = 1;
    size_t m_cursor = 0;
};

struct DicomAssociationSide {
    CString aeTitle;
    CString implementationClassUid;
    CString implementationVersionName;
    DicomPresentationContextList contexts;
};

struct DicomAssociationRequest {
    BYTE rejectReason = 0;
    BYTE rejectSource = 0;
    BYTE rejectResult = 0;
    DWORD ownMaxPdu = DICOM_OWN_MAX_PDU;
    DWORD peerMaxPdu = 0;
    CString applicationContext = DICOM_APPLICATION_CONTEXT;
    DicomAssociationSide calling;
    DicomAssociationSide called;
    BYTE receiveCommandState = 0;
    BYTE receiveLastState = 0;

    // Empties both sides' lists and the status fields.
    void Destroy();
};

class CDicomProtocol {
public:
    CDicomProtocol();
    virtual ~CDicomProtocol();
    CDicomProtocol(const CDicomProtocol&) = delete;
    CDicomProtocol& operator=(const CDicomProtocol&) = delete;

    virtual bool Connect(const CString& host, WORD port);
    virtual DicomBuffer* BuildReleaseResponse();
    virtual void CloseSocket() {}

    // True when the record exists, has an application context name and both AE titles, and
    // neither title passes 16 bytes.
    bool CanBuildAssociateRequest() const;
    DicomBuffer* BuildAssociateRequest();
    // False when the PDU is not a whole, well-formed A-ASSOCIATE-AC; the record then keeps
    // what was read before the fault, and the caller must not use the association.
    bool ParseAssociateAccept(const BYTE* pdu, DWORD length);
    // False when the PDU is not a whole A-ASSOCIATE-RJ.
    bool ParseAssociateReject(const BYTE* pdu, DWORD length);
    DicomBuffer* BuildPDataTF(const BYTE* data, DWORD count, BYTE contextId, bool command, bool last);
    // The 12 bytes that precede count data bytes in a P-DATA-TF of one PDV.
    static void BuildPDataTFHeader(BYTE header[12], DWORD count, BYTE contextId, bool command, bool last);
    // Walks every PDV of a P-DATA-TF and appends each one's data to the proposed context it
    // names. Returns the context of the last PDV, or null when the PDU is malformed or names a
    // context that was not proposed (nothing of it is kept then).
    DicomPresentationContext* ParsePDataTF(const BYTE* pdu, DWORD length);
    DicomBuffer* BuildReleaseRequest();
    DicomBuffer* BuildAbort(BYTE source, BYTE reason);
    void ProposeDefaultContexts();

    DicomAssociationRequest* GetAssociation() { return m_association.get(); }
    // The record, made on first use.
    DicomAssociationRequest& Association();

protected:
    std::unique_ptr<DicomAssociationRequest> m_association;
};
