#include "dicom/KXNetClient.h"

#include <netinet/tcp.h>
#include <poll.h>

#include "platform/base/clock.h"
#include "platform/base/codepage.h"

namespace {

uint64_t Now() { return quiva::CurrentClock().TickMs(); }

// The longest host text handed to the resolver, in bytes.
constexpr size_t kMaxHostBytes = 255;

// Reads are taken through one buffer of this size and never ask for more than the derived
// class still wants, so no read takes bytes of the next message.
constexpr DWORD kReadChunk = 1024;

// Errors that say the peer closed or reset the connection.
bool EndedByPeer(int error)
{
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN || error == WSAESHUTDOWN;
}

}  // namespace

CKXNetClient::CKXNetClient() = default;

CKXNetClient::~CKXNetClient()
{
    CloseConnection();
    if (m_started)
        WSACleanup();
}

bool CKXNetClient::Startup(UINT socketKind)
{
    if (m_started)
        return true;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    if (data.wVersion != MAKEWORD(2, 2)) {
        WSACleanup();
        return false;
    }
    m_socketKind = socketKind;
    m_started = true;
    return true;
}

bool CKXNetClient::Connect(const CString& host, WORD port, DWORD waitMs, DWORD retryCount)
{
    if (!m_started && !Startup(0))
        return false;
    if (!host.IsEmpty())
        m_host = host;
    if (port != 0)
        m_port = port;
    m_waitTime = waitMs;
    m_retryCount = retryCount;
    return OpenSocket();
}

bool CKXNetClient::OpenSocket()
{
    if (m_socket == INVALID_SOCKET) {
        m_peerEnded = false;
        if (m_socketKind == 1)
            m_socket = quiva::OpenSocket(SOCK_DGRAM, IPPROTO_UDP);
        else
            m_socket = quiva::OpenSocket(SOCK_STREAM, m_socketKind == 2 ? 0 : IPPROTO_TCP);
        if (m_socket == INVALID_SOCKET)
            return false;
    }
    std::string host = quiva::WideToMultiByte(m_host.GetString(), CP_ACP);
    in_addr address{};
    if (host.size() > kMaxHostBytes || !quiva::ResolveIPv4(host, &address)) {
        CloseConnection();
        return false;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(m_port);
    peer.sin_addr = address;
    // The handshake is bounded like the other waits: the caller is a user's screen.
    if (quiva::ConnectSocket(m_socket, peer, m_waitTime * (m_retryCount ? m_retryCount : 1)) != 0) {
        CloseConnection();
        return false;
    }
    // The socket buffers stay at the system's sizes. Whole PDUs are written at once and each
    // message ends with a wait for the peer's answer, so small trailing segments go out at once.
    if (m_socketKind != 1) {
        int on = 1;
        setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    }
    return true;
}

DWORD CKXNetClient::WaitAfter(DWORD timeouts) const
{
    return static_cast<int64_t>(timeouts) >= static_cast<int64_t>(m_retryCount) - 2 ? 5 * m_waitTime : m_waitTime;
}

DWORD CKXNetClient::StallLimitMs() const
{
    uint64_t total = 0;
    for (DWORD t = 0; t <= m_retryCount; ++t)
        total += t == 0 ? m_waitTime : WaitAfter(t);
    return total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(total);
}

bool CKXNetClient::Send(const BYTE* bytes, DWORD count)
{
    WSABUF part{count, reinterpret_cast<char*>(const_cast<BYTE*>(bytes))};
    return SendParts(&part, 1);
}

bool CKXNetClient::SendParts(const WSABUF* parts, DWORD partCount)
{
    if (m_socket == INVALID_SOCKET)
        return false;
    constexpr DWORD kMaxParts = 16;
    if (partCount > kMaxParts) {
        for (DWORD i = 0; i < partCount; i += kMaxParts)
            if (!SendParts(parts + i, partCount - i < kMaxParts ? partCount - i : kMaxParts))
                return false;
        return m_socket != INVALID_SOCKET;
    }
    // The parts still to send; the first one may be partly sent.
    WSABUF pending[kMaxParts];
    DWORD pendingCount = 0;
    for (DWORD i = 0; i < partCount; ++i)
        if (parts[i].len > 0)
            pending[pendingCount++] = parts[i];
    DWORD first = 0;
    DWORD errors = 0;
    DWORD timeouts = 0;
    DWORD wait = m_waitTime;
    while (first < pendingCount && m_socket != INVALID_SOCKET) {
        DWORD sent = 0;
        if (WSASend(m_socket, pending + first, pendingCount - first, &sent, 0, nullptr, nullptr) == 0) {
            while (sent > 0 && first < pendingCount) {
                DWORD taken = sent < pending[first].len ? sent : pending[first].len;
                pending[first].buf += taken;
                pending[first].len -= taken;
                sent -= taken;
                if (pending[first].len == 0)
                    ++first;
            }
            timeouts = 0;
            wait = m_waitTime;
            continue;
        }
        int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            // The peer's window is full: wait until it reads, within the same schedule as a
            // receive, so a peer that stops reading cannot hold the caller.
            int ready = quiva::WaitSocket(m_socket, POLLOUT, wait);
            if (ready > 0)
                continue;
            ++timeouts;
            wait = WaitAfter(timeouts);
            if (timeouts <= m_retryCount)
                continue;
            break;
        }
        if (OnError(error) == 2 && ++errors < m_retryCount)
            continue;
        m_peerEnded = m_peerEnded || EndedByPeer(error);
        break;
    }
    if (first < pendingCount) {
        CloseConnection();
        return false;
    }
    return m_socket != INVALID_SOCKET;
}

