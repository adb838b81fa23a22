#include "dicom/DicomNetworkClient.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "dicom/CSecondaryCaptureDicomDocument.h"
#include "dicom/DicomDictionary.h"
#include "platform/base/clock.h"
#include "platform/base/memoryapi.h"
#include "tests/support/dicom/JpegSamples.h"
#include "tests/support/dicom/NetTestSupport.h"
#include "tests/support/TempDir.h"

using namespace quiva::test;

namespace {

// A client set up as the send-to-PACS model sets it up, for one SC object.
struct Client {
    explicit Client(uint16_t port, const char* transferSyntax = kExplicitLittleUid)
    {
        c.SetServer(L"PACS", L"127.0.0.1", port);
        c.SetCallingAETitle(L"HRBIMAGE");
        c.AddPresentationContext(CString(kSecondaryCaptureUid), CString(transferSyntax));
    }
    bool Store(const std::vector<uint8_t>& object)
    {
        return c.StoreDocument(object.data(), static_cast<DWORD>(object.size()));
    }
    CDicomNetworkClient c;
};

// What the client sent after the peer's answer (first PDU), for the last AnswerWith peer.
std::vector<uint8_t> g_afterAnswer;

// A PACS that accepts, takes the request and answers with the given PDUs.
TestPeer::Script AnswerWith(std::vector<std::vector<uint8_t>> (*answer)(uint16_t messageId),
                            uint32_t maxPdu = 16384, uint8_t result = 0)
{
    return [=](PeerConnection& c) {
        if (c.ReadPdu().empty())
            return;
        c.Write(AssociateAccept(result, kExplicitLittleUid, maxPdu));
        std::vector<uint8_t> command = ReadMessage(c);
        if (command.empty())
            return;
        ReadMessage(c);
        for (const auto& pdu : answer(MessageIdOf(command)))
            c.Write(pdu);
        std::vector<uint8_t> next = c.ReadPdu(3000);
        g_afterAnswer = next;
        if (next.size() == 10 && next[0] == 5)
            c.Write(ReleaseReply());
    };
}

std::vector<uint8_t> Object(int rows = 16, int columns = 16, int samples = 1)
{
    static int serial = 0;
    return MakeSecondaryCapture("1.2.999.424242.9." + std::to_string(++serial), rows, columns, samples);
}

// A JPEG Secondary Capture object as the send-to-PACS model makes it.
std::vector<uint8_t> JpegObject(const std::string& uid, int width, int height, JpegKind kind)
{
    const std::string jpeg = MakeJpeg(width, height, kind);
    CSecondaryCaptureDicomDocument doc;
    std::wstring wuid(uid.begin(), uid.end());
    doc.SetPatient(L"12345", L"TEST^PATIENT", L"19800101", L"M");
    doc.SetStudy(L"1.2.999.424242.1.1", L"1", L"20261209", L"101010", L"Study", L"1", L"SC", L"");
    doc.SetSeries(L"1.2.999.424242.2.1", L"Study", L"1", L"");
    doc.SetImage(wuid.c_str(), width, height, kind == JpegKind::Gray, 1, 8);
    doc.SetString(DICOM_TAG(0x0002, 0x0010), DICOM_TRANSFER_SYNTAX_JPEG_BASELINE, DICOM_VR_UI);
    doc.SetEncapsulatedPixelData(reinterpret_cast<const BYTE*>(jpeg.data()), static_cast<DWORD>(jpeg.size()));
    doc.GetCodingState().preamble = 1;
    doc.GetCodingState().dicmPrefix = 1;
    DWORD length = 0;
    BYTE* bytes = doc.Encode(&length);
    std::vector<uint8_t> out(bytes, bytes + length);
    VirtualFree(bytes, 0, MEM_RELEASE);
    return out;
}

class DicomNetworkClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CDicomNetworkClient::SetDumpPath(CString(dir.Native("pdata.dmp").c_str()));
    }
    void TearDown() override { CDicomNetworkClient::SetDumpPath(L"c:\\pdata.dmp"); }
    TempDir dir;
};

}  // namespace

