#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>

#include "app/model/CKXQUIVAConfig.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "tests/app/AppTestSupport.h"

using quiva::test::ReadAll;
using quiva::test::WriteAll;

namespace {

class DeviceConfig : public AppMachine {
protected:
    // The file's text is code page 949; the body is given as UTF-8.
    void WriteDevices(const std::string& body)
    {
        WriteAll(Exe("QUIVA.Capture.Device.Config"),
                 kHeader + quiva::WideToMultiByte(quiva::Utf8ToWide(body), CP_KOREAN));
    }
    std::string Saved() { return ReadAll(Exe("QUIVA.Capture.Device.Config")); }
    CKXQUIVAConfig c;
};

_KXCaptureStudyConfig Record(int hue, int width, const wchar_t* mediaType)
{
    _KXCaptureStudyConfig r;
    r.hue = hue;
    r.saturation = hue + 1;
    r.brightness = hue + 2;
    r.contrast = hue + 3;
    r.render = 1;
    r.preserve = 0;
    r.width = width;
    r.height = width * 3 / 4;
    r.fps = 30;
    r.mediaType = mediaType;
    return r;
}

}  // namespace

TEST_F(DeviceConfig, WithoutAFileEverySourceGetsTheConstructorDefaults)
{
    c.LoadDeviceConfig();
    EXPECT_EQ(c.GetDevices().GetSize(), 0);
    _KXCaptureStudyConfig r = c.GetDeviceSettings(L"USB Camera");
    EXPECT_TRUE(r.device.IsEmpty());
    EXPECT_EQ(r.preserve, 1);
    EXPECT_EQ(r.render, 0);
    EXPECT_EQ(r.width, 0);
    EXPECT_EQ(r.hue, 0);
    EXPECT_FALSE(std::filesystem::exists(Exe("QUIVA.Capture.Device.Config")));
}

TEST_F(DeviceConfig, AFileAsTheApplicationWritesItLoadsEveryField)
{
    WriteDevices("<Configruation>\n"
                 "  <default hue=\"5\" saturation=\"6\" brightness=\"7\" contrast=\"8\" preserve=\"TRUE\" render=\"2\" />\n"
                 "  <devices>\n"
                 "    <device0 device=\"내시경 카메라\" study=\"위내시경\" hue=\"-10\" saturation=\"120\" brightness=\"3\""
                 " contrast=\"90\" preserve=\"FASLE\" render=\"1\" width=\"1920\" height=\"1080\" fps=\"30\""
                 " mediaType=\"YUY2\" formatType=\"VideoInfo2\" />\n"
                 "    <device1 device=\"Capture Card\" />\n"
                 "  </devices>\n"
                 "</Configruation>\n");
    c.LoadDeviceConfig();
    EXPECT_EQ(c.GetDefaultDevice().hue, 5);
    EXPECT_EQ(c.GetDefaultDevice().contrast, 8);
    EXPECT_EQ(c.GetDefaultDevice().preserve, 1);
    EXPECT_EQ(c.GetDefaultDevice().render, 2);
    ASSERT_EQ(c.GetDevices().GetSize(), 2);
    const _KXCaptureStudyConfig& a = *c.GetDevices()[0];
    EXPECT_EQ(a.device, L"내시경 카메라");
    EXPECT_EQ(a.study, L"위내시경");
    EXPECT_EQ(a.hue, -10);
    EXPECT_EQ(a.saturation, 120);
    EXPECT_EQ(a.brightness, 3);
    EXPECT_EQ(a.contrast, 90);
    EXPECT_EQ(a.preserve, 0);
    EXPECT_EQ(a.render, 1);
    EXPECT_EQ(a.width, 1920);
    EXPECT_EQ(a.height, 1080);
    EXPECT_EQ(a.fps, 30);
    EXPECT_EQ(a.mediaType, L"YUY2");
    EXPECT_EQ(a.formatType, L"VideoInfo2");
    // Missing attributes: zeros, no preserve, and the format type named as written.
    const _KXCaptureStudyConfig& b = *c.GetDevices()[1];
    EXPECT_EQ(b.preserve, 0);
    EXPECT_EQ(b.width, 0);
    EXPECT_EQ(b.formatType, L"VideoInfo");
}

