// A temporary image store with a capture engine on the synthetic camera, for the capture model,
// strip and commit tests.
#pragma once

#include <filesystem>
#include <memory>

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/model/CKXQUIVAConfig.h"
#include "platform/base/codepage.h"
#include "platform/sound/mmsystem.h"
#include "tests/support/capture/CaptureTestSupport.h"
#include "tests/support/BmpFiles.h"
#include "tests/support/HeadlessScreen.h"

namespace quiva::test {
// A small 24-bit BMP still.
inline std::string MakeBmpForStore()
{
    return MakeBmp(32, 24, 24, {}, [](int x, int y) { return static_cast<uint32_t>((x * 8) << 16 | (y * 10) << 8 | 0x40); });
}
}  // namespace quiva::test

class CaptureStore : public quiva::test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        quiva::test::RegisterPlainWindowClass(L"QUIVACaptureWnd", 0);
        std::filesystem::create_directories(Native("store"));
        manager.EnsureImageRoot(Win("store"));
        CKXQUIVAConfig::Options options = config.GetOptions();
        options.m_bSaveJpegFormat = 0;
        config.SetOptions(options);
        manager.m_pConfig = &config;
    }
    void TearDown() override
    {
        manager.DeleteAllModels();
        engine.reset();
        UnregisterClassW(L"QUIVACaptureWnd", nullptr);
        EngineTest::TearDown();
    }
    // The engine previewing the synthetic camera.
    quiva::test::TestEngine& Engine()
    {
        if (!engine) {
            engine = std::make_unique<quiva::test::TestEngine>();
            engine->Load(kList);
            EXPECT_EQ(engine->StartPreview(L"Test Camera", m_wnd), 1);
            EXPECT_TRUE(quiva::test::WaitForPicture(*engine).ok);
        }
        return *engine;
    }
    // A model of the chart with the engine, study and date.
    CKXQUIVACaptureModel* Model(const wchar_t* chart = L"12345", const wchar_t* study = L"Endo",
                                const wchar_t* date = L"20240105")
    {
        CKXQUIVACaptureModel* m = manager.GetOrCreateModel(chart, L"홍길동");
        m->SetEngine(&Engine());
        m->SetStudyName(study);
        m->SetStudyDate(date);
        return m;
    }
    static void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    std::string Store(const std::string& rel) { return Native("store/" + rel); }

    CKXQUIVAConfig config;
    CKXQUIVACaptureModelManager manager;
    std::unique_ptr<quiva::test::TestEngine> engine;
    quiva::SoundCapture sounds;
};
