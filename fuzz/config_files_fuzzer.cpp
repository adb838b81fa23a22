// Feeds arbitrary bytes to the capture application's settings readers as each of its files
// (QUIVA.Capture.Config, QUIVA.Capture.LastSave, QUIVA.Capture.Device.Config and DBServer.ini),
// checks that what was read lies within its limits, and that what is saved reads back the same.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/model/CKXQUIVAConfig.h"
#include "platform/base/codepage.h"

namespace {

std::string g_exe;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Write(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    Check(f != nullptr);
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void CheckOptions(const CKXQUIVAConfig& a, const CKXQUIVAConfig& b)
{
    Check(a.GetOptions().m_bSaveWhenClose == b.GetOptions().m_bSaveWhenClose && a.GetOptions().m_bWriteGraphFile == b.GetOptions().m_bWriteGraphFile &&
          a.GetOptions().m_bUseVideo == b.GetOptions().m_bUseVideo && a.GetOptions().m_bSaveJpegFormat == b.GetOptions().m_bSaveJpegFormat &&
          a.GetOptions().m_nJpegQuality == b.GetOptions().m_nJpegQuality && a.GetOptions().m_nRecordLimitTime == b.GetOptions().m_nRecordLimitTime &&
          a.GetOptions().m_nCaptureKey == b.GetOptions().m_nCaptureKey && a.GetOptions().m_bApplyColor == b.GetOptions().m_bApplyColor &&
          a.GetOptions().m_bSourceFile == b.GetOptions().m_bSourceFile && a.GetOptions().m_bSourceDvd == b.GetOptions().m_bSourceDvd && a.GetOptions().m_bSendDICOM == b.GetOptions().m_bSendDICOM);
}

bool SameRecord(const _KXCaptureStudyConfig& a, const _KXCaptureStudyConfig& b)
{
    return a.hue == b.hue && a.saturation == b.saturation && a.brightness == b.brightness && a.contrast == b.contrast &&
           a.render == b.render && a.preserve == b.preserve && a.width == b.width && a.height == b.height &&
           a.fps == b.fps;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Saves are flushed to the disk; in memory (tmpfs) that costs nothing.
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/quiva-config-fuzz-XXXXXX";
    std::vector<char> folder(pattern.begin(), pattern.end());
    folder.push_back(0);
    Check(mkdtemp(folder.data()) != nullptr);
    std::filesystem::create_directories(std::string(folder.data()) + "/HRB4100/exe");
    setenv("QUIVA_DRIVE_C", folder.data(), 1);
    for (const char* letter : {"QUIVA_DRIVE_D", "QUIVA_DRIVE_E", "QUIVA_DRIVE_F"})
        unsetenv(letter);
    Check(chdir(folder.data()) == 0);  // no settings file in the working folder
    g_exe = std::string(folder.data()) + "/HRB4100/exe/";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (const char* name : {"QUIVA.Capture.Config", "QUIVA.Capture.LastSave", "QUIVA.Capture.Device.Config"})
        Write(g_exe + name, data, size);
    Write(g_exe + "../DBServer.ini", data, size);

    CKXQUIVAConfig loaded;
    Check(!loaded.GetConnectionSettings().m_strCommLinksHost.IsEmpty());
    loaded.LoadLastSave();
    loaded.LoadConfig();
    loaded.LoadDeviceConfig();
    Check(loaded.GetOptions().m_nJpegQuality >= 0 && loaded.GetOptions().m_nJpegQuality <= 100);
    Check(loaded.GetOptions().m_nRecordLimitTime >= 0 && loaded.GetOptions().m_nRecordLimitTime <= CKXQUIVAConfig::kMaxRecordLimitSeconds);
    Check(!loaded.GetOptions().m_strTempFolder.IsEmpty());
    Check(loaded.GetPlacement().m_nWindowX >= 0 && loaded.GetPlacement().m_nWindowY >= 0);  // one monitor at the origin
    Check(loaded.GetDefaultDevice().render >= 0 && loaded.GetDefaultDevice().render <= 2);
    for (INT_PTR i = 0; i < loaded.GetDevices().GetSize(); ++i) {
        const _KXCaptureStudyConfig& record = *loaded.GetDevices()[i];
        Check(!record.device.IsEmpty());
        Check(record.render >= 0 && record.render <= 2);
        Check(!record.formatType.IsEmpty());
    }
    loaded.GetDeviceSettings(loaded.GetPlacement().m_strDeviceName);

    loaded.SaveLastSave();
    loaded.SaveConfig();
    loaded.SaveDeviceConfig();
    CKXQUIVAConfig saved;
    saved.LoadLastSave();
    saved.LoadConfig();
    saved.LoadDeviceConfig();
    CheckOptions(loaded, saved);
    Check(loaded.GetPlacement().m_nWindowX == saved.GetPlacement().m_nWindowX && loaded.GetPlacement().m_nWindowY == saved.GetPlacement().m_nWindowY &&
          loaded.GetPlacement().m_nWindowWidth == saved.GetPlacement().m_nWindowWidth && loaded.GetPlacement().m_nWindowHeight == saved.GetPlacement().m_nWindowHeight &&
          loaded.GetPlacement().m_bThumbnailShow == saved.GetPlacement().m_bThumbnailShow && loaded.GetPlacement().m_nThumbnailSize == saved.GetPlacement().m_nThumbnailSize);
    Check(SameRecord(loaded.GetDefaultDevice(), saved.GetDefaultDevice()));
    Check(loaded.GetDevices().GetSize() == saved.GetDevices().GetSize());
    for (INT_PTR i = 0; i < loaded.GetDevices().GetSize(); ++i)
        Check(SameRecord(*loaded.GetDevices()[i], *saved.GetDevices()[i]));
    return 0;
}