TEST_F(DeviceConfig, PreserveIsWrittenFasleAndOnlyTrueReadsAsOn)
{
    WriteDevices("<Configruation><default/><devices><device0 device=\"a\" preserve=\"true\"/>"
                 "<device1 device=\"b\" preserve=\"TRUE\"/></devices></Configruation>");
    c.LoadDeviceConfig();
    EXPECT_EQ(c.GetDefaultDevice().preserve, 0);  // a default element without preserve
    ASSERT_EQ(c.GetDevices().GetSize(), 2);
    EXPECT_EQ(c.GetDevices()[0]->preserve, 0);
    EXPECT_EQ(c.GetDevices()[1]->preserve, 1);
    c.SaveDeviceConfig();
    std::string text = Saved();
    EXPECT_NE(text.find("<device0 device=\"a\" study=\"\" hue=\"0\" saturation=\"0\" brightness=\"0\" contrast=\"0\""
                        " preserve=\"FASLE\" render=\"0\" width=\"0\" height=\"0\" fps=\"0\" mediaType=\"\""
                        " formatType=\"VideoInfo\""),
              std::string::npos)
        << text;
    CKXQUIVAConfig back;
    back.LoadDeviceConfig();
    ASSERT_EQ(back.GetDevices().GetSize(), 2);
    EXPECT_EQ(back.GetDevices()[0]->preserve, 0);
    EXPECT_EQ(back.GetDevices()[1]->preserve, 1);
}

TEST_F(DeviceConfig, ReadingStopsAtTheFirstMissingOrEmptyDeviceName)
{
    WriteDevices("<Configruation><devices><device0 device=\"a\"/><device2 device=\"c\"/></devices></Configruation>");
    c.LoadDeviceConfig();
    EXPECT_EQ(c.GetDevices().GetSize(), 1);
    WriteDevices("<Configruation><devices><device0 device=\"a\"/><device1 device=\"\"/><device2 device=\"c\"/>"
                 "</devices></Configruation>");
    c.LoadDeviceConfig();
    EXPECT_EQ(c.GetDevices().GetSize(), 1);
}

TEST_F(DeviceConfig, TheOlderLayoutGivesItsFirstRecordWhichIsSavedAsDevice0)
{
    WriteDevices("<Configruation><devices><device device=\"old cam\" width=\"640\"/><device device=\"second\"/>"
                 "</devices></Configruation>");
    c.LoadDeviceConfig();
    ASSERT_EQ(c.GetDevices().GetSize(), 1);
    EXPECT_EQ(c.GetDevices()[0]->device, L"old cam");
    EXPECT_EQ(c.GetDevices()[0]->width, 640);
    c.SaveDeviceConfig();
    std::string text = Saved();
    EXPECT_NE(text.find("<device0 device=\"old cam\""), std::string::npos) << text;
    EXPECT_EQ(text.find("second"), std::string::npos) << text;
    EXPECT_EQ(text.find("<device "), std::string::npos) << text;
}

TEST_F(DeviceConfig, LookupsIgnoreLetterCaseAndReturnTheStoredRecord)
{
    WriteDevices("<Configruation><devices><device0 device=\"Камера Ω\" hue=\"4\"/><device1 device=\"Cam\" hue=\"9\"/>"
                 "</devices></Configruation>");
    c.LoadDeviceConfig();
    quiva::DebugCapture debug;
    _KXCaptureStudyConfig r = c.GetDeviceSettings(L"кАМЕРА ω");
    EXPECT_EQ(r.device, L"Камера Ω");
    EXPECT_EQ(r.hue, 4);
    EXPECT_EQ(r.formatType, L"VideoInfo");
    EXPECT_TRUE(debug.Contains(L"Камера Ω кАМЕРА ω"));
    debug.Clear();
    _KXCaptureStudyConfig none = c.GetDeviceSettings(L"Other");
    EXPECT_TRUE(none.device.IsEmpty());
    EXPECT_TRUE(debug.Contains(L"Cam Other"));
    EXPECT_TRUE(debug.Contains(L"Not Match"));

    // Stored back under the source's name, the default becomes a record of its own.
    none.hue = 33;
    c.SetDeviceSettings(L"Other", none);
    ASSERT_EQ(c.GetDevices().GetSize(), 3);
    EXPECT_EQ(c.GetDevices()[2]->device, L"Other");
    EXPECT_EQ(c.GetDeviceSettings(L"other").hue, 33);
}

