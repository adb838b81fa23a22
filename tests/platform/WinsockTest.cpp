#include "platform/net/winsock.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include "platform/base/clock.h"

TEST(Winsock, NoSocketIsNeverDescriptorZero)
{
    // Closing "no socket" must not close standard input.
    ASSERT_NE(fcntl(0, F_GETFD), -1);
    EXPECT_EQ(closesocket(INVALID_SOCKET), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_NE(fcntl(0, F_GETFD), -1);

    char byte = 0;
    WSABUF buffer{1, &byte};
    DWORD n = 0;
    EXPECT_EQ(WSASend(INVALID_SOCKET, &buffer, 1, &n, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(quiva::WaitSocket(INVALID_SOCKET, POLLIN, 10), -1);
}

TEST(Winsock, StartupOffersVersionTwoTwoAndCountsCleanups)
{
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), 0);
}

TEST(Winsock, ErrorCodesTheClientDistinguishes)
{
    EXPECT_EQ(quiva::WsaErrorFromErrno(ETIMEDOUT), WSAETIMEDOUT);
    EXPECT_EQ(quiva::WsaErrorFromErrno(EAGAIN), WSAEWOULDBLOCK);
    EXPECT_EQ(quiva::WsaErrorFromErrno(EWOULDBLOCK), WSAEWOULDBLOCK);
    EXPECT_EQ(quiva::WsaErrorFromErrno(EINTR), WSAEINTR);
    EXPECT_EQ(quiva::WsaErrorFromErrno(EPIPE), WSAECONNRESET);
    EXPECT_EQ(quiva::WsaErrorFromErrno(ECONNREFUSED), WSAECONNREFUSED);
}

TEST(Winsock, WaitsRunOnTheVirtualClock)
{
    quiva::ScopedVirtualClock clock;
    SOCKET s = quiva::OpenSocket(SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_NE(s, INVALID_SOCKET);
    WSAEVENT event = WSACreateEvent();
    ASSERT_EQ(WSAEventSelect(s, event, FD_READ | FD_CLOSE), 0);
    uint64_t start = clock->TickMs();
    // A datagram socket nobody sends to has nothing to read: the whole time-out passes, virtually.
    EXPECT_EQ(WSAWaitForMultipleEvents(1, &event, FALSE, 5000, FALSE), WSA_WAIT_TIMEOUT);
    EXPECT_EQ(clock->TickMs() - start, 5000u);
    WSACloseEvent(event);
    EXPECT_EQ(closesocket(s), 0);
    in_addr address{};
    EXPECT_TRUE(quiva::ResolveIPv4("127.0.0.1", &address));
    EXPECT_FALSE(quiva::ResolveIPv4(std::string(256, 'a'), &address));
    EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
}
