#include "platform/base/debug.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/base/codepage.h"

namespace quiva {
namespace {

std::mutex g_sinkMutex;
std::shared_ptr<DebugSink> g_sink;

void DefaultSink(const std::wstring& text)
{
    static const bool enabled = [] {
        const char* v = std::getenv("QUIVA_DEBUG");
        return v && std::strcmp(v, "1") == 0;
    }();
    if (!enabled)
        return;
    std::string utf8 = WideToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    if (utf8.empty() || utf8.back() != '\n')
        std::fputc('\n', stderr);
}

}  // namespace

DebugSink SetDebugSink(DebugSink sink)
{
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    DebugSink previous = g_sink ? *g_sink : DebugSink();
    g_sink = sink ? std::make_shared<DebugSink>(std::move(sink)) : nullptr;
    return previous;
}

struct DebugCapture::State {
    mutable std::mutex mutex;
    std::vector<std::wstring> lines;
};

DebugCapture::DebugCapture() : m_state(std::make_shared<State>())
{
    std::shared_ptr<State> state = m_state;
    m_previous = SetDebugSink([state](const std::wstring& text) {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->lines.push_back(text);
    });
}

DebugCapture::~DebugCapture()
{
    SetDebugSink(m_previous);
}

std::vector<std::wstring> DebugCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->lines;
}

bool DebugCapture::Contains(const std::wstring& text) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    for (const auto& l : m_state->lines)
        if (l.find(text) != std::wstring::npos)
            return true;
    return false;
}

void DebugCapture::Clear()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->lines.clear();
}

}  // namespace quiva

void OutputDebugStringW(LPCWSTR text)
{
    std::wstring s = text ? text : L"";
    std::shared_ptr<quiva::DebugSink> sink;
    {
        std::lock_guard<std::mutex> lock(quiva::g_sinkMutex);
        sink = quiva::g_sink;
    }
    if (sink)
        (*sink)(s);
    else
        quiva::DefaultSink(s);
}

void OutputDebugStringA(LPCSTR text)
{
    OutputDebugStringW(quiva::MultiByteToWide(text ? text : "", CP_ACP).c_str());
}
