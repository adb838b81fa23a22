// Reports of the engine: failures on the debugger output and in the engine log file; the step
// lines of a build for a program that shows them.
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "capture/CKXMCapture.h"
#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/handle.h"

namespace {

constexpr size_t kLogLineMax = 254;  // bytes of one line, its line feed included

// The message in the ANSI code page, cut at a character boundary to at most `limit` bytes.
std::string NarrowWithin(const std::wstring& message, size_t limit)
{
    std::string all = quiva::WideToMultiByte(message);
    if (all.size() <= limit)
        return all;
    std::string out;
    for (wchar_t c : message) {
        std::string one = quiva::WideToMultiByte(std::wstring_view(&c, 1));
        if (out.size() + one.size() > limit)
            break;
        out += one;
    }
    return out;
}

}  // namespace

int CKXMCapture::CheckResult(HRESULT hr, LPCWSTR context)
{
    if (hr >= 0)
        return 0;
    WCHAR system[160] = {};
    CString text;
    if (AMGetErrorTextW(hr, system, 160))
        text.Format(L"Error %x: %s\n%s\n", static_cast<unsigned>(hr), context ? context : L"", system);
    else
        text.Format(L"Error %x: %s\n", static_cast<unsigned>(hr), context ? context : L"");
    OutputDebugStringW(text);
    return 1;
}

void CKXMCapture::Log(LPCWSTR) {}

void CKXMCapture::Logf(LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    Log(text);
}

void CKXMCapture::LogFailure(LPCWSTR context)
{
    WriteLog(context);
}

void WriteLog(LPCWSTR message)
{
    static std::mutex logMutex;
    std::lock_guard<std::mutex> lock(logMutex);

    SYSTEMTIME t {};
    GetLocalTime(&t);
    HANDLE file = CreateFileW(L"quivacapture.log.txt", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        file = CreateFileW(L"quivacapture.log.txt", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;

    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", t.wHour, t.wMinute, t.wSecond);
    std::string line = stamp;
    // A long message is cut so that the line, its line feed kept, stays within the limit.
    line += NarrowWithin(message ? message : L"", kLogLineMax - line.size() - 1);
    line += '\n';

    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}
