#include "platform/base/casefold.h"

#include <locale.h>
#include <wctype.h>

#include "platform/base/CString.h"

namespace quiva {

namespace {

locale_t UnicodeLocale()
{
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

}  // namespace

wchar_t FoldCase(wchar_t c)
{
    if (c < 0x80)
        return FoldAscii(c);
    locale_t locale = UnicodeLocale();
    return locale ? static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), locale)) : c;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    return true;
}

}  // namespace quiva
