#include "dicom/KXNetClient.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/base/clock.h"
#include "tests/support/dicom/TestPeer.h"

using quiva::test::PeerConnection;
using quiva::test::TestPeer;

namespace {

// A transport whose messages have a fixed length; it records the size of every chunk.
class FixedLengthClient : public CKXNetClient {
public:
    explicit FixedLengthClient(DWORD messageLength) : m_length(messageLength) { Startup(2); }
    void ResetReceiveBuffer() override { m_received.clear(); }
    DWORD OnReceived(const BYTE* bytes, DWORD count) override
    {
        m_chunks.push_back(count);
        m_received.insert(m_received.end(), bytes, bytes + count);
        return m_received.size() >= m_length ? 0 : static_cast<DWORD>(m_length - m_received.size());
    }
    std::vector<DWORD> m_chunks;
    std::vector<BYTE> m_received;
    DWORD m_length;
};

// A one-way signal between a peer's script and the test. Waits are bounded so that a failing
// test still ends; nothing here waits a fixed time.
class Latch {
public:
    void Open() { m_open = true; }
    bool Wait(int ms = 60000) const
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!m_open && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return m_open;
    }

private:
    std::atomic<bool> m_open {false};
};

// Opens a latch when the scope ends, so that a peer held by it lets go even when the test
// stops early.
struct OpenAtEnd {
    Latch& latch;
    ~OpenAtEnd() { latch.Open(); }
};

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + 3);
    return v;
}

}  // namespace

TEST(KXNetClientTest, ReadsOnlyWhatTheMessageStillWants)
{
    for (DWORD length : {10u, 5000u}) {
        Latch written;
        TestPeer peer([&](PeerConnection& c) {
            // The message and the start of the next one are waiting before the client reads
            // (on loopback, written bytes are in the client's buffer).
            std::vector<uint8_t> bytes = Pattern(length + 100);
            c.Write(bytes);
            written.Open();
            c.Read(1, 30000);
        });
        FixedLengthClient client(length);
        ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5));
        ASSERT_TRUE(written.Wait());
        ASSERT_TRUE(client.Receive());
        if (length == 10)
            EXPECT_EQ(client.m_chunks, (std::vector<DWORD>{8, 2}));
        else
            EXPECT_EQ(client.m_chunks, (std::vector<DWORD>{8, 1024, 1024, 1024, 1024, 896}));
        std::vector<uint8_t> expected = Pattern(length);
        EXPECT_EQ(client.m_received, expected);
        EXPECT_TRUE(client.IsConnected());
        client.Send(reinterpret_cast<const BYTE*>("x"), 1);
    }
}

TEST(KXNetClientTest, ReceiveScheduleRunsOnTheReplaceableClock)
{
    quiva::ScopedVirtualClock clock;
    {
        // Silent peer: 10 + 1000 + 1000 + 5000 + 5000 + 5000 ms, then the socket is closed. The
        // peer stays until the client has given up, however long that takes in real time.
        Latch gaveUp;
        TestPeer peer([&](PeerConnection&) { gaveUp.Wait(); });
        OpenAtEnd release {gaveUp};
        FixedLengthClient client(10);
        ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5));
        uint64_t start = clock->TickMs();
        EXPECT_FALSE(client.Receive());
        EXPECT_EQ(clock->TickMs() - start, 17010u);
        EXPECT_FALSE(client.IsConnected());
    }
    {
        // A peer that stalls inside a message: given up after 18 s; a partial message is no
        // message.
        Latch written, gaveUp;
        TestPeer peer([&](PeerConnection& c) {
            c.Write(Pattern(4));
            written.Open();
            gaveUp.Wait();
        });
        OpenAtEnd release {gaveUp};
        FixedLengthClient client(10);
        ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5));
        ASSERT_TRUE(written.Wait());
        uint64_t start = clock->TickMs();
        EXPECT_FALSE(client.Receive());
        EXPECT_EQ(clock->TickMs() - start, 18000u);
        EXPECT_FALSE(client.IsConnected());
    }
    {
        // An answer that is already there costs no wait at all.
        Latch written;
        TestPeer peer([&](PeerConnection& c) {
            c.Write(Pattern(10));
            written.Open();
            c.ReadToEnd(30000);
        });
        FixedLengthClient client(10);
        ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5));
        ASSERT_TRUE(written.Wait());
        uint64_t start = clock->TickMs();
        EXPECT_TRUE(client.Receive());
        EXPECT_EQ(clock->TickMs() - start, 0u);
    }
}

TEST(KXNetClientTest, PeerThatTricklesCannotHoldTheReceive)
{
    // Real time, short waits: the stall limit is 50 + 50 + 50 + 250 * 3 = 900 ms.
    TestPeer peer([](PeerConnection& c) {
        for (int i = 0; i < 200; ++i) {
            if (!c.Write("x", 1))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    });
    FixedLengthClient client(100000);
    ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 50, 5));
    EXPECT_EQ(client.StallLimitMs(), 900u);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Receive());
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 800);
    EXPECT_LT(ms, 3000);
    EXPECT_FALSE(client.IsConnected());
}

