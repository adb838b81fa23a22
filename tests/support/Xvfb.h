// Starts a private Xvfb server on a free display number for one test.
#pragma once

#include <sys/types.h>

#include <string>

namespace quiva::test {

class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // False when Xvfb is not installed or does not come up; `why` says which.
    bool Start(int width, int height, std::string* why);
    const std::string& display() const { return m_display; }
    // Whether a missing Xvfb must fail the test rather than skip it (in CI).
    static bool Required();

    // Through a connection of the test's own: one pixel of the screen as 0xRRGGBB, a left
    // click sent by the server to an X window (window and root coordinates), and a wait
    // until the server has handled every request.
    unsigned long ScreenPixel(int x, int y);
    void SendClick(unsigned long window, int x, int y, int rootX, int rootY);
    void Sync();
    // The whole screen as a PNG file, as the server shows it.
    bool Screenshot(const std::string& pngPath);

private:
    void* Connection();
    pid_t m_pid = 0;
    void* m_connection = nullptr;
    std::string m_display;
};

}  // namespace quiva::test
