#include "app/model/CKXQUIVATemporaryStore.h"

#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <unordered_map>
#include <utility>

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVAConfig.h"
#include "framework/CKXRegistry.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/filetime.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/wformat.h"
#include "platform/base/winpath.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/media/vfw.h"

namespace {

using Kind = CKXQUIVACaptureModel::FileKind;

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

// "yyyymmdd" of a file's creation time in local time.
CString CreationDate(const FILETIME& created)
{
    FILETIME local{};
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&created, &local) || !FileTimeToSystemTime(&local, &t))
        return CString();
    return quiva::FormatWide(L"%04d%02d%02d", t.wYear, t.wMonth, t.wDay).c_str();
}

// The chart a folder of the store belongs to: the first chart number an info.xml names, the
// folder's own, then those of the folders `levels` deep below it; empty when none names one.
// Each folder is listed once; only an info.xml its listing holds is read.
CString ChartNamedIn(const CString& folder, int levels)
{
    const quiva::FolderListing listing(folder);
    for (const quiva::FolderListing::Entry& entry : listing.Entries()) {
        CKXXmlDocument xml;
        if (!(entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            CString(entry.name.c_str()).CompareNoCase(L"info.xml") == 0 && xml.Load(folder + L"\\" + entry.name.c_str()))
            if (CString chart = CKXQUIVACaptureModel::TrimChartNo(xml.GetAttribute(L"/patient", L"chartNo")); !chart.IsEmpty())
                return chart;
    }
    if (levels == 0)
        return CString();
    for (const quiva::FolderListing::Entry& entry : listing.Entries())
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            if (CString chart = ChartNamedIn(folder + L"\\" + entry.name.c_str(), levels - 1); !chart.IsEmpty())
                return chart;
    return CString();
}

// Below the chart folder: the study and date levels, where info.xml files are written.
constexpr int kChartFolderLevels = 2;

// "<folder>\HHMMSSmmm<ext>" of a time of day; a name already taken moves on by a millisecond, so
// a second capture within the same millisecond never replaces the first.
CString TimeName(const CString& folder, const SYSTEMTIME& t, std::initializer_list<const wchar_t*> extensions,
                 const wchar_t* extension)
{
    int ms = ((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
    for (int tries = 0; tries < 1000; ++tries, ms = (ms + 1) % 86400000) {
        const CString stem = folder + quiva::FormatWide(L"\\%02d%02d%02d%03d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                                                        ms % 1000)
                                          .c_str();
        bool taken = false;
        for (const wchar_t* ext : extensions)
            taken = taken || GetFileAttributesW(stem + ext) != INVALID_FILE_ATTRIBUTES;
        if (!taken)
            return stem + extension;
    }
    return CString();
}

// The still saved as JPEG with the encoder whose MIME type is "image/jpeg"; false when no whole
// JPEG file was written.
bool SaveAsJpeg(Gdiplus::Image& image, const CString& jpg, int quality)
{
    UINT count = 0, size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0)
        return false;
    std::vector<BYTE> block(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(block.data());
    if (Gdiplus::GetImageEncoders(count, size, encoders) != Gdiplus::Ok)
        return false;
    const CLSID* jpeg = nullptr;
    for (UINT i = 0; i < count; ++i)
        if (wcscmp(encoders[i].MimeType, L"image/jpeg") == 0)
            jpeg = &encoders[i].Clsid;
    if (!jpeg)
        return false;
    ULONG value = static_cast<ULONG>(std::clamp(quality, 0, 100));
    Gdiplus::EncoderParameters params{};
    params.Count = 1;
    params.Parameter[0].Guid = Gdiplus::EncoderQuality;
    params.Parameter[0].NumberOfValues = 1;
    params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    params.Parameter[0].Value = &value;
    return image.Save(jpg, jpeg, &params) == Gdiplus::Ok && GetFileAttributesW(jpg) != INVALID_FILE_ATTRIBUTES;
}

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

bool CKXQUIVATemporaryStore::MakeRoot() const { return EnsureFolder(m_root); }

CString CKXQUIVATemporaryStore::NewStillName(const CString& folder, const SYSTEMTIME& now) const
{
    return EnsureFolder(folder) ? TimeName(folder, now, {L".bmp", L".jpg"}, L".bmp") : CString();
}

CString CKXQUIVATemporaryStore::NewRecordingName(const CString& folder, const SYSTEMTIME& now) const
{
    EnsureFolder(folder);
    return TimeName(folder, now, {L".avi"}, L".avi");
}

CString CKXQUIVATemporaryStore::KeepAsJpeg(Gdiplus::Image* picture, const CString& folder, const CString& bmp,
                                           int quality) const
{
    const CString jpg = bmp.Left(bmp.GetLength() - 4) + L".jpg";
    // The BMP goes only once its JPEG is on disk, the JPEG's name too (a power cut must not
    // keep the removal and lose the rename); a failed save keeps and lists the BMP.
    if (picture && SaveAsJpeg(*picture, jpg, quality) && quiva::FlushFolder(folder)) {
        RemoveCapture(bmp);
        return jpg;
    }
    RemoveCapture(jpg);
    OutputDebugStringW(L"CaptureStill: the JPEG could not be written, the BMP is kept: " + bmp + L"\n");
    return bmp;
}

bool CKXQUIVATemporaryStore::WriteInfoXml(const CString& folder, CKXXmlDocument& xml, const ImageRows& images,
                                          size_t rows) const
{
    // The list is printed row by row, not built into the document: a still filed in a folder of
    // thousands costs little more than writing the file's bytes.
    if (!xml.SaveWithList(folder + L"\\info.xml", L"/", L"image", {L"Study", L"StudyDate", L"Saved", L"Deleted", L"IsVideo"},
                          images, rows)) {
        OutputDebugStringW(L"WriteInfoXml: not written: " + folder + L"\n");
        return false;
    }
    quiva::FlushFolder(folder);  // the new info.xml's name on the disk
    return true;
}

bool CKXQUIVATemporaryStore::WriteJournal(const CString& file, const std::string& text, bool knownAbsent) const
{
    AssertOwn(JournalPath(file));
    return knownAbsent ? quiva::WriteNewFileAtomically(JournalPath(file), text)
                       : quiva::WriteFileAtomically(JournalPath(file), text);
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

CString CKXQUIVATemporaryStore::ChartOfFolder(const CString& chartFolder)
{
    return ChartNamedIn(chartFolder, kChartFolderLevels);
}

CString CKXQUIVATemporaryStore::FindChartFolder(const CString& chartNo) const
{
    const CString name = CKXQUIVACaptureModel::CleanFolderName(chartNo);
    for (int n = 1; n < 10000; ++n) {
        const CString folder =
            m_root + L"\\" + name + (n == 1 ? CString() : CString(quiva::FormatWide(L"~%d", n).c_str()));
        const DWORD attributes = GetFileAttributesW(folder);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return folder;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        const CString owner = ChartOfFolder(folder);
        if (owner == chartNo || (owner.IsEmpty() && n == 1 && name == chartNo))
            return folder;
    }
    return m_root + L"\\" + name;
}

CString CKXQUIVATemporaryStore::UnlistedFolderChart(const CString& folder) const
{
    CString study, date;
    if (!FolderStudy(folder, {}, &study, &date))
        return CString();
    const CString below = folder.Mid(m_root.GetLength() + 1);
    const int cut = below.Find(L'\\');
    const CString chart = cut < 0 ? below : below.Left(cut);
    // The chart the other info.xml files of its chart folder name (a chart whose name another's
    // folder took has a folder "<name>~<n>", see CKXQUIVACaptureModel::ChartFolder).
    if (const CString owner = ChartOfFolder(m_root + L"\\" + chart); !owner.IsEmpty())
        return owner;
    if (chart.Find(L'_') >= 0 || chart.Find(L'~') >= 0 || CKXQUIVACaptureModel::CleanFolderName(chart) != chart ||
        CKXQUIVACaptureModel::TrimChartNo(chart) != chart)
        return CString();
    return chart;
}

bool CKXQUIVATemporaryStore::FolderStudy(const CString& folder, const std::vector<CString>& titles, CString* study,
                                         CString* date) const
{
    // LoadAll reaches every folder below the root as "<root>\<name>\<name>...".
    const CString root = m_root + L"\\";
    if (folder.GetLength() <= root.GetLength() || folder.Left(root.GetLength()) != root)
        return false;
    std::vector<CString> levels;
    const std::wstring& below = folder.str();
    for (size_t at = static_cast<size_t>(root.GetLength()); at <= below.size();) {
        const size_t cut = std::min(below.find(L'\\', at), below.size());
        levels.emplace_back(below.substr(at, cut - at).c_str());
        at = cut + 1;
    }
    if ((levels.size() != 2 && levels.size() != 3) || !CKXQUIVACaptureModel::IsStudyDate(levels.back()))
        return false;
    *date = levels.back();
    *study = levels.size() == 2 ? CString() : levels[1];
    for (const CString& title : titles)
        if (levels.size() == 3 && CKXQUIVACaptureModel::CleanFolderName(title) == levels[1]) {
            *study = title;
            break;
        }
    return true;
}

// What OpenFolder knows of one folder while it reads it: its one listing (nothing of the folder
// is looked up by name again, and a still's header is read relative to the folder), the model its
// captures join (none for a folder that names no chart) and what the listed files leave to the
// loose ones.
struct CKXQUIVATemporaryStore::FolderScan {
    FolderScan(const CString& folder, CKXQUIVACaptureModel* model, const Opening& opening)
        : folder(folder),
          opening(opening),
          model(model),
          listing(folder, model ? &model->FolderNames() : nullptr),
          entries(listing.Entries()),
          noteSizes(model && model->GetFileListener()),
          taken(entries.size()),
          gone(entries.size()),
          listedRecording(entries.size()),
          cut(entries.size()),
          keptOf(entries.size(), entries.size())
    {
    }
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    // Whether a still's file holds a whole picture, and the size its header gives (`sized`; read
    // only for a view that lays stills out by their own sizes): one open of the file, relative to
    // the folder. A file that cannot be opened is not judged.
    bool WholeStill(const quiva::FolderListing::Entry& entry, Gdiplus::Size* own, bool* sized) const
    {
        *sized = false;
        const int fd = listing.Open(entry);
        if (fd < 0)
            return true;
        const bool cut = quiva::ImageFileCut(fd);
        if (!cut && noteSizes)
            *sized = quiva::ReadImageFileSize(fd, &own->Width, &own->Height);
        ::close(fd);
        return !cut;
    }

    // A name finds its entry as the file system matches names: as spelt, else the first entry
    // that differs in ASCII case only.
    void IndexNames()
    {
        for (size_t i = 0; i < entries.size(); ++i) {
            std::wstring name = entries[i].name;
            exact.emplace(name, i);
            for (wchar_t& c : name)
                c = quiva::FoldAscii(c);
            folded.emplace(std::move(name), i);
        }
    }
    // The entry `name` finds (folded in place when it is not found as spelt); entries.size() when
    // none.
    size_t Find(std::wstring& name) const
    {
        auto at = exact.find(name);
        if (at != exact.end())
            return at->second;
        for (wchar_t& c : name)
            c = quiva::FoldAscii(c);
        at = folded.find(name);
        return at == folded.end() ? entries.size() : at->second;
    }

    // Whether a folder as a listed path spells it is this folder. Each spelling of a folder in the
    // list (one, as the model writes it) is resolved once.
    bool IsThisFolder(std::wstring_view listedFolder)
    {
        if (!spelling || std::wstring_view(spelling->first) != listedFolder) {
            auto known = spellings.try_emplace(std::wstring(listedFolder), false);
            if (known.second)
                known.first->second = CKXQUIVACaptureModel::PathKey(CString(known.first->first), true) == sameFolder;
            spelling = &*known.first;
        }
        return spelling->second;
    }

    const CString& folder;
    const Opening& opening;
    CKXQUIVACaptureModel* const model;
    const quiva::FolderListing listing;
    const std::vector<quiva::FolderListing::Entry>& entries;
    const bool noteSizes;
    // The folder is resolved once, case kept as the file system keeps it; the records' keys are
    // made from its key and the names as listed.
    CString sameFolder, folderKey;
    std::unordered_set<std::wstring> journals;
    // A listed file that is listed now, or whose interrupted commit left it out: the loose files
    // pass it over.
    std::vector<bool> taken, gone;
    std::vector<bool> listedRecording;  // a recording info.xml lists
    std::vector<bool> cut;              // a still cut short, set aside
    std::vector<size_t> keptOf;
    std::vector<CString> titles;  // the study titles info.xml lists
    std::unordered_map<std::wstring, size_t> exact, folded;
    std::unordered_map<std::wstring, bool> spellings;
    const std::pair<const std::wstring, bool>* spelling = nullptr;  // the last record's
    std::wstring name;  // the last record's file name
};

void CKXQUIVATemporaryStore::OpenFolder(const CString& folder, const Opening& opening) const
{
    CKXXmlDocument xml;
    CKXQUIVACaptureModel* model = nullptr;
    if (!opening.folderModel(folder, xml, &model))
        return;
    // Of an info.xml, a journal or a still cut by a crash.
    RemoveLeftovers(folder);
    FolderScan scan(folder, model, opening);
    if (scan.entries.empty())
        return;
    if (model)
        TakeListedFiles(scan, xml);
    TakeLooseFiles(scan);
}

void CKXQUIVATemporaryStore::TakeListedFiles(FolderScan& scan, CKXXmlDocument& xml) const
{
    scan.sameFolder = CKXQUIVACaptureModel::PathKey(scan.folder, true);
    scan.folderKey = CString(scan.sameFolder).MakeLower();
    for (const quiva::FolderListing::Entry& entry : scan.entries)
        CKXQUIVACaptureModel::AddCommitJournal(entry.name.c_str(), entry.attributes, scan.journals);
    SettleTwinStills(scan.folder, scan.entries, scan.journals, scan.gone, scan.keptOf);
    scan.IndexNames();
    // The title the folder was made for, first (older info.xml files name none).
    scan.titles.push_back(xml.GetAttribute(L"/patient", L"Study").Left(CKXQUIVAConfig::kMaxStudyName));
    xml.ReadList(L"/image", {L"Study", L"StudyDate", L"Saved", L"Deleted", L"IsVideo"},
                 [&](const CString& path, const std::vector<CString>& attributes) {
        return TakeListedFile(scan, path, attributes);
    });
}

bool CKXQUIVATemporaryStore::TakeListedFile(FolderScan& scan, const CString& path,
                                            const std::vector<CString>& attributes) const
{
    if (path.IsEmpty())
        return false;
    // A study title is a study name, also when info.xml was edited by hand.
    const CString study = attributes[0].Left(CKXQUIVAConfig::kMaxStudyName);
    if (std::find(scan.titles.begin(), scan.titles.end(), study) == scan.titles.end())
        scan.titles.push_back(study);
    // Only files of this folder: a listed path anywhere else is never taken (it would be copied
    // and deleted by the next commit).
    const std::wstring& text = path.str();
    const size_t cut = text.find_last_of(L"\\/");
    const size_t folderLength = cut == std::wstring::npos ? 0 : cut;
    if (!scan.IsThisFolder(std::wstring_view(text).substr(0, folderLength))) {
        OutputDebugStringW(L"LoadFolder: a listed file outside its folder is ignored: " + path + L"\n");
        return true;
    }
    scan.name.assign(text, folderLength + 1);
    size_t index = scan.Find(scan.name);
    if (index == scan.entries.size())
        return true;
    // A listed still whose twin was kept in its place is listed by the kept file.
    CString listedPath = path;
    if (scan.gone[index]) {
        index = scan.keptOf[index];
        listedPath = CString(text.substr(0, folderLength + 1)) + scan.entries[index].name.c_str();
    }
    // Only files are captures: an entry naming a folder (the study folder itself) is not, nor a
    // link, which is never followed.
    const quiva::FolderListing::Entry& entry = scan.entries[index];
    if (entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    if (!scan.opening.stillInStore(listedPath, scan.journals)) {
        scan.taken[index] = true;
        return true;
    }
    const bool video = attributes[4] == L"TRUE";
    Gdiplus::Size own;
    bool sized = false;
    if (scan.cut[index] || (!video && !scan.WholeStill(entry, &own, &sized))) {
        if (!scan.cut[index])
            SetAsideCutStill(scan.folder, entry.name);
        scan.cut[index] = scan.taken[index] = true;
        return true;
    }
    auto record = CKXQUIVACaptureModel::MakeRecord(listedPath, study, attributes[1], video ? Kind::Video : Kind::Still);
    record->saved = attributes[2] == L"TRUE" ? 1 : 0;
    record->present = attributes[3] == L"TRUE" ? 0 : 1;
    const bool listed = scan.model->AddKeyedFileInfo(
        CKXQUIVACaptureModel::EntryPathKey(scan.folderKey, entry.name.c_str(), false), std::move(record),
        sized ? &own : nullptr);
    // A listed recording is still mended with the loose files, as a loose one is.
    scan.taken[index] = listed && !video;
    scan.listedRecording[index] = video;  // kept even when it gives no picture now
    return true;
}

void CKXQUIVATemporaryStore::TakeLooseFiles(FolderScan& scan) const
{
    for (size_t i = 0; i < scan.entries.size(); ++i) {
        const quiva::FolderListing::Entry& found = scan.entries[i];
        if (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;  // links are not followed
        if (found.attributes & FILE_ATTRIBUTE_DIRECTORY)
            OpenFolder(scan.folder + L"\\" + found.name.c_str(), scan.opening);
        else
            TakeLooseFile(scan, i);
    }
}

void CKXQUIVATemporaryStore::TakeLooseFile(FolderScan& scan, size_t index) const
{
    const quiva::FolderListing::Entry& found = scan.entries[index];
    const std::wstring_view name(found.name);
    const size_t dot = name.rfind(L'.');
    // A commit journal whose file has gone: that commit was finished.
    if (dot != std::wstring_view::npos && name.substr(dot) == std::wstring_view(L".commit") &&
        SettleFinishedJournal(scan.folder + L"\\" + found.name.c_str()))
        return;
    if (scan.taken[index] || scan.gone[index])
        return;
    const CString ext = dot == std::wstring_view::npos ? CString() : CString(found.name.substr(dot));
    int video;
    if (ext.CompareNoCase(L".jpg") == 0 || ext.CompareNoCase(L".jpeg") == 0 || ext.CompareNoCase(L".bmp") == 0)
        video = 0;
    else if (ext.CompareNoCase(L".avi") == 0)
        video = 1;
    else
        return;
    // A folder without info.xml lists nothing; only a recording cut short is looked at there (its
    // first frame goes out before the folder's info.xml).
    if (!scan.model && !video)
        return;
    // A capture that no info.xml lists lost its listing to a crash (a recording cut short, most
    // often): it comes back kept, for the person to decide on, never to be deleted unasked, under
    // the study and date its folder names.
    const CString path = scan.folder + L"\\" + found.name.c_str();
    if (!scan.opening.stillInStore(path, scan.journals))
        return;
    if (video && !SettleRecording(path, scan.listedRecording[index]))
        return;
    if (!scan.model)
        return;
    Gdiplus::Size own;
    bool sized = false;
    if (!video && !scan.WholeStill(found, &own, &sized))
        return SetAsideCutStill(scan.folder, found.name);
    CString study, date;
    if (!FolderStudy(scan.folder, scan.titles, &study, &date)) {
        study = L"None";
        date = CreationDate(scan.listing.CreationTime(found));
    }
    scan.model->AddKeyedFileInfo(CKXQUIVACaptureModel::EntryPathKey(scan.folderKey, found.name.c_str(), false),
                                 CKXQUIVACaptureModel::MakeRecord(path, study, date, video ? Kind::Video : Kind::Still),
                                 sized ? &own : nullptr);
}
