#include "app/model/CKXQUIVACaptureModel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/model/CKXQUIVAConfig.h"
#include "app/model/CKXQUIVATemporaryStore.h"
#include "app/model/QUIVAModuleInstance.h"
#include "app/model/CKXSendDicomModel.h"
#include "capture/CKXMCapture.h"
#include "capture/CKXMXVideoModel.h"
#include "framework/CKXRegistry.h"
#include "platform/base/bitmap.h"
#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/resources.h"
#include "platform/base/timerqueue.h"
#include "platform/base/wformat.h"
#include "platform/base/winpath.h"
#include "platform/media/vfw.h"
#include "platform/sound/mmsystem.h"
#include "platform/ui/winuser.h"

CKXQUIVACaptureModel::CKXQUIVACaptureModel()
{
    m_hSoundModule = QUIVAModuleInstance();
}

CKXQUIVACaptureModel::~CKXQUIVACaptureModel()
{
    // The windows may be gone before their models: nothing is painted from here on (the tick
    // calls the view under the recording lock).
    {
        std::lock_guard lock(m_recordLock);
        if (m_pFileListener)
            m_pFileListener->Detach();
    }
    // No tick may run once the model starts to go: the timer is deleted, waiting for a tick in
    // progress, before anything of the model is freed. A recording still running or ended
    // without its record yet is recorded in its folder's info.xml.
    if (HANDLE timer = TakeTimer())
        DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
    WaitForTickToLeave();
    FinishPostedRecording();
    StopRecording();
    if (m_hNotify) {
        DestroyWindow(m_hNotify);
        m_hNotify = nullptr;
    }
    {
        AssertWindowThread();
        m_files.clear();
        m_pathKeys.clear();
        m_keyedFiles = 0;
    }
    // A model the manager made is its alone: it goes only through the manager's DeleteModel,
    // which lets go of it first. Deleted by anyone else, the manager would delete it again.
    assert(!m_pManager && "a model of the manager deleted outside its DeleteModel");
}

void CKXQUIVACaptureModel::SetPatient(const CString& chartNo, const CString& patientName)
{
    m_strChartNo = chartNo;
    m_strPatientName = patientName;
    m_matchedTitles.clear();
}

CKXQUIVATemporaryStore CKXQUIVACaptureModel::Store() const
{
    return CKXQUIVATemporaryStore(m_strImageRoot, m_windowThread);
}

bool CKXQUIVACaptureModel::IsStudyDate(const CString& date)
{
    if (date.GetLength() != 8)
        return false;
    for (int i = 0; i < 8; ++i)
        if (date[i] < L'0' || date[i] > L'9')
            return false;
    return quiva::IsCalendarDate(_wtoi(date.Mid(0, 4)), _wtoi(date.Mid(4, 2)), _wtoi(date.Mid(6, 2)));
}

CString CKXQUIVACaptureModel::CleanFolderName(const CString& name)
{
    // A control character has no place in a folder's name (a line break would split every
    // listing of the store that reads names by line).
    CString out = CString(quiva::ReplaceControlCharacters(name.str(), L'_'));
    for (const wchar_t c : {L'/', L':', L'?', L'\\', L'*', L'<', L'>', L'|'})
        out.Replace(c, L'_');
    // Windows drops trailing dots and spaces from a name; "." and ".." would leave the level.
    while (!out.IsEmpty() && (out[out.GetLength() - 1] == L'.' || out[out.GetLength() - 1] == L' '))
        out = out.Left(out.GetLength() - 1);
    if (out.IsEmpty() && !name.IsEmpty())
        out = CString(name.GetLength() == 1 ? L"_" : L"__");
    return out;
}

CString CKXQUIVACaptureModel::TrimChartNo(const CString& chart)
{
    CString trimmed = chart;
    trimmed.Trim(L" \t\r\n\v\f\u3000");
    for (int i = 0; i < trimmed.GetLength(); ++i)
        if (trimmed[i] >= 0x20 && trimmed[i] != 0x7F)
            return trimmed;
    return CString();
}

