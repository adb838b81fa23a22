// Synthetic capture devices: a capture card (crossbar and capture filter), a camera, a capture
// filter that pairs with no crossbar, and switches that make parts of the layer fail. They are
// described by the configuration file named by QUIVA_DEVICES (so that every process of a run
// sees the same set) or, in tests, by text given directly.
//
// Configuration, one entry a line, '#' starts a comment:
//   card "Name" [options]       crossbar "Name Crossbar" and capture filter "Name Capture"
//   camera "Name" [options]     a video input device without crossbar
//   unpaired "Name" [options]   a capture filter whose analog input takes no crossbar
//   crossbar "Name" [options]   a crossbar alone
//   nameless                    a video input device without a friendly name
//   fail <class>                CoCreateInstance of the class fails (FilterGraph, AVIDec, Colour,
//                               DMOWrapperFilter, VideoMixingRenderer9, VideoMixingRenderer,
//                               EnhancedVideoRenderer, DVDNavigator, DSoundRender,
//                               CaptureGraphBuilder2, SystemDeviceEnum, or a {class id})
//   fault <switch>              renderer_no_windowless, renderer_mode_refused, colour_no_store,
//                               colour_refuses=SUBTYPE[,SUBTYPE...], colour_max_width=N,
//                               dvd_no_disc (the navigator shows nothing)
// Device options: fail_create, late_first_frame=MS, setformat_refused, no_stream_config,
// no_frames, route_fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/MediaFaults.h"
#include "platform/media/dshow.h"

namespace quiva::media {

struct SyntheticDevice {
    enum Kind { Card, Camera, Unpaired, CrossbarOnly, Nameless };
    Kind kind = Card;
    std::wstring name;
    bool failCreate = false;
    int firstFrameDelayMs = 0;
    bool setFormatRefused = false;
    bool noStreamConfig = false;
    bool noFrames = false;
    bool routeFails = false;
};

struct SyntheticConfig {
    std::vector<SyntheticDevice> devices;
    MediaFaults faults;
    std::vector<CLSID> failingClasses;
};

// Parses configuration text (UTF-8). False with a message naming the line for bad text.
bool ParseSyntheticConfig(const std::string& text, SyntheticConfig* config, std::string* error);
// The configuration in force: the test text when one is set, else the QUIVA_DEVICES file
// (none: no synthetic devices).
SyntheticConfig CurrentSyntheticConfig();
// Replaces the configuration for this process (nullopt: back to QUIVA_DEVICES).
void SetSyntheticConfig(const std::optional<std::string>& text);
bool ConfigSaysClassFails(REFCLSID clsid);

// What every synthetic picture carries in its top rows, readable back from any grabbed frame.
struct FrameStamp {
    uint32_t counter = 0;  // frame number since the source started
    int input = -1;        // crossbar input index routed to the picture (0 for a camera)
    std::string label;     // the input's name, cut to 15 characters
    int fps = 0;
    DWORD fourcc = 0;  // the subtype's first GUID field
};
// Draws colour bars with the stamp into 32-bit bottom-up rows.
void DrawSyntheticPicture(uint32_t* rgb32, int width, int height, const FrameStamp& stamp);
// Reads the stamp back from 32-bit bottom-up rows (width at least 320, height at least 48).
bool ReadFrameStamp(const uint8_t* rgb32, int width, int height, FrameStamp* stamp);
// The bars' colour at a column, as drawn (0x00RRGGBB).
uint32_t SyntheticBarColour(int x, int width);
// Rows at the top that hold the stamp.
constexpr int kStampRows = 40;

}  // namespace quiva::media
