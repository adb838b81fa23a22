// Device categories: providers list the devices of a category; the system device enumerator
// gives them as monikers with a property bag ("FriendlyName") that bind to their filters.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/dshow.h"

namespace quiva::media {

struct DeviceEntry {
    std::wstring moniker;       // display name of the moniker, unique per device
    std::wstring friendlyName;  // empty with hasFriendlyName false: the bag has no name
    bool hasFriendlyName = true;
    // A new filter with one reference, or null when the device cannot be opened.
    std::function<IBaseFilter*()> create;
};

class DeviceProvider {
public:
    virtual ~DeviceProvider() = default;
    // Appends the devices of a category, in the order they are to be listed.
    virtual void Enumerate(REFGUID category, std::vector<DeviceEntry>& out) = 0;
};

// Providers in listing order: the synthetic devices first, then V4L2. A test may add its own.
void AddDeviceProvider(std::shared_ptr<DeviceProvider> provider);
void RemoveDeviceProvider(const std::shared_ptr<DeviceProvider>& provider);
std::vector<DeviceEntry> EnumerateCategory(REFGUID category);
// A new filter for a moniker display name (graph files keep them), or null.
IBaseFilter* BindDeviceMoniker(const std::wstring& moniker);

}  // namespace quiva::media