CString CKXQUIVACaptureModel::BuildStudyFolder()
{
    if (!IsStudyDate(m_strStudyDate))
        m_strStudyDate = BuildTodayDate();
    return ChartFolder() + L"\\" + CleanFolderName(m_strStudyName) + L"\\" + m_strStudyDate;
}

CString CKXQUIVACaptureModel::PathKey(const CString& path, bool caseSensitive)
{
    std::wstring key;
    if (const std::optional<std::string> native = quiva::NativePath(path)) {
        std::string folded;
        for (char c : *native)
            if (!(c == '/' && !folded.empty() && folded.back() == '/'))
                folded += c;
        while (folded.size() > 1 && folded.back() == '/')
            folded.pop_back();
        key = L"/" + quiva::Utf8ToWide(folded);
    } else {
        key = L"?" + path.str();  // a path that names nothing here is compared as written
    }
    if (!caseSensitive)
        for (wchar_t& c : key)
            if (c >= L'A' && c <= L'Z')
                c = static_cast<wchar_t>(c - L'A' + L'a');
    return CString(std::move(key));
}

CString CKXQUIVACaptureModel::EntryPathKey(const CString& folderKey, const wchar_t* name, bool caseSensitive)
{
    std::wstring key = folderKey.str();
    if (key.empty() || key.back() != L'/')
        key += L'/';
    const size_t at = key.size();
    key += name;
    if (!caseSensitive)
        for (size_t i = at; i < key.size(); ++i)
            key[i] = quiva::FoldAscii(key[i]);
    return CString(std::move(key));
}

bool CKXQUIVACaptureModel::SamePath(const CString& a, const CString& b, bool caseSensitive)
{
    return PathKey(a, caseSensitive) == PathKey(b, caseSensitive);
}

void CKXQUIVACaptureModel::AddFileInfo(std::unique_ptr<_KXCaptureFileInfo> record)
{
    const CString key = PathKey(record->path, false);
    AddKeyedFileInfo(key, std::move(record));
}

bool CKXQUIVACaptureModel::AddKeyedFileInfo(const CString& key, std::unique_ptr<_KXCaptureFileInfo> info,
                                            const Gdiplus::Size* own)
{
    {
        // One file, however its path is spelt: a second record of a listed file would come in as
        // a loose file marked deleted, and a commit that could not store the first would delete it.
        AssertWindowThread();
        for (; m_keyedFiles < m_files.size(); ++m_keyedFiles)
            m_pathKeys.insert(PathKey(m_files[m_keyedFiles]->path, false).str());
        if (m_pathKeys.count(key.str()))
            return true;
    }
    if (info->isVideo)
        info->image.reset(LoadVideoThumbnail(info->path));
    else if (m_pManager && m_pManager->IsLoading())
        NoteFile(info.get(), own);  // the store's open reads the pictures of the cells shown, when shown
    else
        KeepFile(info.get());
    const bool listed = info->HasPicture();
    if (listed) {
        AssertWindowThread();
        m_files.push_back(std::move(info));
        // Its key is known: it is not resolved again for the next record.
        if (m_keyedFiles + 1 == m_files.size()) {
            m_pathKeys.insert(key.str());
            ++m_keyedFiles;
        }
    }
    if (!m_pManager || !m_pManager->IsLoading())
        RelayoutView();
    return listed;
}

std::unique_ptr<_KXCaptureFileInfo> CKXQUIVACaptureModel::MakeRecord(const CString& path, const CString& study,
                                                                     const CString& date, FileKind kind)
{
    auto info = std::make_unique<_KXCaptureFileInfo>();
    info->path = path;
    info->study = study;
    info->date = date;
    info->isVideo = static_cast<int>(kind);
    info->present = 1;
    return info;
}

_KXCaptureFileInfo* CKXQUIVACaptureModel::GetFileInfo(int index)
{
    AssertWindowThread();
    if (index < 0 || index >= static_cast<int>(m_files.size()))
        return nullptr;
    return m_files[static_cast<size_t>(index)].get();
}

int CKXQUIVACaptureModel::GetFileCount()
{
    AssertWindowThread();
    return static_cast<int>(m_files.size());
}