bool CKXNetClient::Receive()
{
    if (m_socket == INVALID_SOCKET)
        return false;
    ResetReceiveBuffer();
    DWORD want = 8;
    DWORD wait = 10;
    DWORD timeouts = 0;
    uint64_t deadline = Now() + StallLimitMs();
    if (m_receiveDeadline != 0 && m_receiveDeadline < deadline)
        deadline = m_receiveDeadline;

    WSAEVENT event = WSACreateEvent();
    bool complete = false;
    bool failed = WSAEventSelect(m_socket, event, FD_READ | FD_CLOSE) != 0;
    while (!complete && !failed) {
        uint64_t now = Now();
        if (now >= deadline) {
            failed = true;
            break;
        }
        DWORD thisWait = deadline - now < wait ? static_cast<DWORD>(deadline - now) : wait;
        // Acknowledge every segment at once: a peer that writes a PDU in pieces with Nagle's
        // rule on would otherwise hold the rest until our delayed acknowledgement (40 ms).
        if (m_socketKind != 1) {
            int on = 1;
            setsockopt(m_socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof(on));
        }
        DWORD result = WSAWaitForMultipleEvents(1, &event, FALSE, thisWait, FALSE);
        if (result == WSA_WAIT_TIMEOUT || result == WSA_WAIT_FAILED) {
            // A wait that fails counts as a time-out, so it cannot repeat for ever.
            ++timeouts;
            wait = WaitAfter(timeouts);
            if (timeouts > m_retryCount)
                failed = true;
            continue;
        }
        wait = m_waitTime;
        WSANETWORKEVENTS events;
        if (WSAEnumNetworkEvents(m_socket, event, &events) != 0) {
            failed = true;
            break;
        }
        if (events.lNetworkEvents & FD_READ) {
            BYTE chunk[kReadChunk];
            WSABUF buffer{want < kReadChunk ? want : kReadChunk, reinterpret_cast<char*>(chunk)};
            DWORD received = 0;
            DWORD flags = 0;
            if (WSARecv(m_socket, &buffer, 1, &received, &flags, nullptr, nullptr) != 0) {
                int error = WSAGetLastError();
                if (error == WSAEWOULDBLOCK)
                    continue;
                if (OnError(error) == 2 && ++timeouts <= m_retryCount)
                    continue;
                m_peerEnded = m_peerEnded || EndedByPeer(error);
                failed = true;
                break;
            }
            if (received == 0) {
                // The peer ended the stream before the message was whole.
                m_peerEnded = true;
                failed = true;
                break;
            }
            timeouts = 0;
            DWORD more = OnReceived(chunk, received);
            if (more == 0)
                complete = true;
            else if (more == kReceiveRefused || m_socket == INVALID_SOCKET)
                failed = true;
            else
                want = more;
        } else if (events.lNetworkEvents & FD_CLOSE) {
            m_peerEnded = true;
            failed = true;
        }
    }
    WSACloseEvent(event);
    if (failed)
        CloseConnection();
    return complete && m_socket != INVALID_SOCKET;
}

DWORD CKXNetClient::OnReceived(const BYTE*, DWORD) { return 0; }

int CKXNetClient::OnError(int code) { return code == WSAETIMEDOUT ? 2 : 1; }

void CKXNetClient::CloseConnection()
{
    if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
}
