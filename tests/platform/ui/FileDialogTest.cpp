#include "platform/ui/filedialogs.h"

#include "platform/ui/dialog.h"

#include <sys/stat.h>

#include <string>

#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TempDir.h"

using namespace quiva::test;

namespace {

const wchar_t kFilter[] = L"GraphFiles(*.grf)\0*.grf\0All Files (*.*)\0*.*\0";

class FileDialog : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        owner = Top(0, 0, 800, 600);
        WriteAll(dir.Native("camera.grf"), "g");
        WriteAll(dir.Native("notes.txt"), "t");
        mkdir(dir.Native("sub").c_str(), 0755);
        WriteAll(dir.Native("sub/inner.grf"), "g");
        folder = dir.Win().GetString();
    }
    void TearDown() override
    {
        quiva::ui::SetFileDialogAnswer({});
        UiTest::TearDown();
    }
    OPENFILENAMEW Request(DWORD flags, const wchar_t* initial = L"*.grf")
    {
        wcscpy(file, initial);
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof(ofn);
        ofn.hwndOwner = owner;
        ofn.lpstrFilter = kFilter;
        ofn.lpstrFile = file;
        ofn.nMaxFile = 260;
        ofn.lpstrInitialDir = folder.c_str();
        ofn.lpstrDefExt = L"grf";
        ofn.Flags = flags;
        return ofn;
    }
    static void Type(const std::wstring& text)
    {
        for (wchar_t ch : text)
            quiva::ui::InjectKeyStroke(ch >= L'a' && ch <= L'z' ? ch - 32 : 0xBE, ch);
    }
    static void Enter() { quiva::ui::InjectKeyStroke(VK_RETURN, L'\r'); }

    TempDir dir;
    std::wstring folder;
    HWND owner = nullptr;
    wchar_t file[260] = {};
};

}  // namespace

TEST_F(FileDialog, OpenReturnsTheTypedOrListedFileAndCancelLeavesNothing)
{
    // Down picks the first listed entry after the parent and the folder: the one matching file.
    OPENFILENAMEW ofn = Request(OFN_FILEMUSTEXIST);
    quiva::ui::InjectKeyStroke(VK_DOWN);
    quiva::ui::InjectKeyStroke(VK_DOWN);
    quiva::ui::InjectKeyStroke(VK_DOWN);
    Enter();
    ASSERT_TRUE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(std::wstring(file), folder + L"\\camera.grf");
    EXPECT_EQ(ofn.nFileOffset, folder.size() + 1);
    EXPECT_EQ(std::wstring(file + ofn.nFileExtension), L"grf");
    EXPECT_TRUE(IsWindowEnabled(owner));

    // Typed into a folder, without the extension: the default one is added.
    ofn = Request(OFN_FILEMUSTEXIST, L"");
    Type(L"sub");
    Enter();
    Type(L"inner");
    Enter();
    ASSERT_TRUE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(std::wstring(file), folder + L"\\sub\\inner.grf");

    ofn = Request(OFN_FILEMUSTEXIST);
    quiva::ui::InjectKeyStroke(VK_ESCAPE);
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_STREQ(file, L"*.grf");
}

// Ctrl+A selects the whole name typed so far: the next character replaces it.
TEST_F(FileDialog, CtrlAThenTypingReplacesTheName)
{
    OPENFILENAMEW ofn = Request(0, L"");
    Type(L"notes");
    quiva::ui::InjectKey(VK_CONTROL, true);
    quiva::ui::InjectKeyStroke('A', 1);
    quiva::ui::InjectKey(VK_CONTROL, false);
    Type(L"camera.grf");
    Enter();
    ASSERT_TRUE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(std::wstring(file), folder + L"\\camera.grf");
}

TEST_F(FileDialog, MissingFilesAndOverwritesAreAskedAbout)
{
    // A missing file is refused with a message (answered with Enter); the dialog stays up.
    OPENFILENAMEW ofn = Request(OFN_FILEMUSTEXIST, L"");
    Type(L"missing.grf");
    Enter();  // the dialog: refused
    Enter();  // the message box
    quiva::ui::InjectKeyStroke(VK_ESCAPE);
    EXPECT_FALSE(GetOpenFileNameW(&ofn));

    // Saving over an existing file: No keeps the dialog, Yes takes it.
    ofn = Request(OFN_OVERWRITEPROMPT, L"");
    Type(L"camera.grf");
    Enter();
    quiva::ui::InjectKeyStroke(VK_TAB);  // Yes -> No
    Enter();
    Enter();  // the field still holds the name: asked again
    Enter();  // Yes
    ASSERT_TRUE(GetSaveFileNameW(&ofn));
    EXPECT_EQ(std::wstring(file), folder + L"\\camera.grf");

    // A new name needs no question.
    ofn = Request(OFN_OVERWRITEPROMPT, L"");
    Type(L"new.grf");
    Enter();
    ASSERT_TRUE(GetSaveFileNameW(&ofn));
    EXPECT_EQ(std::wstring(file), folder + L"\\new.grf");
}

