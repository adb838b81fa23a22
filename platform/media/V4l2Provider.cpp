#include "platform/media/Devices.h"
namespace quiva::media {
namespace {
class NoV4l2 final : public DeviceProvider {
public:
    void Enumerate(REFGUID, std::vector<DeviceEntry>&) override {}
};
}  // namespace
std::shared_ptr<DeviceProvider> MakeV4l2Provider() { return std::make_shared<NoV4l2>(); }
}  // namespace quiva::media
