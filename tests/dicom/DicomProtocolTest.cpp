#include "dicom/DicomProtocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dicom/NetTestSupport.h"

using namespace quiva::test;

namespace {

std::vector<BYTE> Bytes(const DicomBuffer* b)
{
    std::vector<BYTE> v;
    if (b && b->bytes)
        v.assign(b->bytes, b->bytes + b->length);
    DicomBuffer::Free(const_cast<DicomBuffer*>(b));
    return v;
}

void PutText(std::vector<BYTE>& v, const std::string& s) { v.insert(v.end(), s.begin(), s.end()); }
std::vector<BYTE> Text(const std::string& s) { return std::vector<BYTE>(s.begin(), s.end()); }

const char* kSecondaryCapture = kSecondaryCaptureUid;
const char* kExplicitLittle = kExplicitLittleUid;

// An A-ASSOCIATE-AC as a peer would send it.
struct AcceptBuilder {
    std::vector<BYTE> items;
    std::vector<BYTE> user;
    void Context(BYTE id, BYTE result, const std::string& ts)
    {
        std::vector<BYTE> v{id, 0, result, 0};
        PutItem(v, 0x40, Text(ts));
        PutItem(items, 0x21, v);
    }
    void MaxLength(uint32_t n)
    {
        std::vector<BYTE> v;
        Put32(v, n);
        PutItem(user, 0x51, v);
    }
    std::vector<BYTE> Build(const std::string& called = "PACS            ", const std::string& calling = "HRBIMAGE        ")
    {
        std::vector<BYTE> pdu{DICOM_PDU_ASSOCIATE_AC, 0, 0, 0, 0, 0, 0, 1, 0, 0};
        PutText(pdu, called);
        PutText(pdu, calling);
        pdu.resize(74, 0);
        PutItem(pdu, 0x10, Text("1.2.840.10008.3.1.1.1"));
        pdu.insert(pdu.end(), items.begin(), items.end());
        PutItem(pdu, 0x50, user);
        SetLength(pdu);
        return pdu;
    }
};

class DicomProtocolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DicomAssociationRequest& a = protocol.Association();
        a.calling.aeTitle = L"HRBIMAGE";
        a.called.aeTitle = L"PACSSERV";
        a.calling.contexts.Add(L"1.2.840.10008.5.1.4.1.1.7", L"1.2.840.10008.1.2.1", DICOM_ROLE_SCU);
    }
    CDicomProtocol protocol;
};

}  // namespace

TEST_F(DicomProtocolTest, AssociateRequestBytes)
{
    // Fixed part 74, application context item 4 + 21, presentation context item 8 + (4 + 25) +
    // (4 + 19), user information 4 + 8 + (4 + 22) + (4 + 2 + 25 + 2): 230 bytes. AE titles are
    // padded with spaces and UIDs are not padded.
    std::vector<BYTE> expected{0x01, 0x00, 0, 0, 0, 224, 0x00, 0x01, 0x00, 0x00};
    PutText(expected, "PACSSERV        ");
    PutText(expected, "HRBIMAGE        ");
    expected.resize(74, 0);
    PutItem(expected, 0x10, Text("1.2.840.10008.3.1.1.1"));
    std::vector<BYTE> pc{1, 0, 0, 0};
    PutItem(pc, 0x30, Text(kSecondaryCapture));
    PutItem(pc, 0x40, Text(kExplicitLittle));
    PutItem(expected, 0x20, pc);
    std::vector<BYTE> user;
    PutItem(user, 0x51, std::vector<BYTE>{0, 0, 0x40, 0});
    PutItem(user, 0x52, Text("1.2.999.424242.3.1.2.0"));
    std::vector<BYTE> role{0, 25};
    PutText(role, kSecondaryCapture);
    role.push_back(1);
    role.push_back(0);
    PutItem(user, 0x54, role);
    PutItem(expected, 0x50, user);
    ASSERT_EQ(expected.size(), 230u);
    EXPECT_EQ(pc.size() + 4, 60u);
    EXPECT_EQ(user.size() + 4, 71u);

    EXPECT_EQ(Bytes(protocol.BuildAssociateRequest()), expected);
    // The default implementation class UID was stored; a second request is the same.
    EXPECT_EQ(protocol.Association().calling.implementationClassUid, CString(L"1.2.999.424242.3.1.2.0"));
    EXPECT_EQ(Bytes(protocol.BuildAssociateRequest()), expected);
}

TEST_F(DicomProtocolTest, AssociateRequestNeedsBothTitlesOfAtMostSixteenBytes)
{
    protocol.Association().called.aeTitle = L"";
    EXPECT_FALSE(protocol.CanBuildAssociateRequest());
    EXPECT_EQ(protocol.BuildAssociateRequest(), nullptr);
    protocol.Association().called.aeTitle = L"ABCDEFGHIJKLMNOPQ";
    EXPECT_FALSE(protocol.CanBuildAssociateRequest());
    protocol.Association().called.aeTitle = L"ABCDEFGHIJKLMNOP";
    EXPECT_TRUE(protocol.CanBuildAssociateRequest());
    CDicomProtocol empty;
    EXPECT_FALSE(empty.CanBuildAssociateRequest());
}

