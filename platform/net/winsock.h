// Sockets in the Winsock shape, on BSD sockets.
//
// - A socket is a file descriptor; INVALID_SOCKET (-1) is "no socket", so closing "none" never
//   closes descriptor 0.
// - WSASend never raises SIGPIPE: a peer that resets the connection gives an error code.
// - Sockets made here are non-blocking; quiva::ConnectSocket bounds the connect in time.
// - The event model (WSACreateEvent, WSAEventSelect, WSAWaitForMultipleEvents,
//   WSAEnumNetworkEvents) is a poll() on the one selected socket. Waits follow the replaceable
//   clock of platform/base: under a virtual clock a wait looks at the socket for a short real
//   slice and, when nothing is ready, advances the clock by the whole time-out.
// - Error codes are the Winsock numbers, kept per thread (WSAGetLastError).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "platform/base/wintypes.h"

typedef int SOCKET;
#define INVALID_SOCKET (-1)
#define SOCKET_ERROR (-1)

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
};
typedef WSADATA* LPWSADATA;

struct WSABUF {
    ULONG len;
    char* buf;
};
typedef WSABUF* LPWSABUF;

// Error codes.
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEMSGSIZE 10040
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093
#define WSAHOST_NOT_FOUND 11001
#define WSANO_DATA 11004
#define WSA_INVALID_HANDLE 6

// Network events.
#define FD_READ 0x01
#define FD_WRITE 0x02
#define FD_OOB 0x04
#define FD_ACCEPT 0x08
#define FD_CONNECT 0x10
#define FD_CLOSE 0x20
#define FD_MAX_EVENTS 10
#define FD_READ_BIT 0
#define FD_WRITE_BIT 1
#define FD_CLOSE_BIT 5

struct WSANETWORKEVENTS {
    LONG lNetworkEvents;
    int iErrorCode[FD_MAX_EVENTS];
};
typedef WSANETWORKEVENTS* LPWSANETWORKEVENTS;

struct QuivaWsaEvent;
typedef QuivaWsaEvent* WSAEVENT;
#define WSA_INVALID_EVENT (static_cast<WSAEVENT>(nullptr))
#define WSA_WAIT_EVENT_0 0u
#define WSA_WAIT_FAILED 0xFFFFFFFFu
#define WSA_WAIT_TIMEOUT 258u
#define WSA_INFINITE 0xFFFFFFFFu

int WSAStartup(WORD versionRequested, LPWSADATA data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

// Closes the socket; INVALID_SOCKET is refused with WSAENOTSOCK and closes nothing.
int closesocket(SOCKET s);

// Sends the buffers' bytes without blocking; *sent gets the count taken by the socket.
// A full socket buffer gives SOCKET_ERROR with WSAEWOULDBLOCK. Never raises SIGPIPE.
int WSASend(SOCKET s, LPWSABUF buffers, DWORD bufferCount, LPDWORD sent, DWORD flags,
            void* overlapped, void* completion);
// Receives into the buffers without blocking; *received 0 means the peer ended the stream.
int WSARecv(SOCKET s, LPWSABUF buffers, DWORD bufferCount, LPDWORD received, LPDWORD flags,
            void* overlapped, void* completion);

WSAEVENT WSACreateEvent();
BOOL WSACloseEvent(WSAEVENT event);
// Selects the network events (FD_READ, FD_WRITE, FD_CLOSE) the event reports for the socket.
int WSAEventSelect(SOCKET s, WSAEVENT event, LONG networkEvents);
// Waits until one of the events' sockets has a selected event, or the time-out passes.
DWORD WSAWaitForMultipleEvents(DWORD count, const WSAEVENT* events, BOOL waitAll, DWORD timeoutMs,
                               BOOL alertable);
// Reports which selected events hold now for the socket.
int WSAEnumNetworkEvents(SOCKET s, WSAEVENT event, LPWSANETWORKEVENTS networkEvents);

namespace quiva {

// The Winsock code for an errno value.
int WsaErrorFromErrno(int err);

// A non-blocking stream socket of the Internet family (protocol 0 or IPPROTO_TCP, or a datagram
// socket with IPPROTO_UDP), close-on-exec.
SOCKET OpenSocket(int type, int protocol);

// Resolves a host name or dotted address (narrow text) to its first IPv4 address.
// False with WSAHOST_NOT_FOUND when there is none.
bool ResolveIPv4(const std::string& host, in_addr* address);

// Connects the non-blocking socket, waiting at most timeoutMs for the handshake.
// 0 on success; SOCKET_ERROR with the Winsock code (WSAETIMEDOUT, WSAECONNREFUSED, ...) otherwise.
int ConnectSocket(SOCKET s, const sockaddr_in& address, DWORD timeoutMs);

// Waits for readiness of one socket (POLLIN, POLLOUT... as in poll) through the clock in force.
// Returns the poll result bits, 0 on time-out, -1 on an error (WSA error set).
int WaitSocket(SOCKET s, short events, DWORD timeoutMs);

}  // namespace quiva
