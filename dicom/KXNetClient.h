// CKXNetClient: a blocking TCP client on the caller's thread. It connects to one host and port,
// sends a block of bytes completely and receives one message, handing each chunk to the derived
// class, which says how many bytes are still missing.
//
// Every wait is bounded. With the defaults (1000 ms, 5 retries) a peer that sends nothing is
// given up after 17.01 s, a peer that stalls in the middle of a message (or stops reading what
// we send) after 18 s, and no single Receive lasts longer than 18 s, however slowly the peer
// trickles. A receive succeeds only for a complete message. Whenever the connection is given up
// the socket is closed and set to none; nothing reconnects behind the caller's back.
#pragma once

#include <cstdint>

#include "platform/base/CString.h"
#include "platform/net/winsock.h"

class CKXNetClient {
public:
    // What OnReceived answers when the bytes cannot be a valid message: the receive fails and
    // the connection is closed.
    static constexpr DWORD kReceiveRefused = 0xFFFFFFFFu;

    CKXNetClient();
    virtual ~CKXNetClient();
    CKXNetClient(const CKXNetClient&) = delete;
    CKXNetClient& operator=(const CKXNetClient&) = delete;

    // Starts the socket layer; kind 1 = datagram (UDP), 2 = stream with the protocol left to the
    // system, other = stream with TCP named.
    bool Startup(UINT socketKind);
    // An empty host keeps the stored one, a zero port the stored port.
    bool Connect(const CString& host, WORD port, DWORD waitMs, DWORD retryCount);
    bool OpenSocket();

    // True when every byte was handed to the socket and the connection still stands.
    virtual bool Send(const BYTE* bytes, DWORD count);
    // Sends the parts one after another as one stream of bytes (a header and its data without
    // copying them together); the same rules as Send.
    bool SendParts(const WSABUF* parts, DWORD partCount);
    // True when one whole message arrived and the connection still stands.
    bool Receive();

    virtual void ResetReceiveBuffer() {}
    // The count still wanted of the current message, 0 when it is complete, kReceiveRefused.
    virtual DWORD OnReceived(const BYTE* bytes, DWORD count);
    // 2 = retry (WSAETIMEDOUT), 1 = give up.
    virtual int OnError(int code);

    SOCKET GetSocket() const { return m_socket; }
    bool IsConnected() const { return m_socket != INVALID_SOCKET; }
    const CString& GetHost() const { return m_host; }
    WORD GetPort() const { return m_port; }
    void SetHost(const CString& host) { m_host = host; }
    void SetPort(WORD port) { m_port = port; }

    // Total of the waits a receive may spend without progress (18 s with the defaults).
    DWORD StallLimitMs() const;
    // Whether the peer ended the current connection (closed or reset it) rather than letting a
    // wait run out; false again for the next connection.
    bool PeerEnded() const { return m_peerEnded; }

protected:
    // Closes the socket (when there is one) and sets it to none.
    void CloseConnection();
    // A receive also ends at this tick (0 = no limit beyond its own).
    void SetReceiveDeadline(uint64_t tick) { m_receiveDeadline = tick; }
    // The wait after `timeouts` time-outs: the stored wait, five times it near the end.
    DWORD WaitAfter(DWORD timeouts) const;

    SOCKET m_socket = INVALID_SOCKET;
    DWORD m_waitTime = 1000;
    DWORD m_retryCount = 5;
    bool m_started = false;
    CString m_host = L"127.0.0.1";
    WORD m_port = 0;
    UINT m_socketKind = 2;
    uint64_t m_receiveDeadline = 0;
    bool m_peerEnded = false;
};
