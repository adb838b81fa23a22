#include "platform/net/winsock.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <string.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "platform/base/clock.h"

struct QuivaWsaEvent {
    SOCKET socket = INVALID_SOCKET;
    LONG selected = 0;
};

namespace {

thread_local int t_wsaError = 0;
std::mutex g_startupMutex;
int g_startupCount = 0;

// Under a virtual clock a wait looks at the socket for at most this long in real time.
constexpr DWORD kVirtualSliceMs = 100;

short PollEventsFor(LONG networkEvents)
{
    short events = 0;
    if (networkEvents & (FD_READ | FD_CLOSE | FD_ACCEPT))
        events |= POLLIN | POLLRDHUP;
    if (networkEvents & (FD_WRITE | FD_CONNECT))
        events |= POLLOUT;
    return events;
}

int PollOnce(struct pollfd* fds, nfds_t count, int timeoutMs)
{
    for (;;) {
        int r = ::poll(fds, count, timeoutMs);
        if (r >= 0 || errno != EINTR)
            return r;
        // An interrupted wait is not a time-out: look again without waiting, so a signal storm
        // cannot stretch the caller's schedule.
        timeoutMs = 0;
    }
}

// One wait of timeoutMs on the clock in force.
int PollWithClock(struct pollfd* fds, nfds_t count, DWORD timeoutMs)
{
    quiva::Clock& clock = quiva::CurrentClock();
    if (clock.IsReal()) {
        int ms = timeoutMs == WSA_INFINITE ? -1 : static_cast<int>(timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : timeoutMs);
        return PollOnce(fds, count, ms);
    }
    DWORD slice = timeoutMs < kVirtualSliceMs ? timeoutMs : kVirtualSliceMs;
    int r = PollOnce(fds, count, static_cast<int>(slice));
    if (r == 0 && timeoutMs != WSA_INFINITE)
        clock.SleepMs(timeoutMs);
    return r;
}

}  // namespace

int WSAStartup(WORD versionRequested, LPWSADATA data)
{
    if (LOBYTE(versionRequested) < 1)
        return WSAVERNOTSUPPORTED;
    std::lock_guard<std::mutex> lock(g_startupMutex);
    ++g_startupCount;
    if (data) {
        memset(data, 0, sizeof(*data));
        // The highest version offered is 2.2; a lower request gets what it asked for.
        WORD offered = MAKEWORD(2, 2);
        bool lower = LOBYTE(versionRequested) < 2 ||
                     (LOBYTE(versionRequested) == 2 && HIBYTE(versionRequested) < 2);
        data->wVersion = lower ? versionRequested : offered;
        data->wHighVersion = offered;
        strcpy(data->szDescription, "BSD sockets");
        strcpy(data->szSystemStatus, "Running");
    }
    return 0;
}

int WSACleanup()
{
    std::lock_guard<std::mutex> lock(g_startupMutex);
    if (g_startupCount == 0) {
        t_wsaError = WSANOTINITIALISED;
        return SOCKET_ERROR;
    }
    --g_startupCount;
    return 0;
}

int WSAGetLastError() { return t_wsaError; }
void WSASetLastError(int error) { t_wsaError = error; }

