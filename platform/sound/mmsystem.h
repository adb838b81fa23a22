// PlaySound of the WAVE resources embedded in a module (platform/base/resources.h).
//
// Sounds play on a thread of their own through ALSA's default device; the caller never waits
// (SND_SYNC waits for the end). A new sound ends the one playing, as does a null sound or
// SND_PURGE. Without a sound device nothing is heard and the debugger output says so once.
// Every sound asked for is told to the sound sink, which tests install to observe them.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/base/wintypes.h"

#define SND_SYNC 0x00000000
#define SND_ASYNC 0x00000001
#define SND_NODEFAULT 0x00000002
#define SND_MEMORY 0x00000004
#define SND_LOOP 0x00000008
#define SND_NOSTOP 0x00000010
#define SND_PURGE 0x00000040
#define SND_NOWAIT 0x00002000
#define SND_ALIAS 0x00010000
#define SND_FILENAME 0x00020000
#define SND_RESOURCE 0x00040004

// sound: a resource name or MAKEINTRESOURCEW id of `module` with SND_RESOURCE, a WAVE image in
// memory with SND_MEMORY; null stops the sound playing. FALSE when the sound cannot be found or
// is not a PCM WAVE (8 or 16 bits, 1 or 2 channels); a missing device is not a failure.
BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags);

namespace quiva {

struct SoundEvent {
    int resourceId = -1;  // the numeric resource id, -1 for a named resource, memory or a stop
    bool stop = false;    // the call only stopped what was playing
    DWORD flags = 0;
};

// Receives every sound asked for, on the calling thread. While a sink is installed the device is
// left alone. Empty restores the device. Returns the previous sink.
using SoundSink = std::function<void(const SoundEvent&)>;
SoundSink SetSoundSink(SoundSink sink);

// Collects the sounds asked for during its lifetime (thread-safe).
class SoundCapture {
public:
    SoundCapture();
    ~SoundCapture();
    SoundCapture(const SoundCapture&) = delete;
    SoundCapture& operator=(const SoundCapture&) = delete;
    // The resource ids played, in order (stops are not listed).
    std::vector<int> Played() const;
    void Clear();

private:
    struct State;
    std::shared_ptr<State> m_state;
    SoundSink m_previous;
};

// A PCM WAVE image: where its samples are and how to play them. False for anything else.
struct WaveFormat {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    const BYTE* samples = nullptr;
    size_t bytes = 0;  // whole frames only
};
bool ParseWave(const BYTE* data, size_t size, WaveFormat* out);

}  // namespace quiva
