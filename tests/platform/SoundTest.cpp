#include <gtest/gtest.h>

#include <thread>

#include "platform/base/debug.h"
#include "platform/base/resources.h"
#include "platform/sound/mmsystem.h"

namespace {

HMODULE CaptureModule() { return GetModuleHandleW(L"QUIVA.Capture.dll"); }

}  // namespace

TEST(Sound, ModuleSoundsAreShortPcmWaves)
{
    for (int id : {10011, 10014, 10015}) {
        const quiva::EmbeddedResource* r = quiva::FindEmbeddedResource(CaptureModule(), L"WAVE", MAKEINTRESOURCEW(id));
        ASSERT_NE(r, nullptr) << id;
        quiva::WaveFormat f;
        ASSERT_TRUE(quiva::ParseWave(r->data, r->size, &f)) << id;
        EXPECT_EQ(f.channels, 1);
        EXPECT_EQ(f.bitsPerSample, 16);
        double seconds = static_cast<double>(f.bytes) / 2 / f.sampleRate;
        EXPECT_GT(seconds, 0.05) << id;
        EXPECT_LT(seconds, 0.5) << id;
    }
}

TEST(Sound, WaveReaderRefusesWhatItCannotPlay)
{
    const quiva::EmbeddedResource* r = quiva::FindEmbeddedResource(CaptureModule(), L"WAVE", MAKEINTRESOURCEW(10011));
    ASSERT_NE(r, nullptr);
    std::vector<BYTE> wave(r->data, r->data + r->size);
    quiva::WaveFormat f;
    // Cut inside the format chunk.
    EXPECT_FALSE(quiva::ParseWave(wave.data(), 30, &f));
    EXPECT_FALSE(quiva::ParseWave(wave.data(), 3, &f));
    // A data chunk cut short plays what is there, in whole frames.
    ASSERT_TRUE(quiva::ParseWave(wave.data(), 44 + 101, &f));
    EXPECT_EQ(f.bytes, 100u);
    // Not PCM.
    std::vector<BYTE> compressed = wave;
    compressed[20] = 2;
    EXPECT_FALSE(quiva::ParseWave(compressed.data(), compressed.size(), &f));
    // A chunk length past the end.
    std::vector<BYTE> lying = wave;
    lying[16] = 0xFF, lying[17] = 0xFF, lying[18] = 0xFF, lying[19] = 0x7F;
    EXPECT_FALSE(quiva::ParseWave(lying.data(), lying.size(), &f));
}

TEST(Sound, SinkSeesEverySoundAskedForFromAnyThread)
{
    quiva::SoundCapture sounds;
    EXPECT_TRUE(PlaySoundW(MAKEINTRESOURCEW(10015), CaptureModule(), SND_RESOURCE | SND_ASYNC));
    std::thread other([] { PlaySoundW(MAKEINTRESOURCEW(10014), CaptureModule(), SND_RESOURCE | SND_ASYNC); });
    other.join();
    EXPECT_TRUE(PlaySoundW(nullptr, nullptr, SND_PURGE));
    EXPECT_TRUE(PlaySoundW(MAKEINTRESOURCEW(10011), CaptureModule(), SND_RESOURCE | SND_ASYNC));
    EXPECT_EQ(sounds.Played(), (std::vector<int>{10015, 10014, 10011}));
    // A sound the module does not have.
    EXPECT_FALSE(PlaySoundW(MAKEINTRESOURCEW(10012), CaptureModule(), SND_RESOURCE | SND_ASYNC));
    EXPECT_EQ(sounds.Played().size(), 3u);
}

TEST(Sound, WithoutDeviceNothingIsHeardAndItIsSaidOnce)
{
    quiva::DebugCapture debug;
    // Synchronous, so the player has tried the device by the time the call returns.
    EXPECT_TRUE(PlaySoundW(MAKEINTRESOURCEW(10011), CaptureModule(), SND_RESOURCE | SND_SYNC));
    EXPECT_TRUE(PlaySoundW(MAKEINTRESOURCEW(10014), CaptureModule(), SND_RESOURCE | SND_SYNC));
    EXPECT_TRUE(PlaySoundW(MAKEINTRESOURCEW(10015), CaptureModule(), SND_RESOURCE | SND_ASYNC));
    EXPECT_TRUE(PlaySoundW(nullptr, nullptr, 0));
    int said = 0;
    for (const std::wstring& line : debug.Lines())
        said += line.find(L"no sound device") != std::wstring::npos;
    EXPECT_LE(said, 1);
}