TEST_F(DeviceConfig, AnUpdateKeepsTheStudyAndANewRecordHasNone)
{
    WriteDevices("<Configruation><devices><device0 device=\"Cam\" study=\"colon\"/></devices></Configruation>");
    c.LoadDeviceConfig();
    _KXCaptureStudyConfig r = Record(10, 1280, L"MJPG");
    r.study = L"ignored";
    c.SetDeviceSettings(L"CAM", r);
    ASSERT_EQ(c.GetDevices().GetSize(), 1);
    EXPECT_EQ(c.GetDevices()[0]->study, L"colon");
    EXPECT_EQ(c.GetDevices()[0]->width, 1280);
    EXPECT_EQ(c.GetDevices()[0]->mediaType, L"MJPG");
    EXPECT_EQ(c.GetDevices()[0]->hue, 10);
    c.SetDeviceSettings(L"New", r);
    ASSERT_EQ(c.GetDevices().GetSize(), 2);
    EXPECT_TRUE(c.GetDevices()[1]->study.IsEmpty());
    EXPECT_EQ(c.GetDevices()[1]->device, L"New");
    EXPECT_EQ(c.GetDevices()[1]->contrast, 13);
}

TEST_F(DeviceConfig, TheDefaultRecordKeepsColoursButNeverARequestedFormat)
{
    quiva::DebugCapture debug;
    c.SetDeviceSettings(L"", Record(20, 1920, L"YUY2"));
    EXPECT_TRUE(debug.Contains(L"device name empty"));
    EXPECT_EQ(c.GetDevices().GetSize(), 0);
    EXPECT_EQ(c.GetDefaultDevice().hue, 20);
    EXPECT_EQ(c.GetDefaultDevice().contrast, 23);
    EXPECT_EQ(c.GetDefaultDevice().render, 1);
    EXPECT_EQ(c.GetDefaultDevice().preserve, 0);
    EXPECT_EQ(c.GetDefaultDevice().width, 0);
    EXPECT_EQ(c.GetDefaultDevice().height, 0);
    EXPECT_EQ(c.GetDefaultDevice().fps, 0);
    EXPECT_TRUE(c.GetDefaultDevice().mediaType.IsEmpty());
    EXPECT_TRUE(c.GetDefaultDevice().formatType.IsEmpty());
}

TEST_F(DeviceConfig, ASavedFileReadsBackAndWritesNoDevicesElementWithoutRecords)
{
    c.SaveDeviceConfig();
    std::string empty = Saved();
    EXPECT_EQ(empty.find("devices"), std::string::npos) << empty;
    EXPECT_NE(empty.find("<default hue=\"0\" saturation=\"0\" brightness=\"0\" contrast=\"0\" preserve=\"TRUE\" render=\"0\""),
              std::string::npos)
        << empty;

    c.SetDeviceSettings(L"", Record(1, 0, L""));
    c.SetDeviceSettings(L"카메라 1", Record(2, 640, L"YUY2"));
    c.SetDeviceSettings(L"Card \"HD\" <in>", Record(3, 1920, L"UYVY"));
    c.SaveDeviceConfig();
    EXPECT_EQ(c.GetDevices()[0]->formatType, L"VideoInfo");  // stored into the record as written
    std::string text = Saved();
    EXPECT_EQ(text.find("device=\"\""), std::string::npos) << text;  // the default has no name
    EXPECT_TRUE(std::regex_search(text, std::regex("<default [^>]*/>\\s*<devices>\\s*<device0 [^>]*/>\\s*<device1 ")))
        << text;

    CKXQUIVAConfig back;
    back.LoadDeviceConfig();
    EXPECT_EQ(back.GetDefaultDevice().hue, 1);
    EXPECT_EQ(back.GetDefaultDevice().preserve, 0);
    ASSERT_EQ(back.GetDevices().GetSize(), 2);
    for (int i = 0; i < 2; ++i) {
        const _KXCaptureStudyConfig& a = *c.GetDevices()[i];
        const _KXCaptureStudyConfig& b = *back.GetDevices()[i];
        EXPECT_EQ(a.device, b.device);
        EXPECT_EQ(a.hue, b.hue);
        EXPECT_EQ(a.saturation, b.saturation);
        EXPECT_EQ(a.brightness, b.brightness);
        EXPECT_EQ(a.contrast, b.contrast);
        EXPECT_EQ(a.render, b.render);
        EXPECT_EQ(a.preserve, b.preserve);
        EXPECT_EQ(a.width, b.width);
        EXPECT_EQ(a.height, b.height);
        EXPECT_EQ(a.fps, b.fps);
        EXPECT_EQ(a.mediaType, b.mediaType);
        EXPECT_EQ(a.formatType, b.formatType);
    }
}

