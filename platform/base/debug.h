// Debugger output: OutputDebugString goes to a sink. The default sink writes to stderr when
// QUIVA_DEBUG=1 and drops the text otherwise; tests install their own to capture it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/wintypes.h"

void OutputDebugStringW(LPCWSTR text);
void OutputDebugStringA(LPCSTR text);  // ANSI code page

namespace quiva {

using DebugSink = std::function<void(const std::wstring&)>;
// Installs a sink (empty restores the default) and returns the previous one.
DebugSink SetDebugSink(DebugSink sink);

// Collects debug output for the lifetime of the object (thread-safe).
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    std::vector<std::wstring> Lines() const;
    // Whether any captured message contains `text`.
    bool Contains(const std::wstring& text) const;
    void Clear();

private:
    struct State;
    std::shared_ptr<State> m_state;
    DebugSink m_previous;
};

}  // namespace quiva