bool CKXQUIVACaptureModel::RestoreUnsaved() { return MarkUnsaved(1); }

bool CKXQUIVACaptureModel::DeleteUnsaved() { return MarkUnsaved(0); }

bool CKXQUIVACaptureModel::MarkUnsaved(int present)
{
    std::vector<_KXCaptureFileInfo*> marked;
    {
        AssertWindowThread();
        for (const auto& info : m_files)
            if (!info->saved && info->present != present) {
                info->present = present;
                marked.push_back(info.get());
            }
    }
    return WriteInfoXmlOf(marked);
}

bool CKXQUIVACaptureModel::TogglePresent(int index)
{
    std::vector<_KXCaptureFileInfo*> marked;
    {
        AssertWindowThread();
        _KXCaptureFileInfo* info = GetFileInfo(index);
        if (!info || info->saved)
            return true;
        info->present = info->present ? 0 : 1;
        marked.push_back(info);
    }
    return WriteInfoXmlOf(marked);
}

bool CKXQUIVACaptureModel::WriteInfoXmlOf(const std::vector<_KXCaptureFileInfo*>& marked)
{
    // The marked records grouped by their folder once: by the folder as their paths spell it,
    // and each spelling resolved once to its key, so the file-system lookups grow with the
    // folders, not with the records.
    struct Folder {
        CString path;
        std::vector<_KXCaptureFileInfo*> records;
    };
    std::vector<Folder> folders;
    std::unordered_map<std::wstring, size_t> bySpelling, byKey;
    std::wstring_view last;  // the folder of the record before, whose group is `group`
    size_t group = 0;
    for (_KXCaptureFileInfo* info : marked) {
        const std::wstring& path = info->path.str();
        size_t cut = path.size();  // just after the last separator
        while (cut > 0 && path[cut - 1] != L'\\' && path[cut - 1] != L'/')
            --cut;
        if (cut <= 1)
            continue;
        --cut;
        const std::wstring_view folder(path.data(), cut);
        if (folder != last) {
            const auto [spelt, newSpelling] = bySpelling.try_emplace(std::wstring(folder), folders.size());
            if (newSpelling) {
                const auto [keyed, newKey] = byKey.try_emplace(PathKey(CString(folder), true).str(), folders.size());
                if (newKey)
                    folders.push_back({CString(folder), {}});
                spelt->second = keyed->second;
            }
            group = spelt->second;
            last = folder;
        }
        folders[group].records.push_back(info);
    }
    // A folder that has gone with its files keeps nothing to mark. One whose info.xml could not
    // be written keeps its files' marks as its info.xml has them: the strip shows what a crash
    // or the next open would bring back, never a mark the store does not keep.
    bool kept = true;
    for (const Folder& folder : folders) {
        if (!PathIsDirectoryW(folder.path) || WriteInfoXml(folder.path))
            continue;
        kept = false;
        AssertWindowThread();
        for (_KXCaptureFileInfo* info : folder.records)
            info->present = info->present ? 0 : 1;
    }
    return kept;
}

Gdiplus::Image* CKXQUIVACaptureModel::LoadImageCopy(const CString& path)
{
    // The picture read is the caller's own: it is given as it is, at its own size.
    std::unique_ptr<Gdiplus::Image> loaded(Gdiplus::Image::FromFile(path));
    if (loaded && loaded->GetLastStatus() == Gdiplus::Ok && loaded->GetWidth() > 0 && loaded->GetHeight() > 0)
        return loaded.release();
    // Unreadable: an empty image, listed like any other.
    return new Gdiplus::Bitmap(0, 0);
}

Gdiplus::Image* CKXQUIVACaptureModel::LoadImageAtLeast(const CString& path, UINT width, Gdiplus::Size* own)
{
    Gdiplus::Size size;
    std::unique_ptr<Gdiplus::Image> loaded(Gdiplus::Bitmap::FromFileAtLeast(path, width, 1, &size));
    if (loaded && loaded->GetLastStatus() == Gdiplus::Ok && loaded->GetWidth() > 0 && loaded->GetHeight() > 0) {
        if (own)
            *own = size;
        return loaded.release();
    }
    if (own)
        *own = Gdiplus::Size();
    return new Gdiplus::Bitmap(0, 0);
}

