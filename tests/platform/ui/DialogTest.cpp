#include "platform/ui/dialog.h"

#include "tests/platform/ui/UiTestSupport.h"

using namespace quiva::test;

namespace {
using Dialogs = UiTest;

// What the dialog procedure under test saw and does.
struct Script {
    std::vector<UINT> seen;
    LPARAM init = 0;
    BOOL ownerEnabledAtClick = TRUE;
    HWND owner = nullptr;
    int clicksToEnd = 1;
    INT_PTR endWith = IDOK;
    LRESULT hitAnswer = 0;
};
Script* g_script = nullptr;

INT_PTR CALLBACK ScriptedProc(HWND hwnd, UINT msg, WPARAM, LPARAM lParam)
{
    Script& s = *g_script;
    s.seen.push_back(msg);
    switch (msg) {
    case WM_INITDIALOG:
        s.init = lParam;
        return TRUE;
    case WM_NCHITTEST:
        if (s.hitAnswer) {
            quiva::ui::SetDialogMsgResult(hwnd, s.hitAnswer);
            return TRUE;
        }
        return FALSE;
    case WM_LBUTTONUP:
        s.ownerEnabledAtClick = s.owner ? IsWindowEnabled(s.owner) : TRUE;
        if (--s.clicksToEnd == 0)
            EndDialog(hwnd, s.endWith);
        return TRUE;
    }
    return FALSE;
}

DLGTEMPLATE Template(DWORD style = WS_POPUP | WS_VISIBLE)
{
    DLGTEMPLATE t{};
    t.style = style;
    t.x = 100;
    t.y = 100;
    t.cx = 300;
    t.cy = 200;
    return t;
}
}  // namespace

TEST_F(Dialogs, ModalDialogProcessesQueuedInputAndReturnsTheEndCode)
{
    Script script;
    g_script = &script;
    HWND owner = Top(0, 0, 800, 600);
    script.owner = owner;
    script.clicksToEnd = 2;
    script.endWith = IDYES;

    // Input queued before the dialog exists is handled by its loop.
    quiva::ui::InjectClick(150, 150);
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectClick(160, 150);
    const DLGTEMPLATE t = Template();
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &t, owner, ScriptedProc, 1234), IDYES);
    EXPECT_EQ(script.init, 1234);
    EXPECT_EQ(script.seen.front(), static_cast<UINT>(WM_NCCREATE));
    EXPECT_FALSE(script.ownerEnabledAtClick);
    EXPECT_TRUE(IsWindowEnabled(owner));
    g_script = nullptr;
}

TEST_F(Dialogs, PreTranslateSeesMessagesFirstAndCanSwallowThem)
{
    Script script;
    g_script = &script;
    const DLGTEMPLATE t = Template();
    HWND dialog = CreateDialogIndirectParamW(nullptr, &t, nullptr, ScriptedProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));

    quiva::ui::InjectClick(150, 150);  // swallowed below
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectClick(150, 150);
    int upsSeen = 0;
    const INT_PTR r = quiva::ui::RunModalDialog(dialog, [&](MSG* m) {
        if (m->message != WM_LBUTTONUP)
            return false;
        return ++upsSeen == 1;
    });
    EXPECT_EQ(r, IDOK);
    EXPECT_EQ(upsSeen, 2);
    // The loop leaves the ended dialog to its caller, hidden.
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_FALSE(IsWindowVisible(dialog));
    DestroyWindow(dialog);
    g_script = nullptr;
}

TEST_F(Dialogs, HandledMessagesAnswerTheSetResultAndCloseCancels)
{
    Script script;
    g_script = &script;
    const DLGTEMPLATE t = Template(WS_POPUP);
    HWND dialog = CreateDialogIndirectParamW(nullptr, &t, nullptr, ScriptedProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowVisible(dialog));
    script.hitAnswer = HTCAPTION;
    EXPECT_EQ(SendMessageW(dialog, WM_NCHITTEST, 0, MAKELPARAM(150, 150)), HTCAPTION);
    script.hitAnswer = 0;
    EXPECT_NE(SendMessageW(dialog, WM_NCHITTEST, 0, MAKELPARAM(150, 150)), HTCAPTION);

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(quiva::ui::RunModalDialog(dialog), IDCANCEL);
    EXPECT_FALSE(EndDialog(GetDesktopWindow(), IDOK));
    DestroyWindow(dialog);
    g_script = nullptr;
}

TEST_F(Dialogs, NestedDialogsAndADialogDestroyedUnderItsLoop)
{
    Script outer;
    g_script = &outer;
    const DLGTEMPLATE t = Template();
    HWND first = CreateDialogIndirectParamW(nullptr, &t, nullptr, ScriptedProc, 0);
    ASSERT_NE(first, nullptr);
    // A dialog destroyed while its loop runs ends the loop with -1.
    PostMessageW(first, WM_USER, 0, 0);
    INT_PTR innerResult = 0;
    const INT_PTR r = quiva::ui::RunModalDialog(first, [&](MSG* m) {
        if (m->message == WM_USER) {
            // A second dialog runs nested inside the first one's loop.
            Script inner;
            inner.endWith = IDNO;
            g_script = &inner;
            const DLGTEMPLATE t2 = Template();
            quiva::ui::InjectClick(120, 120);
            innerResult = DialogBoxIndirectParamW(nullptr, &t2, first, ScriptedProc, 0);
            g_script = &outer;
            DestroyWindow(first);
            return true;
        }
        return false;
    });
    EXPECT_EQ(innerResult, IDNO);
    EXPECT_EQ(r, -1);
    EXPECT_FALSE(IsWindow(first));
    g_script = nullptr;
}
