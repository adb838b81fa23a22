// Shared pieces of the storage client tests: a small Secondary Capture object, the PDUs a PACS
// answers with, and DCMTK's storescp run as a PACS on a loopback port.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/dicom/TestPeer.h"
#include "tests/support/Command.h"

namespace quiva::test {

extern const char* const kSecondaryCaptureUid;
extern const char* const kExplicitLittleUid;
extern const char* const kJpegBaselineUid;

// Big-endian numbers and upper-layer items, as PDUs carry them.
void Put16(std::vector<uint8_t>& v, unsigned x);
void Put32(std::vector<uint8_t>& v, uint32_t x);
void PutItem(std::vector<uint8_t>& v, uint8_t type, const std::vector<uint8_t>& value);
void PutItem(std::vector<uint8_t>& v, uint8_t type, const std::string& value);
// Fills in the PDU length field from the PDU's size.
void SetLength(std::vector<uint8_t>& pdu);

// A Part 10 object (preamble, "DICM", file meta, explicit VR little endian data set) with a
// rows x columns image of `samples` samples per pixel.
std::vector<uint8_t> MakeSecondaryCapture(const std::string& sopInstanceUid, int rows, int columns, int samples);

// An A-ASSOCIATE-AC for context 1 with the given result, transfer syntax and maximum PDU
// (0 leaves out the maximum length sub-item).
std::vector<uint8_t> AssociateAccept(uint8_t result, const std::string& transferSyntax, uint32_t maxPdu);
// A C-STORE-RSP command set (implicit VR) answering messageId with status.
std::vector<uint8_t> StoreResponse(uint16_t messageId, uint16_t status, bool withCommandField = true);
// P-DATA-TF PDUs carrying one PDV each.
std::vector<uint8_t> PData(uint8_t context, uint8_t control, const std::vector<uint8_t>& data);
// The 10-byte PDUs.
std::vector<uint8_t> Abort(uint8_t source = 0, uint8_t reason = 0);
std::vector<uint8_t> ReleaseReply();
std::vector<uint8_t> ReleaseRequest();
std::vector<uint8_t> Reject(uint8_t result, uint8_t source, uint8_t reason);

// Reads the P-DATA-TF PDUs of one message (until a PDV with the last bit) and returns the
// message's bytes; commandBit tells what the PDVs said. Empty on anything else.
std::vector<uint8_t> ReadMessage(PeerConnection& c, bool* commandBit = nullptr, std::vector<size_t>* pduDataSizes = nullptr);
// The Message ID (0000,0110) of an implicit VR command set; 0 when missing.
uint16_t MessageIdOf(const std::vector<uint8_t>& command);

// The first transfer syntax an A-ASSOCIATE-RQ proposes; empty when it names none.
std::string ProposedTransferSyntax(const std::vector<uint8_t>& request);
// A PACS's side of one association that stores one object: the request accepted in the syntax
// it proposes, the C-STORE-RQ taken and answered with success, a release answered. The data set
// received; empty when the exchange went otherwise.
std::vector<uint8_t> StoreOne(PeerConnection& c);
// A PACS's side of an association dropped in the middle of a still: the request accepted, the
// C-STORE-RQ's command and the first PDU of its data set taken, then an A-ABORT and a close,
// or (with reset) a TCP reset.
void DropInTheMiddle(PeerConnection& c, bool reset);

// A PACS's answers over one association as a file holds them: two little-endian 16-bit lengths,
// then the answer to the A-ASSOCIATE-RQ, the one to the C-STORE-RQ and the one to the
// A-RELEASE-RQ. Empty when the file does not hold three answers so.
std::vector<std::vector<uint8_t>> RecordedAnswers(const std::string& path);
// Plays them: each answer goes once its request (for the C-STORE-RQ, command and data set) has
// come; a request that does not come ends the play.
void PlayAnswers(PeerConnection& c, const std::vector<std::vector<uint8_t>>& answers);

// storescp on a free loopback port, writing what it receives to a folder.
class Storescp {
public:
    Storescp(const std::string& folder, const std::vector<std::string>& options);
    ~Storescp();
    bool running() const { return m_pid > 0 && m_ready; }
    uint16_t port() const { return m_port; }

private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
    bool m_ready = false;
};

// Files in a folder (names only).
std::vector<std::string> FilesIn(const std::string& folder);

}  // namespace quiva::test
