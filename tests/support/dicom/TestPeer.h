// A peer on the loopback address for the network tests: it listens on a free port and runs a
// script on the first connection it accepts (or one script for each of the first connections,
// in turn), in its own thread. Every wait in it is bounded in
// real time, so a test never hangs on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace quiva::test {

class PeerConnection {
public:
    explicit PeerConnection(int fd) : m_fd(fd) {}
    int fd() const { return m_fd; }
    // Reads exactly n bytes; fewer when the stream ends or timeoutMs passes.
    std::vector<uint8_t> Read(size_t n, int timeoutMs = 5000);
    // Reads one whole PDU (6-byte header and the body it announces); empty when none came.
    std::vector<uint8_t> ReadPdu(int timeoutMs = 5000);
    // Reads whatever comes until the stream ends or timeoutMs passes.
    std::vector<uint8_t> ReadToEnd(int timeoutMs = 5000);
    bool Write(const std::vector<uint8_t>& bytes);
    bool Write(const void* bytes, size_t n);
    // Orderly close of our sending side.
    void ShutdownWrite();
    // Closes with a reset (RST) instead of an orderly close.
    void Reset();
    void Close();

private:
    int m_fd;
};

class TestPeer {
public:
    using Script = std::function<void(PeerConnection&)>;
    // Listens at once; the script runs when a connection comes.
    explicit TestPeer(Script script, int receiveBuffer = 0);
    // The scripts run on the connections accepted one after another, the first on the first.
    explicit TestPeer(std::vector<Script> scripts, int receiveBuffer = 0);
    ~TestPeer();
    uint16_t port() const { return m_port; }
    // Waits for the script to finish (bounded); false on time-out.
    bool Join(int timeoutMs = 30000);
    // Number of connections accepted so far.
    int accepted() const { return m_accepted.load(); }
    // Whether a connection is waiting to be accepted now (without accepting it).
    bool HasPendingConnection(int timeoutMs = 200) const;

private:
    void Run();
    int m_listen = -1;
    uint16_t m_port = 0;
    std::vector<Script> m_scripts;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::atomic<int> m_accepted{0};
};

// A port on the loopback address where nothing listens (bound, then closed).
uint16_t UnusedPort();
// Number of open file descriptors of this process.
int OpenDescriptorCount();

}  // namespace quiva::test
