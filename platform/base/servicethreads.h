// Threads the layer runs for its own services (the default timer queue's, the sound player's).
// They start when first needed. A module that is unloaded stops them, so that none of its
// threads outlives it; one that is needed again later starts again.
#pragma once

#include <functional>

namespace quiva {

// A service's stopper: it ends the service's thread when the service has nothing left to do
// (a thread with work that is not finished, such as a timer still set, stays). Registered once.
void RegisterServiceThread(std::function<void()> stopWhenIdle);

// Runs every registered stopper, in the order they were registered. Not from a service thread.
void StopServiceThreads();

}  // namespace quiva