Gdiplus::Image* CKXQUIVACaptureModel::LoadVideoThumbnail(const CString& path)
{
    AVIFileInit();
    PAVISTREAM stream = nullptr;
    if (AVIStreamOpenFromFileW(&stream, path, streamtypeVIDEO, 0, OF_READ, nullptr) != AVIERR_OK || !stream) {
        AVIFileExit();
        return nullptr;
    }
    AVISTREAMINFOW info{};
    const bool haveInfo = AVIStreamInfoW(stream, &info, sizeof info) == AVIERR_OK;
    AVIStreamRelease(stream);
    AVIFileExit();
    if (!haveInfo)
        return nullptr;
    const float w = static_cast<float>(info.rcFrame.right - info.rcFrame.left);
    const float h = static_cast<float>(info.rcFrame.bottom - info.rcFrame.top);
    CKXMXVideoModel grabber;
    return grabber.GetThumbnail(path, w, h);
}

void CKXQUIVACaptureModel::PlaySound(int id)
{
    PlaySoundW(MAKEINTRESOURCEW(id), m_hSoundModule, SND_RESOURCE | SND_ASYNC);
}

void CKXQUIVACaptureModel::SetFileListener(std::unique_ptr<CKXCaptureFileListener> listener)
{
    {
        std::lock_guard lock(m_recordLock);
        m_pFileListener.swap(listener);
    }
    // The one replaced goes outside the lock.
}

void CKXQUIVACaptureModel::AppendAndShow(std::unique_ptr<_KXCaptureFileInfo> info, const CString& folder)
{
    int newest;
    {
        AssertWindowThread();
        m_files.push_back(std::move(info));
        newest = static_cast<int>(m_files.size()) - 1;
    }
    WriteInfoXml(folder);
    if (m_pFileListener) {
        m_pFileListener->Relayout();
        m_pFileListener->ShowNewest(newest);
    }
}

void CKXQUIVACaptureModel::KeepPicture(_KXCaptureFileInfo* info, Gdiplus::Image& picture)
{
    if (m_pFileListener) {
        m_pFileListener->KeepPicture(info, picture);
        return;
    }
    KeepWhole(info, picture.Clone());
}

void CKXQUIVACaptureModel::KeepFile(_KXCaptureFileInfo* info)
{
    if (m_pFileListener) {
        m_pFileListener->KeepFile(info);
        return;
    }
    KeepWhole(info, LoadImageCopy(info->path));
}

void CKXQUIVACaptureModel::NoteFile(_KXCaptureFileInfo* info, const Gdiplus::Size* own)
{
    if (m_pFileListener && own) {
        m_pFileListener->NoteFile(info, static_cast<UINT>(own->Width), static_cast<UINT>(own->Height));
        return;
    }
    KeepFile(info);
}

void CKXQUIVACaptureModel::KeepWhole(_KXCaptureFileInfo* info, Gdiplus::Image* picture)
{
    info->image.reset(picture);
    info->pictureDeferred = false;
    info->cellPicture.reset();
    info->width = info->height = 0;
}

void CKXQUIVACaptureModel::RelayoutView()
{
    if (m_pFileListener)
        m_pFileListener->Relayout();
}