TEST_F(DicomNetworkClientTest, StatusDecidesTheStore)
{
    struct Case {
        uint16_t status;
        bool stored;
    } cases[] = {{0x0000, true}, {0x0001, true}, {0xB000, true}, {0xB007, true}, {0x0107, true}, {0x0116, true},
                 {0xA700, false}, {0xC000, false}, {0x0122, false}, {0xFE00, false}, {0x0110, false}};
    for (const Case& k : cases) {
        static uint16_t status;
        status = k.status;
        TestPeer peer(AnswerWith([](uint16_t id) { return std::vector<std::vector<uint8_t>>{PData(1, 3, StoreResponse(id, status))}; }));
        Client client(peer.port());
        ASSERT_TRUE(client.c.ConnectAndAssociate());
        EXPECT_EQ(client.Store(Object()), k.stored) << std::hex << k.status;
        EXPECT_EQ(client.c.GetLastStatus(), k.status);
        EXPECT_TRUE(client.c.Release());
        EXPECT_TRUE(peer.Join());
    }
}

TEST_F(DicomNetworkClientTest, ResponseMustAnswerOurMessageWithACommandField)
{
    TestPeer wrongId(AnswerWith([](uint16_t id) { return std::vector<std::vector<uint8_t>>{PData(1, 3, StoreResponse(id + 1, 0))}; }));
    Client a(wrongId.port());
    ASSERT_TRUE(a.c.ConnectAndAssociate());
    EXPECT_FALSE(a.Store(Object()));

    TestPeer noField(AnswerWith([](uint16_t id) { return std::vector<std::vector<uint8_t>>{PData(1, 3, StoreResponse(id, 0, false))}; }));
    Client b(noField.port());
    ASSERT_TRUE(b.c.ConnectAndAssociate());
    EXPECT_FALSE(b.Store(Object()));
}

TEST_F(DicomNetworkClientTest, ResponseSplitOverPdusOrPdvsIsCollected)
{
    TestPeer split(AnswerWith([](uint16_t id) {
        std::vector<uint8_t> r = StoreResponse(id, 0);
        std::vector<uint8_t> head(r.begin(), r.begin() + 20), tail(r.begin() + 20, r.end());
        return std::vector<std::vector<uint8_t>>{PData(1, 1, head), PData(1, 3, tail)};
    }));
    Client a(split.port());
    ASSERT_TRUE(a.c.ConnectAndAssociate());
    EXPECT_TRUE(a.Store(Object()));
    // The dump holds exactly the collected command bytes.
    EXPECT_EQ(ReadAll(dir.Native("pdata.dmp")).size(), StoreResponse(1, 0).size());
    struct stat st {};
    ASSERT_EQ(::stat(dir.Native("pdata.dmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    TestPeer twoPdvs(AnswerWith([](uint16_t id) {
        std::vector<uint8_t> r = StoreResponse(id, 0);
        std::vector<uint8_t> first = PData(1, 1, std::vector<uint8_t>(r.begin(), r.begin() + 30));
        std::vector<uint8_t> second = PData(1, 3, std::vector<uint8_t>(r.begin() + 30, r.end()));
        // Both PDVs in one PDU.
        first.insert(first.end(), second.begin() + 6, second.end());
        uint32_t n = static_cast<uint32_t>(first.size() - 6);
        first[2] = n >> 24; first[3] = n >> 16; first[4] = n >> 8; first[5] = n;
        return std::vector<std::vector<uint8_t>>{first};
    }));
    Client b(twoPdvs.port());
    ASSERT_TRUE(b.c.ConnectAndAssociate());
    EXPECT_TRUE(b.Store(Object()));
}

TEST_F(DicomNetworkClientTest, ResponseBytesOnAnotherContextCountTowardsTheCap)
{
    // Each PDU carries a large PDV on a second proposed context and an unfinished command PDV
    // on ours: the client must give up once the bytes held pass the cap.
    static bool aborted;
    aborted = false;
    TestPeer peer([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(AssociateAccept(0, kExplicitLittleUid, 16384));
        ReadMessage(c);
        ReadMessage(c);
        for (int i = 0; i < 9; ++i) {
            std::vector<uint8_t> pdu = PData(3, 0, std::vector<uint8_t>(8000, 0x41));
            std::vector<uint8_t> command = PData(1, 1, {});
            pdu.insert(pdu.end(), command.begin() + 6, command.end());
            uint32_t n = static_cast<uint32_t>(pdu.size() - 6);
            pdu[2] = n >> 24; pdu[3] = n >> 16; pdu[4] = n >> 8; pdu[5] = n;
            c.Write(pdu);
        }
        std::vector<uint8_t> next = c.ReadPdu(3000);
        aborted = !next.empty() && next[0] == 7;
    });
    Client client(peer.port());
    client.c.Association().calling.contexts.Add(L"1.2.840.10008.1.1", CString(kExplicitLittleUid), DICOM_ROLE_SCU);
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    EXPECT_FALSE(client.Store(Object()));
    EXPECT_FALSE(client.c.IsConnected());
    EXPECT_TRUE(peer.Join());
    EXPECT_TRUE(aborted);
}

