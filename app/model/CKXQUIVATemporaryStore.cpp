#include "app/model/CKXQUIVATemporaryStore.h"

#include <algorithm>
#include <cassert>
#include <unordered_map>
#include <utility>

#include "app/model/CKXQUIVACaptureModel.h"
#include "framework/CKXRegistry.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/wformat.h"
#include "platform/base/winpath.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/media/vfw.h"

namespace {

bool IsDots(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

// Files below a folder, not counting info.xml and never following links.
int CountFiles(const CString& folder)
{
    int count = 0;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(folder + L"\\*.*", &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (IsDots(found.cFileName))
            continue;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            count += CountFiles(folder + L"\\" + found.cFileName);
        else if (wcscmp(found.cFileName, L"info.xml") != 0)
            ++count;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return count;
}

#ifndef NDEBUG
// A path as the store compares it in its checks: one "\" between names, ASCII letters in lower
// case; no look-up.
std::wstring Lexical(const CString& path)
{
    std::wstring out;
    for (wchar_t c : path.str()) {
        c = c == L'/' ? L'\\' : quiva::FoldAscii(c);
        if (!(c == L'\\' && !out.empty() && out.back() == L'\\'))
            out += c;
    }
    while (!out.empty() && out.back() == L'\\')
        out.pop_back();
    return out;
}

bool EndsWith(const std::wstring& text, std::wstring_view end)
{
    return text.size() >= end.size() && std::wstring_view(text).substr(text.size() - end.size()) == end;
}
#endif

}  // namespace

CKXQUIVATemporaryStore::CKXQUIVATemporaryStore(CString root, std::thread::id thread)
    : m_root(std::move(root)), m_thread(thread)
{
}

CKXQUIVATemporaryStore CKXQUIVATemporaryStore::OfFile(const CString& path)
{
    return CKXQUIVATemporaryStore(quiva::PathParent(path));
}

CString CKXQUIVATemporaryStore::JournalPath(const CString& file) { return file + L".commit"; }

bool CKXQUIVATemporaryStore::IsOwnStillName(std::wstring_view name)
{
    const std::wstring_view ext = name.substr(std::min<size_t>(name.size(), 9));
    if (name.size() != 13 || (ext != std::wstring_view(L".bmp") && ext != std::wstring_view(L".jpg")))
        return false;
    return std::all_of(name.begin(), name.begin() + 9, [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

void CKXQUIVATemporaryStore::AssertOwn([[maybe_unused]] const CString& path) const
{
#ifndef NDEBUG
    assert(std::this_thread::get_id() == m_thread);
    const std::wstring root = Lexical(m_root), file = Lexical(path);
    assert(!root.empty() && file.size() > root.size() + 1 && file.compare(0, root.size(), root) == 0 &&
           file[root.size()] == L'\\' && file.find(L"\\..\\", root.size()) == std::wstring::npos);
    bool own = false;
    for (const wchar_t* ext : {L".bmp", L".jpg", L".jpeg", L".avi", L".commit"})
        own = own || EndsWith(file, ext);
    assert(own);
#endif
}

bool CKXQUIVATemporaryStore::RemoveCapture(const CString& path) const
{
    AssertOwn(path);
    return DeleteFileW(path);
}

bool CKXQUIVATemporaryStore::RemoveRecording(const CString& path) const
{
    AssertOwn(path);
    return quiva::media::RemoveRecording(path);
}

bool CKXQUIVATemporaryStore::RemoveJournal(const CString& file) const
{
    AssertOwn(JournalPath(file));
    return DeleteFileW(JournalPath(file));
}

bool CKXQUIVATemporaryStore::LeaveStore(const CString& file) const
{
    if (!RemoveCapture(file))
        return false;
    RemoveJournal(file);
    return true;
}

bool CKXQUIVATemporaryStore::RemoveEmptyFolder(const CString& folder) const
{
    assert(std::this_thread::get_id() == m_thread);
    if (CountFiles(folder) != 0)
        return false;
    DeleteFolderTree(folder, TRUE);
    return true;
}

int CKXQUIVATemporaryStore::RemoveLeftovers(const CString& folder) const
{
    const int removed = quiva::RemoveLeftoverTemporaries(folder);
    if (removed)
        OutputDebugStringW(CString(quiva::FormatWide(L"LoadFolder: %d files cut short by a crash removed from ", removed).c_str()) +
                           folder + L"\n");
    return removed;
}

void CKXQUIVATemporaryStore::SetAsideCutStill(const CString& folder, const std::wstring& name) const
{
    const CString path = folder + L"\\" + name.c_str();
    if (!IsOwnStillName(name))
        OutputDebugStringW(L"LoadFolder: a picture cut short is not listed and is left as it is: " + path + L"\n");
    else if (RemoveCapture(path))
        OutputDebugStringW(L"LoadFolder: a still cut short by a crash is removed: " + path + L"\n");
    else
        OutputDebugStringW(L"LoadFolder: a still cut short by a crash could not be removed: " + path + L"\n");
}

void CKXQUIVATemporaryStore::SettleTwinStills(const CString& folder, const std::vector<quiva::FolderListing::Entry>& entries,
                                              const std::unordered_set<std::wstring>& journals, std::vector<bool>& gone,
                                              std::vector<size_t>& keptOf) const
{
    std::unordered_map<std::wstring, std::pair<size_t, size_t>> stems;  // folded stem: BMP, JPEG
    const size_t none = entries.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        std::wstring name = entries[i].name;
        for (wchar_t& c : name)
            c = quiva::FoldAscii(c);
        if (name.size() <= 4)
            continue;
        const std::wstring ext = name.substr(name.size() - 4);
        if (ext != L".bmp" && ext != L".jpg")
            continue;
        auto& pair = stems.try_emplace(name.substr(0, name.size() - 4), none, none).first->second;
        (ext == L".bmp" ? pair.first : pair.second) = i;
    }
    for (const auto& [stem, pair] : stems) {
        if (pair.first == none || pair.second == none)
            continue;
        const CString bmp = folder + L"\\" + entries[pair.first].name.c_str();
        const CString jpg = folder + L"\\" + entries[pair.second].name.c_str();
        if (CKXQUIVACaptureModel::HasCommitJournal(bmp, journals) || CKXQUIVACaptureModel::HasCommitJournal(jpg, journals))
            continue;
        std::string bytes;
        quiva::DecodedImage jpegPicture, bmpPicture;
        const bool jpegWhole = quiva::ReadFileBytes(jpg, bytes) && quiva::DecodeJpeg(bytes, jpegPicture);
        const bool bmpWhole = quiva::ReadFileBytes(bmp, bytes) && quiva::DecodeBmp(bytes, bmpPicture);
        size_t drop;
        if (jpegWhole && bmpWhole)
            drop = quiva::SamePictureWithinJpegError(bmpPicture, jpegPicture) ? pair.first : none;
        else if (jpegWhole != bmpWhole)
            drop = jpegWhole ? pair.first : pair.second;
        else
            drop = none;
        if (drop != none && !IsOwnStillName(entries[drop].name))
            drop = none;
        if (drop == none) {
            OutputDebugStringW(L"LoadFolder: two pictures of one name are not one still, both are kept: " + bmp + L"\n");
            continue;
        }
        const size_t keep = drop == pair.first ? pair.second : pair.first;
        const CString dropped = drop == pair.first ? bmp : jpg;
        if (!RemoveCapture(dropped)) {
            OutputDebugStringW(L"LoadFolder: the second file of a still could not be removed: " + dropped + L"\n");
            continue;
        }
        OutputDebugStringW(L"LoadFolder: one still in two files, removed: " + dropped + L"\n");
        gone[drop] = true;
        keptOf[drop] = keep;
    }
}

bool CKXQUIVATemporaryStore::SettleFinishedJournal(const CString& path) const
{
    const int dot = path.ReverseFind(L'.');
    if (dot < 0 || path.Mid(dot) != L".commit")
        return false;
    if (GetFileAttributesW(path.Left(path.GetLength() - 7)) != INVALID_FILE_ATTRIBUTES)
        return false;
    AssertOwn(path);
    DeleteFileW(path);
    return true;
}

bool CKXQUIVATemporaryStore::SettleRecording(const CString& path, bool listed) const
{
    const quiva::media::AviRepair repair = quiva::media::RepairCutAvi(path);
    if (repair == quiva::media::AviRepair::NoFrame && !listed) {
        // Cut before its first frame: headers only, no picture to keep.
        OutputDebugStringW(L"LoadFolder: a recording cut before its first frame is removed: " + path + L"\n");
        RemoveRecording(path);
        return false;
    }
    if (repair == quiva::media::AviRepair::Refused || repair == quiva::media::AviRepair::NoFrame)
        OutputDebugStringW(L"LoadFolder: a recording could not be mended: " + path + L"\n");
    return true;
}