namespace {

// The picture of a packed DIB; null when it cannot be read. The usual capture frame, 32-bit
// rows without a colour table, is turned top row first and opaque where it lies and drawn from
// there: the picture then lives no longer than `dib`. Any other frame is copied.
Gdiplus::Image* PictureOf(BYTE* dib)
{
    if (!dib)
        return nullptr;
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    BYTE* bits = dib + h.biSize + 4u * quiva::DibColorCount(h);
    const int64_t rows = quiva::DibRows(h.biHeight);
    if (h.biCompression == BI_RGB && h.biBitCount == 32 && h.biWidth > 0 && rows > 0 &&
        quiva::ImageSizeOk(h.biWidth, rows)) {
        const size_t width = static_cast<size_t>(h.biWidth);
        auto* px = reinterpret_cast<uint32_t*>(bits);
        // One pass: each pair of rows swapped (a bottom-up frame) and made opaque together.
        const bool turn = h.biHeight > 0;
        for (int64_t y = 0, z = rows - 1; y <= z; ++y, --z) {
            uint32_t* a = px + static_cast<size_t>(y) * width;
            uint32_t* b = px + static_cast<size_t>(z) * width;
            if (!turn || y == z) {
                for (size_t x = 0; x < width; ++x)
                    a[x] |= 0xFF000000u, b[x] |= 0xFF000000u;
                continue;
            }
            for (size_t x = 0; x < width; ++x) {
                const uint32_t t = a[x];
                a[x] = b[x] | 0xFF000000u;
                b[x] = t | 0xFF000000u;
            }
        }
        std::unique_ptr<Gdiplus::Bitmap> picture(new Gdiplus::Bitmap(
            h.biWidth, static_cast<INT>(rows), h.biWidth * 4, Gdiplus::PixelFormat32bppPARGB, bits));
        if (picture->GetLastStatus() == Gdiplus::Ok && picture->GetWidth() > 0)
            return picture.release();
        return nullptr;
    }
    std::unique_ptr<Gdiplus::Bitmap> picture(
        Gdiplus::Bitmap::FromBITMAPINFO(reinterpret_cast<const BITMAPINFO*>(dib), const_cast<BYTE*>(bits)));
    if (!picture || picture->GetLastStatus() != Gdiplus::Ok || picture->GetWidth() == 0)
        return nullptr;
    return picture.release();
}

}  // namespace

bool CKXQUIVACaptureModel::CaptureResultMessage(CaptureResult result, CString* text, CString* caption)
{
    switch (result) {
    case CaptureResult::StillNotFiled:
        *text = kStillNotFiled;
        break;
    case CaptureResult::RecordingRefused:
        *text = kRecordingRefused;
        break;
    case CaptureResult::RecordingStoppedDiskFull:
        *text = kRecordingStoppedDiskFull;
        *caption = kDiskFullCaption;
        return true;
    case CaptureResult::Done:
        return false;
    }
    *caption = kCaptureErrorCaption;
    return true;
}

