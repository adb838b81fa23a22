// CDicomNetworkClient: stores one DICOM object on a PACS over one association.
//
// Call order: SetServer, SetCallingAETitle, AddPresentationContext, ConnectAndAssociate,
// StoreDocument, Release, CloseSocket. A client is used for one object and then destroyed.
//
// The client trusts nothing it receives: every PDU length is checked before anything is kept,
// a response is limited in size and time, and a protocol error ends the association with an
// A-ABORT. Data goes only on a presentation context the peer accepted. A store succeeds only
// when the peer's C-STORE-RSP answers our message with a success or warning status.
// A store that fails because the peer aborted the association, or closed or reset the
// connection, leaves PeerEnded() true; one whose answer never came leaves it false.
#pragma once

#include <atomic>

#include "dicom/CDicomElementList.h"
#include "dicom/DicomProtocol.h"
#include "dicom/KXNetClient.h"

// The message id of the last C-STORE-RQ, for the whole module (clients on several threads
// each take their own).
extern std::atomic<WORD> DicomMessageId;

// A C-STORE response's command set is small; more than this is a faulty peer.
#define DICOM_MAX_RESPONSE_BYTES 65536u
// Non-data PDUs (association replies, release, abort) are never larger than this.
#define DICOM_MAX_CONTROL_PDU 65536u

// Why ConnectAndAssociate gave no association: no connection, an answer that was not an
// acceptance (a rejection, an abort or a malformed reply), a rejection because the peer knows
// no AE title we called it by, the connection closed or reset by the peer before it answered,
// or no answer at all; None when it never got as far as the network.
enum class DicomAssociateFailure { None, Unreachable, Refused, CalledTitleUnknown, Dropped, Silent };

class CDicomNetworkClient : public CKXNetClient, public CDicomProtocol {
public:
    CDicomNetworkClient();
    ~CDicomNetworkClient() override;

    bool SetServer(const CString& calledAETitle, const CString& host, WORD port);
    void SetCalledAETitle(const CString& title);
    void SetCallingAETitle(const CString& title);
    // One proposed context for the abstract syntax with the transfer syntax; the default
    // proposal when either text is empty. Replaces whatever was proposed before.
    void AddPresentationContext(const CString& abstractSyntax, const CString& transferSyntax);
    bool ConnectAndAssociate();
    // Stores the Part 10 bytes; the caller keeps its bytes. The data set is sent from them as it
    // is coded; only the file meta and the elements that name the object are parsed.
    bool StoreDocument(const BYTE* bytes, DWORD length);
    // Releases the association when there is one; always true.
    bool Release();

    bool Connect(const CString& host, WORD port) override;
    void CloseSocket() override;

    // Stores the document list, which it consumes.
    bool Store(CDicomElementList* document);
    bool SendFragments(const BYTE* bytes, DWORD length, BYTE contextId, bool command);
    // The response's command set as a new list, or null.
    CDicomElementList* ReceiveResponse();
    // The proposed context the peer accepted for the document's SOP class in its transfer
    // syntax; null (and the association released) when there is none.
    DicomPresentationContext* AcceptedContext(CDicomElementList* document);
    // The C-STORE-RQ for the document on the context.
    bool SendCommand(CDicomElementList* document, BYTE contextId);
    // Whether the C-STORE-RSP that follows answers our request as stored.
    bool ReceiveStoreResponse();

    // The C-STORE-RQ command set for the document, or null when it lacks (0008,0016) or
    // (0008,0018).
    CDicomElementList* BuildStoreCommand(CDicomElementList* document);

    void ResetReceiveBuffer() override;
    DWORD OnReceived(const BYTE* bytes, DWORD count) override;

    // The Status (0000,0900) of the last C-STORE-RSP read; 0xFFFF before any.
    WORD GetLastStatus() const { return m_lastStatus; }
    DicomAssociateFailure GetAssociateFailure() const { return m_associateFailure; }
    // Where the last response's command bytes are written ("c:\pdata.dmp" by default; empty
    // writes nothing).
    static void SetDumpPath(const CString& path);
    static CString GetDumpPath();

protected:
    bool Associate();
    // Sends an A-ABORT and closes the connection.
    void Abort(BYTE reason);
    // Sends an A-RELEASE-RQ and waits for the reply; the socket stays open.
    void ReleaseAssociation();
    // The PDU type of the received PDU, 0 when none.
    BYTE ReceivedType() const;

    DicomBuffer* m_receive = nullptr;
    WORD m_messageId = 0;
    WORD m_lastStatus = 0xFFFF;
    DicomAssociateFailure m_associateFailure = DicomAssociateFailure::None;
};

// Whether a C-STORE-RSP status means the object was stored (success or a warning).
bool DicomStoreStatusStored(WORD status);
