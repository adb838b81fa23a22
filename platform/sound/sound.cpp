#include "platform/sound/mmsystem.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <pthread.h>

#include "platform/base/debug.h"
#include "platform/base/lasterror.h"
#include "platform/base/resources.h"
#include "platform/base/servicethreads.h"

namespace quiva {

namespace {

uint32_t Le32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

// The player: one thread that plays the latest sound asked for. A newer request or a stop ends
// the sound playing at the next period.
class Player {
public:
    // Ends the thread: at once when it has nothing to play, else once the sound it plays has
    // ended. It is not waited for then: opening the device may load the sound system's plugins,
    // and a caller unloading a module holds the loader until it returns. The next sound starts
    // another thread.
    void StopWhenIdle()
    {
        std::unique_lock lock(m_mutex);
        if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id())
            return;
        ++m_epoch;
        std::thread thread = std::move(m_thread);
        const bool idle = m_playing == 0 && !m_hasPending;
        lock.unlock();
        m_wake.notify_all();
        if (idle)
            thread.join();
        else
            thread.detach();
    }

    // Queues the sound (empty: stop) and returns its generation.
    uint64_t Submit(std::vector<BYTE> wave)
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable())
            m_thread = std::thread([this, epoch = m_epoch] { Run(epoch); });
        m_pending = std::move(wave);
        m_hasPending = !m_pending.empty();
        uint64_t generation = ++m_generation;
        if (!m_hasPending)
            m_finished = generation;
        m_wake.notify_all();
        return generation;
    }

    void WaitFor(uint64_t generation)
    {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&] { return m_finished >= generation; });
    }

private:
    // Plays until the player's epoch moves on and nothing is left to play (a thread started
    // later has the new epoch).
    void Run(uint64_t epoch)
    {
        pthread_setname_np(pthread_self(), "quiva-sound");
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return epoch != m_epoch || m_hasPending; });
            if (!m_hasPending)
                return;
            std::vector<BYTE> wave = std::move(m_pending);
            m_hasPending = false;
            ++m_playing;
            uint64_t generation = m_generation;
            lock.unlock();
            Play(wave, generation);
            lock.lock();
            --m_playing;
            if (m_finished < generation)
                m_finished = generation;
            m_done.notify_all();
        }
    }

    bool Superseded(uint64_t generation)
    {
        std::lock_guard lock(m_mutex);
        return m_generation != generation;
    }

    void Play(const std::vector<BYTE>& wave, uint64_t generation)
    {
        WaveFormat format;
        if (!ParseWave(wave.data(), wave.size(), &format))
            return;
        snd_lib_error_set_handler(SilentAlsaErrors);
        snd_pcm_t* pcm = nullptr;
        int err = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0);
        if (err >= 0)
            err = snd_pcm_set_params(pcm, format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
                                     SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(format.channels),
                                     static_cast<unsigned>(format.sampleRate), 1, 100000);
        if (err < 0) {
            if (pcm)
                snd_pcm_close(pcm);
            if (!m_reportedNoDevice.exchange(true)) {
                std::string why = snd_strerror(err);
                OutputDebugStringW((L"PlaySound: no sound device, sounds are not played (" +
                                    std::wstring(why.begin(), why.end()) + L")\n").c_str());
            }
            return;
        }
        const size_t frameBytes = static_cast<size_t>(format.channels) * (format.bitsPerSample / 8);
        const size_t frames = format.bytes / frameBytes;
        size_t done = 0;
        bool stopped = false;
        while (done < frames) {
            if (Superseded(generation)) {
                stopped = true;
                break;
            }
            snd_pcm_uframes_t chunk = static_cast<snd_pcm_uframes_t>(std::min<size_t>(1024, frames - done));
            snd_pcm_sframes_t n = snd_pcm_writei(pcm, format.samples + done * frameBytes, chunk);
            if (n < 0)
                n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
            if (n < 0)
                break;
            done += static_cast<size_t>(n);
        }
        if (stopped)
            snd_pcm_drop(pcm);
        else
            snd_pcm_drain(pcm);
        snd_pcm_close(pcm);
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::thread m_thread;
    std::vector<BYTE> m_pending;
    bool m_hasPending = false;
    uint64_t m_generation = 0;
    uint64_t m_finished = 0;
    uint64_t m_epoch = 0;
    int m_playing = 0;  // threads playing a sound (one stopped may still end its last)
    std::atomic<bool> m_reportedNoDevice{false};  // the player threads'
};