TEST(DicomPresentationContextListTest, IdsDuplicatesAndLimit)
{
    DicomPresentationContextList list;
    EXPECT_EQ(list.Add(L"1.2.3", L"1.2.840.10008.1.2", DICOM_ROLE_SCU)->id, 1);
    EXPECT_EQ(list.Add(L"1.2.4", L"1.2.840.10008.1.2", DICOM_ROLE_SCU)->id, 3);
    EXPECT_EQ(list.Add(L"1.2.3", L"1.2.840.10008.1.2.1", DICOM_ROLE_SCU), nullptr);
    EXPECT_EQ(list.Add(L"1.2.4.A", L"", 0)->id, 5);
    EXPECT_EQ(list.Add(L"1.2.4.a", L"", 0), nullptr);
    list.Clear();
    EXPECT_EQ(list.Add(L"1.2.3", L"", 0)->id, 7);
    DicomPresentationContextList full;
    int added = 0;
    for (int i = 0; i < 130; ++i)
        added += full.Add(CString(std::to_wstring(i)), L"", 0) != nullptr;
    EXPECT_EQ(added, 127);
}

TEST_F(DicomProtocolTest, AssociateAcceptIsReadWithinItsBounds)
{
    AcceptBuilder ac;
    ac.Context(1, DICOM_PC_ACCEPTANCE, kExplicitLittle);
    ac.MaxLength(32768);
    std::vector<BYTE> role{0, 25};
    PutText(role, kSecondaryCapture);
    role.push_back(0);
    role.push_back(1);
    PutItem(ac.user, 0x54, role);
    PutItem(ac.user, 0x52, Text("1.2.3.4"));
    std::vector<BYTE> pdu = ac.Build();
    ASSERT_TRUE(protocol.ParseAssociateAccept(pdu.data(), static_cast<DWORD>(pdu.size())));
    DicomAssociationRequest& a = protocol.Association();
    EXPECT_EQ(a.peerMaxPdu, 32768u);
    EXPECT_EQ(a.called.aeTitle, CString(L"PACS"));
    EXPECT_EQ(a.calling.aeTitle, CString(L"HRBIMAGE"));
    EXPECT_EQ(a.called.implementationClassUid, CString(L"1.2.3.4"));
    ASSERT_NE(a.called.contexts.FindById(1), nullptr);
    EXPECT_EQ(a.called.contexts.FindById(1)->result, DICOM_PC_ACCEPTANCE);
    EXPECT_EQ(a.called.contexts.FindById(1)->firstTransferSyntax, CString(kExplicitLittle));

    // Without 0x51 the peer maximum is 0.
    AcceptBuilder plain;
    plain.Context(1, DICOM_PC_ACCEPTANCE, kExplicitLittle);
    std::vector<BYTE> p2 = plain.Build();
    ASSERT_TRUE(protocol.ParseAssociateAccept(p2.data(), static_cast<DWORD>(p2.size())));
    EXPECT_EQ(a.peerMaxPdu, 0u);

    // Truncated anywhere, or with a length field that disagrees, it is refused.
    for (size_t cut = 1; cut < pdu.size(); ++cut) {
        std::vector<BYTE> shortPdu(pdu.begin(), pdu.begin() + static_cast<long>(cut));
        EXPECT_FALSE(protocol.ParseAssociateAccept(shortPdu.data(), static_cast<DWORD>(cut))) << cut;
        if (cut >= 6) {
            SetLength(shortPdu);
            EXPECT_FALSE(protocol.ParseAssociateAccept(shortPdu.data(), static_cast<DWORD>(cut))) << cut;
        }
    }
    // Item and sub-item lengths that reach past their item or the PDU.
    std::vector<BYTE> bad = pdu;
    bad[74 + 2] = 0xFF;  // application context item length
    EXPECT_FALSE(protocol.ParseAssociateAccept(bad.data(), static_cast<DWORD>(bad.size())));
    AcceptBuilder sub;
    sub.Context(1, 0, kExplicitLittle);
    sub.user = {0x51, 0, 0, 40, 0, 0, 0x40, 0};
    std::vector<BYTE> p3 = sub.Build();
    EXPECT_FALSE(protocol.ParseAssociateAccept(p3.data(), static_cast<DWORD>(p3.size())));
}