TEST_F(DicomNetworkClientTest, DumpGoesToDriveC)
{
    CDicomNetworkClient::SetDumpPath(L"c:\\pdata.dmp");
    TempDir driveC;
    ScopedEnv mapped("QUIVA_DRIVE_C", driveC.path());
    TestPeer peer(AnswerWith([](uint16_t id) { return std::vector<std::vector<uint8_t>>{PData(1, 3, StoreResponse(id, 0))}; }));
    Client client(peer.port());
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    EXPECT_TRUE(client.Store(Object()));
    EXPECT_EQ(ReadAll(driveC.Native("pdata.dmp")).size(), StoreResponse(1, 0).size());
    // The file is created for its owner only.
    struct stat st {};
    ASSERT_EQ(::stat(driveC.Native("pdata.dmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(DicomNetworkClientTest, DumpIsNotWrittenThroughALink)
{
    std::string target = dir.Native("elsewhere");
    ASSERT_EQ(::symlink(target.c_str(), dir.Native("pdata.dmp").c_str()), 0);
    TestPeer peer(AnswerWith([](uint16_t id) { return std::vector<std::vector<uint8_t>>{PData(1, 3, StoreResponse(id, 0))}; }));
    Client client(peer.port());
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    EXPECT_TRUE(client.Store(Object()));
    struct stat st {};
    EXPECT_NE(::stat(target.c_str(), &st), 0);
}

TEST_F(DicomNetworkClientTest, AbnormalRepliesFailTheStoreSafely)
{
    std::vector<std::vector<uint8_t>> (*answers[])(uint16_t) = {
        [](uint16_t) { return std::vector<std::vector<uint8_t>>{Abort(2, 0)}; },
        [](uint16_t) { return std::vector<std::vector<uint8_t>>{ReleaseRequest()}; },
        [](uint16_t) { return std::vector<std::vector<uint8_t>>{{4, 0, 0, 0, 0, 4, 0, 0, 0, 0}}; },
        [](uint16_t) { return std::vector<std::vector<uint8_t>>{{4, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2, 1, 3}}; },
        [](uint16_t) { return std::vector<std::vector<uint8_t>>{{0x44, 0, 0, 0, 0, 4, 0, 0, 0, 0}}; },
        [](uint16_t id) { return std::vector<std::vector<uint8_t>>{PData(3, 3, StoreResponse(id, 0))}; },
        [](uint16_t id) { return std::vector<std::vector<uint8_t>>{PData(1, 2, StoreResponse(id, 0))}; },
        [](uint16_t id) {
            // The first chunk shorter than the 6-byte header, then the rest.
            std::vector<uint8_t> pdu = PData(1, 3, StoreResponse(id, 0));
            return std::vector<std::vector<uint8_t>>{{pdu.begin(), pdu.begin() + 3}, {pdu.begin() + 3, pdu.end()}};
        },
    };
    for (size_t i = 0; i < std::size(answers); ++i) {
        TestPeer peer(AnswerWith(answers[i]));
        Client client(peer.port());
        ASSERT_TRUE(client.c.ConnectAndAssociate());
        bool stored = client.Store(Object());
        if (i == std::size(answers) - 1) {
            EXPECT_TRUE(stored);
            continue;
        }
        EXPECT_FALSE(stored) << i;
        EXPECT_FALSE(client.c.IsConnected()) << i;
        ASSERT_TRUE(peer.Join());
        // A protocol error is ended with an A-ABORT; the peer's own A-ABORT is not answered.
        if (i == 0)
            EXPECT_TRUE(g_afterAnswer.empty());
        else
            EXPECT_EQ(g_afterAnswer.size() == 10 ? g_afterAnswer[0] : 0, DICOM_PDU_ABORT) << i;
        // Release after the connection is gone sends nothing and opens nothing.
        EXPECT_TRUE(client.c.Release());
        EXPECT_FALSE(client.c.IsConnected());
    }
}

TEST_F(DicomNetworkClientTest, ResetDuringTheDataOrAbortOnReleaseEndCleanly)
{
    {
        TestPeer peer([](PeerConnection& c) {
            c.ReadPdu();
            c.Write(AssociateAccept(0, kExplicitLittleUid, 16384));
            c.Read(50000, 5000);
            c.Reset();
        });
        Client client(peer.port());
        ASSERT_TRUE(client.c.ConnectAndAssociate());
        EXPECT_FALSE(client.Store(Object(1080, 1920, 3)));
        EXPECT_FALSE(client.c.IsConnected());
        EXPECT_TRUE(client.c.Release());
    }
    {
        TestPeer peer([](PeerConnection& c) {
            c.ReadPdu();
            c.Write(AssociateAccept(0, kExplicitLittleUid, 16384));
            std::vector<uint8_t> command = ReadMessage(c);
            ReadMessage(c);
            c.Write(PData(1, 3, StoreResponse(MessageIdOf(command), 0)));
            EXPECT_EQ(c.ReadPdu(), ReleaseRequest());
            c.Write(Abort(2, 0));
        });
        Client client(peer.port());
        ASSERT_TRUE(client.c.ConnectAndAssociate());
        EXPECT_TRUE(client.Store(Object()));
        EXPECT_TRUE(client.c.Release());
        client.c.CloseSocket();
        EXPECT_TRUE(peer.Join());
    }
}

TEST_F(DicomNetworkClientTest, EndlessResponseIsCutOff)
{
    TestPeer peer([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(AssociateAccept(0, kExplicitLittleUid, 16384));
        ReadMessage(c);
        ReadMessage(c);
        std::vector<uint8_t> pdu = PData(1, 1, std::vector<uint8_t>(16000, 0));
        // Never the last bit: the client must give up at its size limit.
        for (int i = 0; i < 100; ++i)
            if (!c.Write(pdu))
                break;
    });
    Client client(peer.port());
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    EXPECT_FALSE(client.Store(Object()));
    EXPECT_FALSE(client.c.IsConnected());
}

TEST_F(DicomNetworkClientTest, AssociationReplies)
{
    {
        TestPeer peer([](PeerConnection& c) {
            c.ReadPdu();
            c.Write(Reject(1, 1, 7));
            c.ReadToEnd(2000);
        });
        Client client(peer.port());
        EXPECT_FALSE(client.c.ConnectAndAssociate());
        EXPECT_FALSE(client.c.IsConnected());
        EXPECT_EQ(client.c.GetAssociation()->rejectResult, 1);
        EXPECT_EQ(client.c.GetAssociation()->rejectReason, 7);
        EXPECT_EQ(client.c.GetAssociateFailure(), DicomAssociateFailure::CalledTitleUnknown);
        EXPECT_FALSE(client.Store(Object()));
    }
    std::vector<uint8_t> accept = AssociateAccept(0, kExplicitLittleUid, 16384);
    std::vector<uint8_t> truncated(accept.begin(), accept.begin() + 60);
    for (const auto& reply : {Abort(), truncated}) {
        TestPeer peer([reply](PeerConnection& c) {
            c.ReadPdu();
            c.Write(reply);
            c.ShutdownWrite();
            c.ReadToEnd(2000);
        });
        Client client(peer.port());
        EXPECT_FALSE(client.c.ConnectAndAssociate());
        EXPECT_FALSE(client.c.IsConnected());
    }
    {
        quiva::ScopedVirtualClock clock;
        TestPeer peer([](PeerConnection& c) { c.ReadToEnd(5000); });
        Client client(peer.port());
        uint64_t start = clock->TickMs();
        EXPECT_FALSE(client.c.ConnectAndAssociate());
        EXPECT_EQ(clock->TickMs() - start, 17010u);
        EXPECT_EQ(client.c.GetAssociateFailure(), DicomAssociateFailure::Silent);
        EXPECT_FALSE(client.c.IsConnected());
    }
    {
        // An empty called AE title: nothing is sent.
        TestPeer peer([](PeerConnection& c) { EXPECT_TRUE(c.ReadToEnd(3000).empty()); });
        Client client(peer.port());
        client.c.SetCalledAETitle(L"");
        EXPECT_FALSE(client.c.ConnectAndAssociate());
        EXPECT_FALSE(client.c.IsConnected());
    }
}

TEST_F(DicomNetworkClientTest, RejectedContextCarriesNoData)
{
    for (uint8_t result : {DICOM_PC_ABSTRACT_SYNTAX_NOT_SUPPORTED, DICOM_PC_TRANSFER_SYNTAXES_NOT_SUPPORTED}) {
        TestPeer peer([result](PeerConnection& c) {
            c.ReadPdu();
            c.Write(AssociateAccept(result, kExplicitLittleUid, 16384));
            std::vector<uint8_t> next = c.ReadPdu();
            // The only thing that may come is a release request.
            EXPECT_EQ(next, ReleaseRequest());
            c.Write(ReleaseReply());
            EXPECT_TRUE(c.ReadToEnd(3000).empty());
        });
        Client client(peer.port());
        ASSERT_TRUE(client.c.ConnectAndAssociate());
        EXPECT_FALSE(client.Store(Object()));
        EXPECT_TRUE(client.c.Release());
        EXPECT_FALSE(client.c.IsConnected());
        EXPECT_TRUE(peer.Join());
    }
}

TEST_F(DicomNetworkClientTest, ContextAgreedForAnotherTransferSyntaxCarriesNoData)
{
    // Both syntaxes were offered; the peer picks explicit VR while the object is JPEG coded.
    TestPeer peer([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(AssociateAccept(0, kExplicitLittleUid, 16384));
        EXPECT_EQ(c.ReadPdu(), ReleaseRequest());
        c.Write(ReleaseReply());
        EXPECT_TRUE(c.ReadToEnd(3000).empty());
    });
    Client client(peer.port(), "1.2.840.10008.1.2.4.50");
    client.c.Association().calling.contexts.FindByAbstractSyntax(CString(kSecondaryCaptureUid))->AddTransferSyntax(
        CString(kExplicitLittleUid));
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    EXPECT_FALSE(client.Store(JpegObject("1.2.999.424242.9.77", 32, 16, JpegKind::YCbCrJfif)));
    EXPECT_TRUE(client.c.Release());
    EXPECT_FALSE(client.c.IsConnected());
    EXPECT_TRUE(peer.Join());
}

TEST_F(DicomNetworkClientTest, FragmentsFollowThePeerMaximum)
{
    static std::vector<size_t> commandSizes, dataSizes;
    static std::vector<uint8_t> command;
    static bool commandBit;
    for (uint32_t maxPdu : {16384u, 0u}) {
        commandSizes.clear();
        dataSizes.clear();
        TestPeer peer([maxPdu](PeerConnection& c) {
            c.ReadPdu();
            c.Write(AssociateAccept(0, kExplicitLittleUid, maxPdu));
            command = ReadMessage(c, &commandBit, &commandSizes);
            ReadMessage(c, nullptr, &dataSizes);
            c.Write(PData(1, 3, StoreResponse(MessageIdOf(command), 0)));
            c.ReadPdu(3000);
            c.Write(ReleaseReply());
        });
        Client client(peer.port());
        ASSERT_TRUE(client.c.ConnectAndAssociate());
        EXPECT_TRUE(client.Store(Object(200, 200, 1)));
        client.c.Release();
        ASSERT_TRUE(peer.Join());
        EXPECT_TRUE(commandBit);
        EXPECT_EQ(commandSizes.size(), 1u);
        size_t total = 0;
        for (size_t s : dataSizes)
            total += s;
        ASSERT_GT(total, 40000u);
        if (maxPdu) {
            ASSERT_EQ(dataSizes.size(), (total + 16369) / 16370);
            for (size_t i = 0; i + 1 < dataSizes.size(); ++i)
                EXPECT_EQ(dataSizes[i], 16370u);
        } else {
            EXPECT_EQ(dataSizes.size(), 1u);
        }
    }
}

TEST_F(DicomNetworkClientTest, FortyThousandBytesGoAsThreeFragments)
{
    static std::vector<size_t> sizes;
    static std::vector<uint8_t> message;
    TestPeer peer([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(AssociateAccept(0, kExplicitLittleUid, 16384));
        message = ReadMessage(c, nullptr, &sizes);
    });
    Client client(peer.port());
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    std::vector<uint8_t> data(40000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i % 251);
    EXPECT_TRUE(client.c.SendFragments(data.data(), 40000, 1, false));
    ASSERT_TRUE(peer.Join());
    EXPECT_EQ(sizes, (std::vector<size_t>{16370, 16370, 7260}));
    EXPECT_EQ(message, data);
}

TEST_F(DicomNetworkClientTest, CommandSetAndMessageIds)
{
    static std::vector<uint8_t> command;
    static std::vector<uint8_t> dataSet;
    TestPeer peer([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(AssociateAccept(0, kExplicitLittleUid, 16384));
        command = ReadMessage(c);
        dataSet = ReadMessage(c);
        c.Write(PData(1, 3, StoreResponse(MessageIdOf(command), 0)));
    });
    WORD before = DicomMessageId;
    Client client(peer.port());
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    EXPECT_TRUE(client.Store(MakeSecondaryCapture("1.2.999.424242.1.2.3.4.5.6.7.8.9.10.11.12.13.14.15", 4, 4, 1)));
    ASSERT_TRUE(peer.Join());
    EXPECT_EQ(MessageIdOf(command), static_cast<uint16_t>(before + 1));
    EXPECT_EQ(DicomMessageId, static_cast<WORD>(before + 1));
    // Group length: 4 x 10 + (8 + 26) + (8 + 50) = 132 for a 25-character class UID padded to
    // 26 and a 50-character instance UID.
    ASSERT_GE(command.size(), 12u);
    EXPECT_EQ(std::vector<uint8_t>(command.begin(), command.begin() + 12),
              (std::vector<uint8_t>{0, 0, 0, 0, 4, 0, 0, 0, 132, 0, 0, 0}));
    EXPECT_EQ(command.size(), 12u + 132u);
    // The data set starts with group 0008: no preamble, no file meta, no command group.
    ASSERT_GE(dataSet.size(), 4u);
    EXPECT_EQ(dataSet[0], 0x08);
    EXPECT_EQ(dataSet[1], 0x00);

    DicomMessageId = 0xFFFF;
    TestPeer wrap([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(AssociateAccept(0, kExplicitLittleUid, 16384));
        command = ReadMessage(c);
        ReadMessage(c);
        c.Write(PData(1, 3, StoreResponse(MessageIdOf(command), 0)));
    });
    Client second(wrap.port());
    ASSERT_TRUE(second.c.ConnectAndAssociate());
    EXPECT_TRUE(second.Store(Object()));
    EXPECT_EQ(DicomMessageId, 0);
}

TEST_F(DicomNetworkClientTest, SilentPeerAfterTheDataEndsTheStoreInBoundedTime)
{
    quiva::ScopedVirtualClock clock;
    TestPeer peer([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(AssociateAccept(0, kExplicitLittleUid, 16384));
        ReadMessage(c);
        ReadMessage(c);
        c.ReadToEnd(5000);
    });
    Client client(peer.port());
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    uint64_t start = clock->TickMs();
    EXPECT_FALSE(client.Store(Object()));
    EXPECT_LE(clock->TickMs() - start, 18000u);
    EXPECT_GE(clock->TickMs() - start, 17010u);
    EXPECT_FALSE(client.c.IsConnected());
}

TEST_F(DicomNetworkClientTest, StoreWithoutAssociationParsesNothing)
{
    Client client(UnusedPort());
    EXPECT_FALSE(client.c.ConnectAndAssociate());
    EXPECT_FALSE(client.Store(Object()));
    EXPECT_TRUE(client.c.Release());
}

class StorescpTest : public DicomNetworkClientTest {
protected:
    std::string Dump(const std::string& file) { return RunCommand("dcmdump -q '" + file + "' 2>&1"); }
};

TEST_F(StorescpTest, StoresGreyAndColourObjects)
{
    TempDir received;
    Storescp pacs(received.path(), {});
    ASSERT_TRUE(pacs.running());
    struct Case {
        int rows, columns, samples;
        std::string uid;
    } cases[] = {{64, 48, 1, "1.2.999.424242.5.1"}, {480, 640, 3, "1.2.999.424242.5.2"}};
    for (const Case& k : cases) {
        Client client(pacs.port());
        ASSERT_TRUE(client.c.ConnectAndAssociate());
        EXPECT_TRUE(client.Store(MakeSecondaryCapture(k.uid, k.rows, k.columns, k.samples)));
        EXPECT_EQ(client.c.GetLastStatus(), 0);
        EXPECT_TRUE(client.c.Release());
        client.c.CloseSocket();
    }
    std::vector<std::string> files = FilesIn(received.path());
    ASSERT_EQ(files.size(), 2u);
    for (const Case& k : cases) {
        std::string file;
        for (const std::string& f : files)
            if (f.find(k.uid) != std::string::npos)
                file = received.Native(f);
        ASSERT_FALSE(file.empty()) << k.uid;
        std::string dump = Dump(file);
        EXPECT_NE(dump.find("[" + k.uid + "]"), std::string::npos) << dump;
        EXPECT_NE(dump.find("=LittleEndianExplicit"), std::string::npos) << dump;
        EXPECT_NE(dump.find("(0028,0010) US " + std::to_string(k.rows)), std::string::npos) << dump;
        size_t pixels = static_cast<size_t>(k.rows) * k.columns * k.samples;
        EXPECT_NE(dump.find("# " + std::to_string(pixels + (pixels & 1)) + ", 1 PixelData"), std::string::npos) << dump;
        EXPECT_NE(dump.find("[TEST^PATIENT]"), std::string::npos);
    }
}

TEST_F(StorescpTest, SmallMaximumPduFragments)
{
    TempDir received;
    Storescp pacs(received.path(), {"--max-pdu", "4096"});
    ASSERT_TRUE(pacs.running());
    Client client(pacs.port());
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    EXPECT_EQ(client.c.GetAssociation()->peerMaxPdu, 4096u);
    EXPECT_TRUE(client.Store(MakeSecondaryCapture("1.2.999.424242.6.1", 100, 100, 3)));
    client.c.Release();
    client.c.CloseSocket();
    ASSERT_EQ(FilesIn(received.path()).size(), 1u);
    std::string dump = Dump(received.Native(FilesIn(received.path())[0]));
    EXPECT_NE(dump.find("# 30000, 1 PixelData"), std::string::npos) << dump;
}

TEST_F(StorescpTest, JpegContextRejectedByDefaultStoresNothing)
{
    TempDir received;
    Storescp pacs(received.path(), {});
    ASSERT_TRUE(pacs.running());
    Client client(pacs.port(), kJpegBaselineUid);
    ASSERT_TRUE(client.c.ConnectAndAssociate());
    EXPECT_FALSE(client.Store(MakeSecondaryCapture("1.2.999.424242.7.1", 8, 8, 1)));
    EXPECT_TRUE(client.c.Release());
    EXPECT_TRUE(FilesIn(received.path()).empty());
}

TEST_F(StorescpTest, StoresJpegObjectsThatDecodeToTheirSize)
{
    TempDir received;
    Storescp pacs(received.path(), {"+xa"});
    ASSERT_TRUE(pacs.running());
    struct Case {
        std::string uid;
        int width, height;
        JpegKind kind;
    } cases[] = {{"1.2.999.424242.8.1", 640, 480, JpegKind::YCbCrJfif}, {"1.2.999.424242.8.2", 320, 240, JpegKind::Gray}};
    for (const Case& k : cases) {
        Client client(pacs.port(), kJpegBaselineUid);
        ASSERT_TRUE(client.c.ConnectAndAssociate());
        EXPECT_TRUE(client.Store(JpegObject(k.uid, k.width, k.height, k.kind)));
        client.c.Release();
        client.c.CloseSocket();
    }
    for (const Case& k : cases) {
        std::string file;
        for (const std::string& f : FilesIn(received.path()))
            if (f.find(k.uid) != std::string::npos)
                file = received.Native(f);
        ASSERT_FALSE(file.empty()) << k.uid;
        std::string dump = Dump(file);
        EXPECT_NE(dump.find("=JPEGBaseline"), std::string::npos) << dump;
        EXPECT_NE(dump.find("[" + k.uid + "]"), std::string::npos) << dump;
        // The decoded image has the source's size.
        std::string image = received.Native("decoded.pnm");
        RunCommand("dcmj2pnm '" + file + "' '" + image + "' 2>&1");
        std::string pnm = ReadAll(image);
        std::string header = std::to_string(k.width) + " " + std::to_string(k.height);
        EXPECT_EQ(pnm.substr(0, 2), k.kind == JpegKind::Gray ? "P5" : "P6");
        EXPECT_NE(pnm.find(header), std::string::npos) << pnm.substr(0, 40);
    }
}