std::mutex g_sinkMutex;
SoundSink g_sink;

// Used until the process ends (a thread that finishes its last sound after a stop still uses it).
Player& ThePlayer()
{
    static Player* player = [] {
        RegisterServiceThread([] { ThePlayer().StopWhenIdle(); });
        return new Player();
    }();
    return *player;
}

}  // namespace

bool ParseWave(const BYTE* data, size_t size, WaveFormat* out)
{
    if (!data || !out || size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return false;
    WaveFormat f;
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= size) {
        const BYTE* chunk = data + pos;
        const size_t length = Le32(chunk + 4);
        const size_t body = pos + 8;
        const size_t available = size - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (length < 16 || length > available)
                return false;
            if (Le16(chunk + 8) != 1)  // PCM only
                return false;
            f.channels = Le16(chunk + 10);
            f.sampleRate = static_cast<int>(Le32(chunk + 12));
            f.bitsPerSample = Le16(chunk + 22);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat || (f.channels != 1 && f.channels != 2) || (f.bitsPerSample != 8 && f.bitsPerSample != 16) ||
                f.sampleRate < 1000 || f.sampleRate > 192000)
                return false;
            const size_t frameBytes = static_cast<size_t>(f.channels) * (f.bitsPerSample / 8);
            f.samples = data + body;
            f.bytes = std::min(length, available) / frameBytes * frameBytes;
            *out = f;
            return true;
        }
        if (length > available)
            return false;
        pos = body + length + (length & 1);
    }
    return false;
}

SoundSink SetSoundSink(SoundSink sink)
{
    std::lock_guard lock(g_sinkMutex);
    SoundSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

struct SoundCapture::State {
    mutable std::mutex mutex;
    std::vector<int> played;
};

SoundCapture::SoundCapture() : m_state(std::make_shared<State>())
{
    std::shared_ptr<State> state = m_state;
    m_previous = SetSoundSink([state](const SoundEvent& e) {
        if (e.stop)
            return;
        std::lock_guard lock(state->mutex);
        state->played.push_back(e.resourceId);
    });
}

SoundCapture::~SoundCapture() { SetSoundSink(std::move(m_previous)); }

std::vector<int> SoundCapture::Played() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->played;
}

void SoundCapture::Clear()
{
    std::lock_guard lock(m_state->mutex);
    m_state->played.clear();
}

}  // namespace quiva

BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags)
{
    quiva::SoundEvent event;
    event.flags = flags;
    std::vector<BYTE> wave;
    if (!sound || (flags & SND_PURGE) == SND_PURGE) {
        event.stop = true;
    } else if ((flags & SND_RESOURCE) == SND_RESOURCE) {
        const quiva::EmbeddedResource* r = quiva::FindEmbeddedResource(module, L"WAVE", sound);
        if (!r) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return FALSE;
        }
        wave.assign(r->data, r->data + r->size);
        event.resourceId = IS_INTRESOURCE(sound) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(sound)) : -1;
    } else if (flags & SND_MEMORY) {
        // The image's own RIFF length says how far it reaches.
        const auto* p = reinterpret_cast<const BYTE*>(sound);
        if (std::memcmp(p, "RIFF", 4) != 0)
            return FALSE;
        wave.assign(p, p + 8 + quiva::Le32(p + 4));
    } else {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    quiva::WaveFormat format;
    if (!event.stop && !quiva::ParseWave(wave.data(), wave.size(), &format))
        return FALSE;
    {
        std::lock_guard lock(quiva::g_sinkMutex);
        if (quiva::g_sink) {
            quiva::g_sink(event);
            return TRUE;
        }
    }
    uint64_t generation = quiva::ThePlayer().Submit(event.stop ? std::vector<BYTE>() : std::move(wave));
    if (!event.stop && !(flags & SND_ASYNC))
        quiva::ThePlayer().WaitFor(generation);
    return TRUE;
}