TEST_F(DicomProtocolTest, AssociateReject)
{
    std::vector<BYTE> rj{DICOM_PDU_ASSOCIATE_RJ, 0, 0, 0, 0, 4, 0, 1, 1, 7};
    ASSERT_TRUE(protocol.ParseAssociateReject(rj.data(), 10));
    EXPECT_EQ(protocol.Association().rejectResult, 1);
    EXPECT_EQ(protocol.Association().rejectSource, 1);
    EXPECT_EQ(protocol.Association().rejectReason, 7);
    EXPECT_FALSE(protocol.ParseAssociateReject(rj.data(), 9));
}

TEST_F(DicomProtocolTest, PDataBuildAndRead)
{
    const BYTE data[5] = {1, 2, 3, 4, 5};
    std::vector<BYTE> pdu = Bytes(protocol.BuildPDataTF(data, 5, 1, true, true));
    EXPECT_EQ(pdu, (std::vector<BYTE>{4, 0, 0, 0, 0, 11, 0, 0, 0, 7, 1, 3, 1, 2, 3, 4, 5}));

    DicomAssociationRequest& a = protocol.Association();
    DicomPresentationContext* c = protocol.ParsePDataTF(pdu.data(), static_cast<DWORD>(pdu.size()));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(a.receiveCommandState, 2);
    EXPECT_EQ(a.receiveLastState, 2);
    std::vector<BYTE> partial = Bytes(protocol.BuildPDataTF(data, 2, 1, false, false));
    ASSERT_EQ(protocol.ParsePDataTF(partial.data(), static_cast<DWORD>(partial.size())), c);
    EXPECT_EQ(a.receiveCommandState, 1);
    EXPECT_EQ(a.receiveLastState, 1);
    EXPECT_EQ(std::vector<BYTE>(c->collection->bytes, c->collection->bytes + c->collection->length),
              (std::vector<BYTE>{1, 2, 3, 4, 5, 1, 2}));

    // Two PDVs in one PDU are both read, each by its own length.
    std::vector<BYTE> two{4, 0, 0, 0, 0, 0, 0, 0, 0, 4, 1, 1, 9, 8, 0, 0, 0, 3, 1, 3, 7};
    SetLength(two);
    c->collection->Reset();
    ASSERT_EQ(protocol.ParsePDataTF(two.data(), static_cast<DWORD>(two.size())), c);
    EXPECT_EQ(std::vector<BYTE>(c->collection->bytes, c->collection->bytes + c->collection->length),
              (std::vector<BYTE>{9, 8, 7}));
    EXPECT_EQ(a.receiveLastState, 2);
}

TEST_F(DicomProtocolTest, MalformedPDataLeavesNothing)
{
    std::vector<std::vector<BYTE>> bad = {
        {4, 0, 0, 0, 0, 4, 0, 0, 0, 0},                        // shorter than 12
        {7, 0, 0, 0, 0, 4, 0, 0, 2, 0},                        // an A-ABORT
        {4, 0, 0, 0, 0, 6, 0, 0, 0, 9, 1, 3},                  // PDV longer than the PDU
        {4, 0, 0, 0, 0, 6, 0, 0, 0, 1, 1, 3},                  // PDV shorter than its header
        {4, 0, 0, 0, 0, 7, 0, 0, 0, 3, 3, 3, 1},               // context 3 was not proposed
        {4, 0, 0, 0, 0, 9, 0, 0, 0, 3, 1, 3, 1, 0, 0},         // trailing bytes, no whole PDV
        {4, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2, 1, 3},      // length field beyond the bytes
    };
    for (const auto& pdu : bad) {
        EXPECT_EQ(protocol.ParsePDataTF(pdu.data(), static_cast<DWORD>(pdu.size())), nullptr);
        DicomPresentationContext* c = protocol.Association().calling.contexts.FindById(1);
        EXPECT_TRUE(!c->collection || c->collection->length == 0);
    }
}

TEST_F(DicomProtocolTest, ReleaseAndAbortBytes)
{
    EXPECT_EQ(Bytes(protocol.BuildReleaseRequest()), (std::vector<BYTE>{5, 0, 0, 0, 0, 4, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(protocol.BuildReleaseResponse()), (std::vector<BYTE>{6, 0, 0, 0, 0, 4, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(protocol.BuildAbort(DICOM_ABORT_SOURCE_PROVIDER, DICOM_ABORT_REASON_UNEXPECTED_PDU)),
              (std::vector<BYTE>{7, 0, 0, 0, 0, 4, 0, 0, 2, 2}));
}

TEST_F(DicomProtocolTest, DefaultProposal)
{
    protocol.ProposeDefaultContexts();
    DicomPresentationContextList& list = protocol.Association().calling.contexts;
    ASSERT_GT(list.GetCount(), 80u);
    for (size_t i = 0; i < list.GetCount(); ++i) {
        EXPECT_EQ(list.GetAt(i)->transferSyntaxes.size(), 8u);
        EXPECT_EQ(list.GetAt(i)->role, DICOM_ROLE_SCU);
    }
    EXPECT_NE(list.FindByAbstractSyntax(L"1.2.840.10008.5.1.4.1.1.7"), nullptr);
}