TEST_F(DeviceConfig, ARendererKindTheEngineCannotBuildReadsAsTheDefaultOne)
{
    WriteDevices("<Configruation><default render=\"7\"/><devices><device0 device=\"a\" render=\"-1\"/>"
                 "<device1 device=\"b\" render=\"2\"/></devices></Configruation>");
    c.LoadDeviceConfig();
    EXPECT_EQ(c.GetDefaultDevice().render, 0);
    ASSERT_EQ(c.GetDevices().GetSize(), 2);
    EXPECT_EQ(c.GetDevices()[0]->render, 0);
    EXPECT_EQ(c.GetDevices()[1]->render, 2);
}

TEST_F(DeviceConfig, AReloadReplacesTheListAndADamagedFileGivesNoRecords)
{
    WriteDevices("<Configruation><devices><device0 device=\"a\"/></devices></Configruation>");
    c.LoadDeviceConfig();
    c.LoadDeviceConfig();
    EXPECT_EQ(c.GetDevices().GetSize(), 1);
    WriteAll(Exe("QUIVA.Capture.Device.Config"), std::string(kHeader) + "<Configruation><devices><device0 dev");
    c.LoadDeviceConfig();
    EXPECT_EQ(c.GetDevices().GetSize(), 0);
}

TEST_F(DeviceConfig, AFileInTheWorkingFolderIsCopiedIntoTheExeFolder)
{
    WriteAll(Cwd("QUIVA.Capture.Device.Config"),
             std::string(kHeader) + "<Configruation><devices><device0 device=\"a\" note=\"x\"/></devices></Configruation>");
    c.LoadDeviceConfig();
    EXPECT_EQ(c.GetDevices().GetSize(), 1);
    EXPECT_NE(Saved().find("note=\"x\""), std::string::npos);
}

TEST_F(DeviceConfig, ManyRecordsLoadInTimeLinearInTheFileAndAFileFarLargerThanOursIsRefused)
{
    // Twenty thousand records as the application writes them (some 5 MB).
    const int count = 20000;
    std::string body = "<Configruation>\n    <default hue=\"1\" saturation=\"2\" brightness=\"3\" contrast=\"4\" preserve=\"TRUE\" render=\"0\" />\n    <devices>\n";
    for (int i = 0; i < count; ++i)
        body += "        <device" + std::to_string(i) + " device=\"Capture Card " + std::to_string(i) +
                "\" study=\"\" hue=\"" + std::to_string(i % 100) +
                "\" saturation=\"0\" brightness=\"0\" contrast=\"0\" preserve=\"TRUE\" render=\"1\" width=\"1920\" "
                "height=\"1080\" fps=\"30\" mediaType=\"YUY2\" formatType=\"VideoInfo\" />\n";
    body += "    </devices>\n</Configruation>\n";
    WriteAll(Exe("QUIVA.Capture.Device.Config"), kHeader + body);
    const auto start = std::chrono::steady_clock::now();
    c.LoadDeviceConfig();
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(c.GetDevices().GetSize(), count);
    EXPECT_EQ(c.GetDevices()[count - 1]->device, CString(L"Capture Card 19999"));
    EXPECT_EQ(c.GetDevices()[count - 1]->hue, 99);
    EXPECT_EQ(c.GetDevices()[count - 1]->width, 1920);
    // Well under a second in the sanitised debug build; reading record by record from the
    // start of the list took minutes.
    EXPECT_LT(took, std::chrono::seconds(15));

    // Past the bound (a file grown by something else than this program): the defaults, and a
    // debug line that says why.
    WriteAll(Exe("QUIVA.Capture.Device.Config"), kHeader + body + "<!--" + std::string(4u << 20, ' ') + "-->\n");
    quiva::DebugCapture debug;
    CKXQUIVAConfig fresh;
    fresh.LoadDeviceConfig();
    EXPECT_EQ(fresh.GetDevices().GetSize(), 0);
    EXPECT_EQ(fresh.GetDeviceSettings(L"Capture Card 0").hue, 0);
    EXPECT_TRUE(debug.Contains(L"is larger than")) << ::testing::PrintToString(debug.Lines());

    // Within the bound, one element of a hundred thousand attributes (some 1 MB) is read at once,
    // its first attributes kept: the parser would check each against all before it.
    std::string wide = "<Configruation><default hue=\"5\" ";
    for (int i = 0; i < 100000; ++i)
        wide += "a" + std::to_string(i) + "=\"\" ";
    WriteAll(Exe("QUIVA.Capture.Device.Config"), kHeader + wide + "/></Configruation>\n");
    const auto wideStart = std::chrono::steady_clock::now();
    fresh.LoadDeviceConfig();
    EXPECT_LT(std::chrono::steady_clock::now() - wideStart, std::chrono::seconds(15));
    EXPECT_EQ(fresh.GetDeviceSettings(L"x").hue, 5);
}
