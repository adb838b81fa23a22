// Comparison of names without regard to letter case beyond ASCII (Hangul has no case; Latin,
// Greek and Cyrillic letters fold), with the simple Unicode case mapping of the C.UTF-8 locale.
// It never depends on the process locale and never changes it; where C.UTF-8 is not available,
// ASCII letters alone fold.
#pragma once

#include <string_view>

namespace quiva {

wchar_t FoldCase(wchar_t c);
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);

}  // namespace quiva
