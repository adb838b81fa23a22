// Helpers shared by the readers and writers of the capture application's XML settings files.
//
// Each file is described once, as a table of settings: where a value lives in the document, the
// variable that holds it and the text form it takes there. One reader and one writer walk the
// table, so a setting is added or changed in one line.
#pragma once

#include <climits>
#include <variant>
#include <vector>

#include "framework/CKXXmlDocument.h"
#include "platform/base/CString.h"

namespace quiva::app {

// "<root>\exe\<name>".
CString ExeFilePath(const CString& imageRoot, const wchar_t* name);

// Loads "<root>\exe\<name>", or, when no file is there, the file of that name in the current
// folder; *fromCurrentFolder tells the caller to copy what it loaded into the exe folder. The
// current-folder file is trusted as the clinic's own: whatever it says is taken. A file larger
// than quiva::kMaxDataFileBytes (or too dense for CKXXmlDocument) is not read (a debug line says so): the caller keeps its defaults.
bool LoadSettingsFile(CKXXmlDocument& document, const CString& imageRoot, const wchar_t* name,
                      bool* fromCurrentFolder);

// A new document of one empty root element, declared "euc-kr".
void StartSettingsFile(CKXXmlDocument& document, const wchar_t* rootElement);

// Decimal text: leading blanks, a sign, digits; anything else ends it; no digits give 0.
inline int Decimal(const CString& text) { return _wtoi(text); }
// Whole, case-sensitive comparison, as the stored files are read.
inline bool Is(const CString& text, const wchar_t* value) { return text.Compare(value) == 0; }
CString DecimalText(int value);

// How a setting is spelled in a file and read back from what a file holds, damaged or not.
struct SettingForm {
    enum Kind { kFlag, kNumber, kText };
    Kind kind;
    // Flags: the texts written for on and off. A flag reads as on when its text is the on text;
    // one that is on by default reads as on unless its text is the off text.
    const wchar_t* on = nullptr;
    const wchar_t* off = nullptr;
    bool onByDefault = false;
    // Numbers: the range kept. A value beyond it is brought to the nearer end when clamped, and
    // becomes `beyond` when not.
    int low = INT_MIN;
    int high = INT_MAX;
    bool clamp = true;
    int beyond = 0;
    // Numbers and texts: the text an empty or missing value stands for (null: none, so a number
    // reads 0 and a text stays empty). A text written empty is written as this text too.
    const wchar_t* empty = nullptr;
    // Texts: an empty or missing value leaves what the variable held.
    bool emptyKeeps = false;
};

constexpr SettingForm Flag(const wchar_t* on, const wchar_t* off, bool onByDefault)
{
    SettingForm form{SettingForm::kFlag};
    form.on = on;
    form.off = off;
    form.onByDefault = onByDefault;
    return form;
}
constexpr SettingForm kTrueFalseOn = Flag(L"TRUE", L"FALSE", true);
constexpr SettingForm kTrueFalseOff = Flag(L"TRUE", L"FALSE", false);
constexpr SettingForm kOneZeroOn = Flag(L"1", L"0", true);
constexpr SettingForm kOneZeroOff = Flag(L"1", L"0", false);

constexpr SettingForm kNumber{SettingForm::kNumber};
// A number held within [low, high]: clamped there, or else `beyond`.
constexpr SettingForm Number(int low, int high, bool clamp, int beyond = 0, const wchar_t* empty = nullptr)
{
    SettingForm form{SettingForm::kNumber};
    form.low = low;
    form.high = high;
    form.clamp = clamp;
    form.beyond = beyond;
    form.empty = empty;
    return form;
}

constexpr SettingForm kText{SettingForm::kText};
constexpr SettingForm TextOr(const wchar_t* empty)
{
    SettingForm form{SettingForm::kText};
    form.empty = empty;
    return form;
}
constexpr SettingForm kTextKeptWhenEmpty = [] {
    SettingForm form{SettingForm::kText};
    form.emptyKeeps = true;
    return form;
}();

// One setting: the element's path (below the path the table is read at), the attribute (null:
// the element's own text), the variable and its form. Flags and numbers are held in an int.
struct Setting {
    const wchar_t* path;
    const wchar_t* attribute;
    std::variant<int*, CString*> value;
    SettingForm form;
};
using SettingTable = std::vector<Setting>;

// Reads every setting of the table from the element at base + path.
void ReadSettings(CKXXmlDocument& document, const CString& base, const SettingTable& table);
// Reads every setting of the table from texts already read, texts[i] being that of table[i].
void ReadSettings(const std::vector<CString>& texts, const SettingTable& table);
// Writes every setting of the table, in its order.
void WriteSettings(CKXXmlDocument& document, const CString& base, const SettingTable& table);

}  // namespace quiva::app
