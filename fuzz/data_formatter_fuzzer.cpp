// Feeds arbitrary value and mask pairs (UTF-8, split at the first NUL byte) to the display-mask
// formatter; what comes back stays within a bound of what went in, and a number keeps its
// digits.
#include <algorithm>
#include <cstdint>
#include <string>

#include "framework/CKXDataFormatter.h"
#include "fuzz/FuzzSupport.h"
#include "platform/base/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const size_t split = bytes.find('\0');
    const CString value(quiva::Utf8ToWide(bytes.substr(0, split)));
    const CString mask(split == std::string::npos ? std::wstring(L"yyyy-mm-dd") : quiva::Utf8ToWide(bytes.substr(split + 1)));
    CKXDataFormatter formatter;
    const CString shown = formatter.Format(value, mask);
    // A mask letter gives at most a word; every number token (each starts with a "#") gives the
    // value's whole number, with a comma every three digits and its pattern's decimals.
    const size_t hashes = static_cast<size_t>(std::count(mask.str().begin(), mask.str().end(), L'#'));
    const size_t bound = 16 * static_cast<size_t>(mask.GetLength() + value.GetLength()) + 64 +
                         hashes * (2 * static_cast<size_t>(value.GetLength()) + 2);
    fuzz::Check(static_cast<size_t>(shown.GetLength()) <= bound, "a formatted value stays within its bound");
    // A whole number through a plain number mask shows its own digits, however many there are.
    const std::wstring& digits = value.str();
    if (!digits.empty() && digits[0] != L'0' && digits.find_first_not_of(L"0123456789") == std::wstring::npos)
        fuzz::Check(formatter.Format(value, L"#") == value, "a number mask prints the value's own digits");
    return 0;
}
