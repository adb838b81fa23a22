// Feeds arbitrary bytes to the device monitor as its graph list, beside a few graph files it may
// name, and checks that a list saved from what was loaded loads again to the same entries.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "monitor/CKXMCaptureEx.h"
#include "platform/base/codepage.h"

namespace {

// The graph files a list may name, relative to the folder it is read in.
const char* const kGraphFiles[] = {"a.grf", "scope.grf", "\xEB\x82\xB4\xEC\x8B\x9C\xEA\xB2\xBD.grf", "Cam\xC3\xA9ra.grf"};

std::vector<std::wstring> Entries(const CKXMCaptureEx& engine)
{
    std::vector<std::wstring> lines;
    for (int i = 0; const _KXMCaptureDeviceInfo* e = engine.GetEntry(i); ++i)
        lines.push_back(FormatDeviceLine(*e).GetString());
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The list is read from the current folder, as the monitor reads it.
    if (chdir(fuzz::ScratchFolder().c_str()) != 0)
        fuzz::Fail("the scratch folder cannot be entered");
    for (const char* name : kGraphFiles)
        fuzz::WriteScratch(name, "x", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    fuzz::WriteScratch(quiva::WideToUtf8(KXM_GRAPH_LIST_FILE), data, size);
    std::vector<std::wstring> loaded;
    {
        CKXMCaptureEx engine;
        engine.LoadGraphList();
        loaded = Entries(engine);
        if (!engine.SaveGraphList(engine.HasDvdEntry()))
            return 0;
    }
    CKXMCaptureEx again;
    again.LoadGraphList();
    fuzz::Check(Entries(again) == loaded, "a saved graph list loads again to the same entries");
    return 0;
}