CKXQUIVACaptureModel::CaptureResult CKXQUIVACaptureModel::CaptureStill()
{
    if (!m_pEngine || !m_pEngine->m_bRunning)
        return CaptureResult::Done;
    if (IsSaving()) {
        // Pressed again and again while nothing seemed to happen: one still, after the save.
        m_stillAfterSave = true;
        return CaptureResult::Done;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    const CString folder = BuildStudyFolder();
    // A folder that cannot be made (a file in its place, a name too long) takes no still.
    const CString bmp = Store().NewStillName(folder, now);
    if (!bmp.IsEmpty())
        NameChartIn(folder);
    // A grab that gave no file lists nothing and makes no shutter sound; nothing of it stays,
    // and the person is told (by the windows).
    BYTE* dib = nullptr;
    if (bmp.IsEmpty() || !m_pEngine->SaveSnapshot(bmp, &dib) || GetFileAttributesW(bmp) == INVALID_FILE_ATTRIBUTES) {
        std::free(dib);
        if (!bmp.IsEmpty())
            Store().RemoveCapture(bmp);
        RemoveEmptyFolders();
        OutputDebugStringW(L"CaptureStill: no picture was grabbed\n");
        return CaptureResult::StillNotFiled;
    }
    PlaySound(IDW_CAPTURE_STILL);
    // The picture the BMP was written from serves the JPEG and the strip: nothing is read back,
    // and the frame's memory is the picture's.
    std::unique_ptr<BYTE, decltype(&std::free)> frame(dib, &std::free);
    std::unique_ptr<Gdiplus::Image> picture(PictureOf(dib));
    if (m_pConfig)
        m_bJpeg = m_pConfig->GetOptions().m_bSaveJpegFormat;
    CString path = bmp;
    if (m_bJpeg)
        path = Store().KeepAsJpeg(picture.get(), folder, bmp, m_pConfig ? m_pConfig->GetOptions().m_nJpegQuality : 100);
    // A kept BMP is on the disk before info.xml lists it, as a JPEG is: the engine flushed it
    // before giving it its name.
    auto info = MakeRecord(path, m_strStudyName, m_strStudyDate, FileKind::Still);
    if (picture)
        KeepPicture(info.get(), *picture);
    else
        KeepFile(info.get());
    picture.reset();
    frame.reset();
    AppendAndShow(std::move(info), folder);
    return CaptureResult::Done;
}

CKXQUIVACaptureModel::RecordingStart CKXQUIVACaptureModel::StartRecording(int limitSeconds)
{
    if (!m_pEngine)
        return RecordingStart::NoEngine;
    if (m_pConfig && !m_pConfig->GetOptions().m_bUseVideo)
        return CaptureStill() == CaptureResult::Done ? RecordingStart::Started : RecordingStart::StillNotFiled;
    // A second start while a recording or its stop is pending would take over the first one's
    // file and timer.
    if (IsRecordingPending() || m_pEngine->IsRecordingOpen()) {
        OutputDebugStringW(L"StartRecording: a recording is still running\n");
        return RecordingStart::NotStarted;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    const CString folder = BuildStudyFolder();
    const CString path = Store().NewRecordingName(folder, now);
    const int seconds = m_pConfig ? m_pConfig->GetOptions().m_nRecordLimitTime : limitSeconds;
    m_pEngine->SetRecordFile(path, KX_RECORD_FRAME_RATE, 0);
    // A start the engine refuses starts no timer and plays no sound (the engine leaves no file).
    if (path.IsEmpty() || !m_pEngine->StartRecording()) {
        OutputDebugStringW(L"StartRecording: the recording did not start\n");
        return RecordingStart::NotStarted;
    }
    NameChartIn(folder);
    NotifyWindow();
    m_strRecordFolder = folder;
    m_strRecordStudy = m_strStudyName;
    m_strRecordDate = m_strStudyDate;
    bool started;
    {
        std::lock_guard lock(m_recordLock);
        m_recording.limit = static_cast<UINT>(std::max(0, seconds)) * 1000u;
        m_recording.start = GetTickCount();
        // The first tick waits for the lock: it finds the recording running.
        started = CreateTimerQueueTimer(&m_recording.timer, nullptr, RecordTimerProc, this, 0, 10,
                                        WT_EXECUTEINTIMERTHREAD) &&
                  m_recording.Move(Recording::State::Running);
        if (!started)
            m_recording.timer = nullptr;
    }
    if (!started) {
        // No tick would ever write a frame: the recording is refused like any other, and the
        // file the engine opened for it, which holds nothing of the patient, goes with it.
        OutputDebugStringW(L"StartRecording: no recording timer, the recording is refused\n");
        if (const CString opened = m_pEngine->EndRecording(); !opened.IsEmpty())
            Store().RemoveRecording(opened);
        RemoveEmptyFolders();
        return RecordingStart::NotStarted;
    }
    PlaySound(IDW_RECORD_START);
    return RecordingStart::Started;
}

void CKXQUIVACaptureModel::CommitAndTell(const Teller& tell, bool tellResult)
{
    const std::weak_ptr<const bool> alive = m_lifetime;
    ++m_savesUnderWay;
    CString text, caption;
    if (CommitResultMessage(Commit(), &text, &caption) && tellResult) {
        OutputDebugStringW(L"Commit: told \"" + caption + L"\": " + text + L"\n");
        tell(text, caption);
    }
    const CString missed = GetPacsMissedMessage();
    if (!missed.IsEmpty())
        tell(missed, KX_PACS_MISSED_CAPTION);
    if (alive.expired() || --m_savesUnderWay > 0 || !std::exchange(m_stillAfterSave, false))
        return;
    OutputDebugStringW(L"Commit: the still asked for during the save is taken\n");
    if (CaptureResultMessage(CaptureStill(), &text, &caption))
        tell(text, caption);
}