int closesocket(SOCKET s)
{
    if (s < 0) {
        t_wsaError = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    // Linux closes the descriptor even when close reports EINTR; never close it twice.
    if (::close(s) != 0 && errno != EINTR) {
        t_wsaError = quiva::WsaErrorFromErrno(errno);
        return SOCKET_ERROR;
    }
    return 0;
}

namespace {

constexpr DWORD kMaxBuffers = 16;

// Lays the caller's buffers out for sendmsg/recvmsg; false (with the error set) when the
// socket or the buffers are not usable.
bool GatherBuffers(SOCKET s, LPWSABUF buffers, DWORD bufferCount, struct iovec (&iov)[kMaxBuffers], struct msghdr& msg)
{
    if (s < 0) {
        t_wsaError = WSAENOTSOCK;
        return false;
    }
    if (bufferCount > kMaxBuffers || (bufferCount && !buffers)) {
        t_wsaError = WSAEINVAL;
        return false;
    }
    for (DWORD i = 0; i < bufferCount; ++i) {
        iov[i].iov_base = buffers[i].buf;
        iov[i].iov_len = buffers[i].len;
    }
    msg.msg_iov = iov;
    msg.msg_iovlen = bufferCount;
    return true;
}

}  // namespace

int WSASend(SOCKET s, LPWSABUF buffers, DWORD bufferCount, LPDWORD sent, DWORD flags, void*, void*)
{
    struct iovec iov[kMaxBuffers];
    struct msghdr msg {};
    if (!GatherBuffers(s, buffers, bufferCount, iov, msg))
        return SOCKET_ERROR;
    ssize_t n;
    do {
        n = ::sendmsg(s, &msg, static_cast<int>(flags) | MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        t_wsaError = quiva::WsaErrorFromErrno(errno);
        return SOCKET_ERROR;
    }
    if (sent)
        *sent = static_cast<DWORD>(n);
    return 0;
}

int WSARecv(SOCKET s, LPWSABUF buffers, DWORD bufferCount, LPDWORD received, LPDWORD flags, void*, void*)
{
    struct iovec iov[kMaxBuffers];
    struct msghdr msg {};
    if (!GatherBuffers(s, buffers, bufferCount, iov, msg))
        return SOCKET_ERROR;
    ssize_t n;
    do {
        n = ::recvmsg(s, &msg, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        t_wsaError = quiva::WsaErrorFromErrno(errno);
        return SOCKET_ERROR;
    }
    if (received)
        *received = static_cast<DWORD>(n);
    if (flags)
        *flags = 0;
    return 0;
}

WSAEVENT WSACreateEvent() { return new QuivaWsaEvent; }

BOOL WSACloseEvent(WSAEVENT event)
{
    if (!event) {
        t_wsaError = WSA_INVALID_HANDLE;
        return FALSE;
    }
    delete event;
    return TRUE;
}

int WSAEventSelect(SOCKET s, WSAEVENT event, LONG networkEvents)
{
    if (!event) {
        t_wsaError = WSA_INVALID_HANDLE;
        return SOCKET_ERROR;
    }
    if (s < 0) {
        t_wsaError = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    event->socket = s;
    event->selected = networkEvents;
    return 0;
}

DWORD WSAWaitForMultipleEvents(DWORD count, const WSAEVENT* events, BOOL, DWORD timeoutMs, BOOL)
{
    if (count == 0 || count > 64 || !events) {
        t_wsaError = WSAEINVAL;
        return WSA_WAIT_FAILED;
    }
    struct pollfd fds[64];
    for (DWORD i = 0; i < count; ++i) {
        if (!events[i] || events[i]->socket < 0) {
            t_wsaError = WSA_INVALID_HANDLE;
            return WSA_WAIT_FAILED;
        }
        fds[i].fd = events[i]->socket;
        fds[i].events = PollEventsFor(events[i]->selected);
        fds[i].revents = 0;
    }
    int r = PollWithClock(fds, count, timeoutMs);
    if (r < 0) {
        t_wsaError = quiva::WsaErrorFromErrno(errno);
        return WSA_WAIT_FAILED;
    }
    if (r == 0)
        return WSA_WAIT_TIMEOUT;
    for (DWORD i = 0; i < count; ++i) {
        if (fds[i].revents & POLLNVAL) {
            t_wsaError = WSAENOTSOCK;
            return WSA_WAIT_FAILED;
        }
        if (fds[i].revents)
            return WSA_WAIT_EVENT_0 + i;
    }
    return WSA_WAIT_TIMEOUT;
}

int WSAEnumNetworkEvents(SOCKET s, WSAEVENT event, LPWSANETWORKEVENTS networkEvents)
{
    if (!event || !networkEvents) {
        t_wsaError = WSAEINVAL;
        return SOCKET_ERROR;
    }
    memset(networkEvents, 0, sizeof(*networkEvents));
    struct pollfd fd {s, PollEventsFor(event->selected), 0};
    if (PollOnce(&fd, 1, 0) < 0) {
        t_wsaError = quiva::WsaErrorFromErrno(errno);
        return SOCKET_ERROR;
    }
    if (fd.revents & POLLNVAL) {
        t_wsaError = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    LONG ev = 0;
    // Bytes still to be read come first, as FD_READ; an ended stream reads as 0 bytes then.
    // A reset or hang-up with nothing left to read is FD_CLOSE.
    if (fd.revents & POLLIN)
        ev |= FD_READ;
    else if (fd.revents & (POLLHUP | POLLERR | POLLRDHUP)) {
        ev |= FD_CLOSE;
        int err = 0;
        socklen_t len = sizeof(err);
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err != 0)
            networkEvents->iErrorCode[FD_CLOSE_BIT] = quiva::WsaErrorFromErrno(err);
    }
    if (fd.revents & POLLOUT)
        ev |= FD_WRITE;
    networkEvents->lNetworkEvents = ev & event->selected;
    return 0;
}

namespace quiva {

int WsaErrorFromErrno(int err)
{
    switch (err) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES: case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: case ENFILE: return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: case EPIPE: return WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH: case EHOSTDOWN: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
    }
}

SOCKET OpenSocket(int type, int protocol)
{
    int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        t_wsaError = WsaErrorFromErrno(errno);
        return INVALID_SOCKET;
    }
    return fd;
}

bool ResolveIPv4(const std::string& host, in_addr* address)
{
    if (host.empty() || host.size() > 255 || host.find('\0') != std::string::npos) {
        t_wsaError = WSAHOST_NOT_FOUND;
        return false;
    }
    if (::inet_pton(AF_INET, host.c_str(), address) == 1)
        return true;
    struct addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* result = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) {
        t_wsaError = WSAHOST_NOT_FOUND;
        return false;
    }
    *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    ::freeaddrinfo(result);
    return true;
}

int ConnectSocket(SOCKET s, const sockaddr_in& address, DWORD timeoutMs)
{
    if (s < 0) {
        t_wsaError = WSAENOTSOCK;
        return SOCKET_ERROR;
    }
    int r;
    do {
        r = ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (r != 0 && errno == EINTR);
    if (r == 0)
        return 0;
    if (errno != EINPROGRESS) {
        t_wsaError = WsaErrorFromErrno(errno);
        return SOCKET_ERROR;
    }
    int ready = WaitSocket(s, POLLOUT, timeoutMs);
    if (ready < 0)
        return SOCKET_ERROR;
    if (ready == 0) {
        t_wsaError = WSAETIMEDOUT;
        return SOCKET_ERROR;
    }
    int err = 0;
    socklen_t len = sizeof(err);
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    if (err != 0) {
        t_wsaError = WsaErrorFromErrno(err);
        return SOCKET_ERROR;
    }
    return 0;
}

int WaitSocket(SOCKET s, short events, DWORD timeoutMs)
{
    if (s < 0) {
        t_wsaError = WSAENOTSOCK;
        return -1;
    }
    struct pollfd fd {s, events, 0};
    int r = PollWithClock(&fd, 1, timeoutMs);
    if (r < 0) {
        t_wsaError = WsaErrorFromErrno(errno);
        return -1;
    }
    if (r > 0 && (fd.revents & POLLNVAL)) {
        t_wsaError = WSAENOTSOCK;
        return -1;
    }
    return r == 0 ? 0 : fd.revents;
}

}  // namespace quiva
