#include "platform/base/servicethreads.h"

#include <mutex>
#include <vector>

namespace quiva {

namespace {

struct Services {
    std::mutex mutex;
    std::vector<std::function<void()>> stoppers;
};

Services& TheServices()
{
    static Services* services = new Services();  // used until the process ends
    return *services;
}

}  // namespace

void RegisterServiceThread(std::function<void()> stopWhenIdle)
{
    std::lock_guard lock(TheServices().mutex);
    TheServices().stoppers.push_back(std::move(stopWhenIdle));
}

void StopServiceThreads()
{
    std::vector<std::function<void()>> stoppers;
    {
        std::lock_guard lock(TheServices().mutex);
        stoppers = TheServices().stoppers;
    }
    for (const auto& stop : stoppers)
        stop();
}

}  // namespace quiva
