// The benchmarks' peers on the loopback address: a free port, the wait for a program to listen
// on one, and a program started with its output thrown away (storescp as the PACS).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace bench {

inline sockaddr_in LoopbackAddress(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A port on the loopback address that nothing holds now (bound, then closed).
inline uint16_t FreePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = LoopbackAddress(0);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    return ntohs(a.sin_port);
}

// Waits, ten seconds at the most, for a program to accept connections on the loopback port.
inline bool WaitListening(uint16_t port)
{
    for (int i = 0; i < 200; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in a = LoopbackAddress(port);
        const bool ok = ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        ::close(s);
        if (ok)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Starts a program found on PATH, its standard output and error thrown away; its process id.
inline pid_t Spawn(const std::vector<std::string>& args)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        FILE* out = std::freopen("/dev/null", "w", stdout);
        FILE* err = std::freopen("/dev/null", "w", stderr);
        (void)out;
        (void)err;
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

}  // namespace bench
