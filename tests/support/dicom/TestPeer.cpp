#include "tests/support/dicom/TestPeer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace quiva::test {
namespace {

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool WaitReadable(int fd, int timeoutMs)
{
    if (fd < 0)
        return false;
    struct pollfd p {fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

}  // namespace

std::vector<uint8_t> PeerConnection::Read(size_t n, int timeoutMs)
{
    std::vector<uint8_t> out;
    int64_t end = NowMs() + timeoutMs;
    while (out.size() < n) {
        int64_t left = end - NowMs();
        if (left <= 0 || !WaitReadable(m_fd, static_cast<int>(left)))
            break;
        uint8_t buf[65536];
        size_t want = n - out.size() < sizeof(buf) ? n - out.size() : sizeof(buf);
        ssize_t r = ::recv(m_fd, buf, want, 0);
        if (r <= 0)
            break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

std::vector<uint8_t> PeerConnection::ReadPdu(int timeoutMs)
{
    std::vector<uint8_t> head = Read(6, timeoutMs);
    if (head.size() < 6)
        return {};
    uint32_t length = (uint32_t(head[2]) << 24) | (uint32_t(head[3]) << 16) | (uint32_t(head[4]) << 8) | head[5];
    if (length > (64u << 20))
        return {};
    std::vector<uint8_t> body = Read(length, timeoutMs);
    if (body.size() < length)
        return {};
    head.insert(head.end(), body.begin(), body.end());
    return head;
}

std::vector<uint8_t> PeerConnection::ReadToEnd(int timeoutMs)
{
    std::vector<uint8_t> out;
    int64_t end = NowMs() + timeoutMs;
    for (;;) {
        int64_t left = end - NowMs();
        if (left <= 0 || !WaitReadable(m_fd, static_cast<int>(left)))
            break;
        uint8_t buf[65536];
        ssize_t r = ::recv(m_fd, buf, sizeof(buf), 0);
        if (r <= 0)
            break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

bool PeerConnection::Write(const std::vector<uint8_t>& bytes) { return Write(bytes.data(), bytes.size()); }

bool PeerConnection::Write(const void* bytes, size_t n)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    while (n > 0) {
        ssize_t r = ::send(m_fd, p, n, MSG_NOSIGNAL);
        if (r <= 0)
            return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

void PeerConnection::ShutdownWrite() { ::shutdown(m_fd, SHUT_WR); }

void PeerConnection::Reset()
{
    struct linger l {1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
    Close();
}

void PeerConnection::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

TestPeer::TestPeer(Script script, int receiveBuffer)
    : TestPeer(script ? std::vector<Script>{std::move(script)} : std::vector<Script>{}, receiveBuffer)
{
}

TestPeer::TestPeer(std::vector<Script> scripts, int receiveBuffer) : m_scripts(std::move(scripts))
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (receiveBuffer > 0)
        ::setsockopt(m_listen, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
    ::listen(m_listen, 8);
    if (!m_scripts.empty())
        m_thread = std::thread([this] { Run(); });
}

TestPeer::~TestPeer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
}

void TestPeer::Run()
{
    // Wait for each connection at most 30 s.
    for (const Script& script : m_scripts) {
        bool ran = false;
        for (int i = 0; i < 300 && !m_stop && !ran; ++i) {
            if (!WaitReadable(m_listen, 100))
                continue;
            int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++m_accepted;
            PeerConnection connection(fd);
            script(connection);
            connection.Close();
            ran = true;
        }
        if (!ran)
            break;
    }
    m_done = true;
}

bool TestPeer::Join(int timeoutMs)
{
    int64_t end = NowMs() + timeoutMs;
    while (!m_done && NowMs() < end)
        ::usleep(5000);
    if (!m_done)
        return false;
    if (m_thread.joinable())
        m_thread.join();
    return true;
}

bool TestPeer::HasPendingConnection(int timeoutMs) const { return WaitReadable(m_listen, timeoutMs); }

uint16_t UnusedPort()
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

int OpenDescriptorCount()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

}  // namespace quiva::test
