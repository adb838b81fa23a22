// V4L2 capture devices as capture filters and crossbars. Every call to a device goes through
// V4l2Io, so the mapping from V4L2 to devices, pins and formats can be tested without hardware.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/media/dshow.h"

namespace quiva::media {

class V4l2Io {
public:
    virtual ~V4l2Io() = default;
    // Device nodes (/dev/videoN) in node-number order.
    virtual std::vector<std::string> ListDevices() = 0;
    // A descriptor, or -1 with errno set.
    virtual int Open(const std::string& path) = 0;
    virtual void Close(int fd) = 0;
    // 0, or -1 with errno set.
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual void* Map(int fd, size_t length, off_t offset) = 0;  // null on failure
    virtual void Unmap(void* address, size_t length) = 0;
    // >0 when a buffer is ready, 0 on time-out, <0 on error.
    virtual int Poll(int fd, int timeoutMs) = 0;
};

// The real device calls; tests install their own. QUIVA_V4L2=0 switches the provider off.
std::shared_ptr<V4l2Io> SystemV4l2Io();
void SetV4l2Io(std::shared_ptr<V4l2Io> io);

struct V4l2Format {
    GUID subtype{};
    uint32_t pixelFormat = 0;
    int width = 0;
    int height = 0;
    REFERENCE_TIME avgTimePerFrame = 0;
};

struct V4l2Input {
    std::string name;
    uint32_t type = 0;
    LONG physicalType = 0;
};

struct V4l2DeviceInfo {
    std::string path;
    std::string card;
    std::string busInfo;
    std::vector<V4l2Input> inputs;
    std::vector<V4l2Format> formats;
    // More than one input, or an input that is not a camera: the device gets a crossbar.
    bool hasCrossbar = false;
};

bool ProbeV4l2Device(V4l2Io& io, const std::string& path, V4l2DeviceInfo* info);
// The physical connector type of an input, guessed from its name and type.
LONG PhysicalTypeOfInput(const std::string& name, uint32_t type);
// The media subtype of a V4L2 pixel format (YUYV is YUY2, BGR24 is RGB24; others by FOURCC).
GUID SubtypeOfPixelFormat(uint32_t pixelFormat);

}  // namespace quiva::media