TEST_F(FileDialog, TheTestAnswerIsDeliveredLikeAChoiceAndASmallBufferIsReported)
{
    bool sawSave = false;
    quiva::ui::SetFileDialogAnswer([&](const OPENFILENAMEW& o, bool save) -> std::optional<std::wstring> {
        sawSave = save;
        EXPECT_EQ(o.Flags, static_cast<DWORD>(OFN_FILEMUSTEXIST));
        return std::wstring(L"C:\\graphs\\a.grf");
    });
    OPENFILENAMEW ofn = Request(OFN_FILEMUSTEXIST);
    ASSERT_TRUE(GetSaveFileNameW(&ofn));
    EXPECT_TRUE(sawSave);
    EXPECT_STREQ(file, L"C:\\graphs\\a.grf");
    EXPECT_EQ(ofn.nFileOffset, 10);

    ofn.nMaxFile = 5;
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
    EXPECT_EQ(file[0], 16);

    quiva::ui::SetFileDialogAnswer([](const OPENFILENAMEW&, bool) { return std::optional<std::wstring>(); });
    ofn = Request(0);
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), 0u);

    ofn.lStructSize = 8;
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
}

// The dialog stands in the middle of its owner, and its buttons stay on screen while a name is
// typed into it.
TEST_F(FileDialog, OpensOverItsOwnerAndKeepsItsButtonsWhileANameIsTyped)
{
    OPENFILENAMEW ofn = Request(OFN_FILEMUSTEXIST, L"");
    HWND dialog = nullptr;
    RECT placed{};
    std::vector<uint32_t> buttonsBefore, buttonsAfter;
    // The pixels of the Open and Cancel buttons in the dialog's surface.
    auto buttonPixels = [&] {
        std::vector<uint32_t> pixels;
        quiva::Surface* surface = quiva::ui::WindowSurface(dialog);
        RECT top{};
        GetWindowRect(dialog, &top);
        for (int id : {IDOK, IDCANCEL}) {
            RECT r{};
            GetWindowRect(GetDlgItem(dialog, id), &r);
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    pixels.push_back(surface->At(x - top.left, y - top.top));
        }
        return pixels;
    };
    int stage = 0;
    handlers[WM_TIMER] = [&](HWND, WPARAM, LPARAM, bool*) -> LRESULT {
        HWND active = GetActiveWindow();
        if (active == owner || !active || GetUpdateRect(active, nullptr, FALSE))
            return 0;  // not up, or not painted yet
        dialog = active;
        if (stage == 0) {
            GetWindowRect(dialog, &placed);
            buttonsBefore = buttonPixels();
            Type(L"cam");
        } else if (stage == 1) {
            // Typed (the keys came before this tick) and painted.
            buttonsAfter = buttonPixels();
            quiva::ui::InjectKeyStroke(VK_ESCAPE);
        }
        ++stage;
        return 0;
    };
    SetTimer(owner, 1, 1, nullptr);
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    KillTimer(owner, 1);
    ASSERT_GE(stage, 2);
    EXPECT_NEAR((placed.left + placed.right) / 2, 400, 1);
    EXPECT_NEAR((placed.top + placed.bottom) / 2, 300, 1);
    ASSERT_FALSE(buttonsBefore.empty());
    EXPECT_EQ(buttonsAfter, buttonsBefore);
}

// A folder of the file system is shown with its own '/' separators, which the Korean font draws
// as they are ('\' it draws as the won sign): the folder given in the Windows form shows the same
// line as the folder given natively.
TEST_F(FileDialog, ShowsANativeFolderWithItsOwnSeparators)
{
    // The top rows of the dialog's surface, down to the name field: its title and folder line.
    auto folderLine = [&](const std::wstring& initialDir) {
        OPENFILENAMEW ofn = Request(OFN_FILEMUSTEXIST, L"");
        ofn.lpstrInitialDir = initialDir.c_str();
        std::vector<uint32_t> pixels;
        handlers[WM_TIMER] = [&](HWND, WPARAM, LPARAM, bool*) -> LRESULT {
            HWND active = GetActiveWindow();
            if (active == owner || !active || GetUpdateRect(active, nullptr, FALSE) || !pixels.empty())
                return 0;  // not up, or not painted yet
            quiva::Surface* surface = quiva::ui::WindowSurface(active);
            POINT field{0, 30};
            ClientToScreen(active, &field);
            RECT window{};
            GetWindowRect(active, &window);
            for (int y = 0; y < field.y - window.top; ++y)
                for (int x = 0; x < surface->Width(); ++x)
                    pixels.push_back(surface->At(x, y));
            quiva::ui::InjectKeyStroke(VK_ESCAPE);
            return 0;
        };
        SetTimer(owner, 1, 1, nullptr);
        EXPECT_FALSE(GetOpenFileNameW(&ofn));
        KillTimer(owner, 1);
        handlers.erase(WM_TIMER);
        return pixels;
    };
    ASSERT_EQ(folder.rfind(L'\\', 0), 0u) << "not a native folder in the Windows form";
    const std::string native = dir.path();
    const std::vector<uint32_t> windowsForm = folderLine(folder);
    const std::vector<uint32_t> nativeForm = folderLine(std::wstring(native.begin(), native.end()));
    ASSERT_FALSE(windowsForm.empty());
    EXPECT_EQ(windowsForm, nativeForm);
}