TEST(KXNetClientTest, PeerClosingMidMessageFailsTheReceive)
{
    for (bool reset : {false, true}) {
        // The peer ends the connection once the client has it (a byte from the client says so):
        // a reset that comes before the client's connect has finished fails the connect instead.
        TestPeer peer([&](PeerConnection& c) {
            c.Read(1, 5000);
            c.Write(Pattern(6));
            if (reset)
                c.Reset();
            else
                c.ShutdownWrite();
            c.ReadToEnd(2000);
        });
        FixedLengthClient client(10);
        ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5)) << "WSA error " << WSAGetLastError();
        const BYTE connected = 1;
        ASSERT_TRUE(client.Send(&connected, 1));
        EXPECT_FALSE(client.Receive()) << "reset " << reset;
        EXPECT_FALSE(client.IsConnected());
    }
}

TEST(KXNetClientTest, ResetDuringALargeSendFailsWithoutKillingTheProcess)
{
    TestPeer peer([](PeerConnection& c) {
        c.Read(100000, 5000);
        c.Reset();
    });
    FixedLengthClient client(10);
    ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5));
    std::vector<uint8_t> big(64u << 20, 0x5A);
    EXPECT_FALSE(client.Send(big.data(), static_cast<DWORD>(big.size())));
    EXPECT_FALSE(client.IsConnected());
}

TEST(KXNetClientTest, SlowReaderGetsEveryByte)
{
    // The socket buffers fill again and again; each time the send waits until the peer reads.
    const size_t total = 8u << 20;
    static size_t received;
    received = 0;
    TestPeer peer([total](PeerConnection& c) {
        while (received < total) {
            std::vector<uint8_t> part = c.Read(std::min<size_t>(65536, total - received), 5000);
            if (part.empty())
                break;
            received += part.size();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }, 4096);
    FixedLengthClient client(10);
    ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5));
    std::vector<uint8_t> big = Pattern(total);
    EXPECT_TRUE(client.Send(big.data(), static_cast<DWORD>(big.size())));
    EXPECT_TRUE(peer.Join());
    EXPECT_EQ(received, total);
}

TEST(KXNetClientTest, PeerThatStopsReadingEndsTheSendInBoundedTime)
{
    quiva::ScopedVirtualClock clock;
    // The peer reads nothing and keeps the connection until the client has given up.
    Latch gaveUp;
    TestPeer peer([&](PeerConnection&) { gaveUp.Wait(); }, 4096);
    OpenAtEnd release {gaveUp};
    FixedLengthClient client(10);
    ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5));
    std::vector<uint8_t> big(64u << 20, 0x5A);
    uint64_t start = clock->TickMs();
    EXPECT_FALSE(client.Send(big.data(), static_cast<DWORD>(big.size())));
    gaveUp.Open();
    // 18 s after the last byte the peer took (it may take a little after we start waiting).
    EXPECT_GE(clock->TickMs() - start, 18000u);
    EXPECT_LE(clock->TickMs() - start, 30000u);
    EXPECT_FALSE(client.IsConnected());
}

TEST(KXNetClientTest, ConnectResolvesNamesAndNeverLeaksOrReconnects)
{
    {
        TestPeer peer([](PeerConnection& c) { c.ReadToEnd(1000); });
        FixedLengthClient client(10);
        EXPECT_TRUE(client.Connect(L"localhost", peer.port(), 1000, 5));
    }
    {
        TestPeer peer([](PeerConnection& c) { c.ReadToEnd(1000); });
        FixedLengthClient client(10);
        EXPECT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5));
    }
    // A refused connect fails at once, closes its socket, and a later Send does not reconnect.
    uint16_t closedPort = quiva::test::UnusedPort();
    int before = quiva::test::OpenDescriptorCount();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) {
        FixedLengthClient client(10);
        EXPECT_FALSE(client.Connect(L"127.0.0.1", closedPort, 1000, 5));
        EXPECT_FALSE(client.IsConnected());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(quiva::test::OpenDescriptorCount(), before);

    FixedLengthClient unresolved(10);
    EXPECT_FALSE(unresolved.Connect(L"no-such-host.invalid", 104, 1000, 5));
    EXPECT_FALSE(unresolved.IsConnected());

    TestPeer listener(nullptr);
    FixedLengthClient client(10);
    client.SetHost(L"127.0.0.1");
    client.SetPort(listener.port());
    EXPECT_FALSE(client.Send(reinterpret_cast<const BYTE*>("abc"), 3));
    EXPECT_FALSE(client.Receive());
    EXPECT_FALSE(listener.HasPendingConnection());
}

TEST(KXNetClientTest, DestructorClosesTheSocket)
{
    TestPeer peer([](PeerConnection& c) {
        // The stream ends when the client is destroyed.
        EXPECT_TRUE(c.ReadToEnd(5000).empty());
    });
    int before = quiva::test::OpenDescriptorCount();
    {
        FixedLengthClient client(10);
        ASSERT_TRUE(client.Connect(L"127.0.0.1", peer.port(), 1000, 5));
    }
    // Once the peer has seen the end of the stream and closed its side, every descriptor
    // the client took is back.
    EXPECT_TRUE(peer.Join());
    EXPECT_EQ(quiva::test::OpenDescriptorCount(), before);
}
