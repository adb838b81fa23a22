#include "app/ui/CKXQUIVATitleBar.h"

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVAConfig.h"
#include "app/model/CKXSendDicomModel.h"
#include "app/model/QUIVAModuleInstance.h"
#include "app/ui/KXQUIVASettingDialog.h"
#include "app/ui/QUIVAColorControl.h"
#include "app/ui/QUIVAKeyboardHook.h"
#include "app/ui/QUIVATell.h"
#include "capture/CKXMCapture.h"
#include "framework/CKXCtrlCursor.h"
#include "framework/CKXFrameWnd.h"
#include "platform/base/clock.h"
#include "platform/ui/CWnd.h"

using namespace Gdiplus;

CKXQUIVATitleBar::CKXQUIVATitleBar() = default;
CKXQUIVATitleBar::~CKXQUIVATitleBar() = default;

namespace {

void SetIcon(CKXCtrlButton& button, HMODULE module, int iconId, int size)
{
    if (!module)
        return;
    if (button.icon)
        DestroyIcon(button.icon);
    button.icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, 0));
    button.iconWidth = button.iconHeight = size;
}

// A button with a caption takes the strip's height and a smaller icon, so that the caption has a
// whole line under it.
void MakeButton(CKXCtrlButton& button, int id, float x, HMODULE module, int iconId, const wchar_t* caption, const wchar_t* tip)
{
    if (caption) {
        button.Create(id, x, 1, 36, 38);
        SetIcon(button, module, iconId, 18);
    } else {
        button.Create(id, x, 3, 36, 32);
        SetIcon(button, module, iconId, 32);
    }
    button.layout = caption ? 2 : 1;
    if (caption)
        button.SetCaption(caption);
    button.SetText(tip);
}

}  // namespace

int CKXQUIVATitleBar::Create(int newId, float px, float py, float w, float h)
{
    CKXCtrlWnd::Create(newId, px, py, w, h);
    HMODULE module = QUIVAModuleInstance();
    MakeButton(closeButton, IDC_TITLE_CLOSE, 5, module, 10007, L"종료", L"영상 얻기를 종료합니다.");
    MakeButton(saveButton, IDC_TITLE_SAVE, 45, module, 10008, L"저장", L"획득한 영상을 저장합니다.");
    MakeButton(stillButton, IDC_TITLE_STILL, 85, module, 10006, nullptr, L"정지영상으로 저장합니다.");
    MakeButton(videoButton, IDC_TITLE_VIDEO, 125, module, 10010, nullptr, L"동영상으로 저장합니다.");
    studyCombo.Create(IDC_TITLE_STUDY, 170, 3, 200, 32);
    studyCombo.listOnly = 1;
    studyCombo.SetText(L"검사명을 지정합니다.");
    sourceCombo.Create(IDC_TITLE_SOURCE, 395, 3, 240, 32);
    sourceCombo.listOnly = 1;
    sourceCombo.SetText(L"입력소스를 지정합니다.");
    recordTimer.Create(IDC_TITLE_RECORD_TIMER, 395, 3, 200, 32);
    recordTimer.visible = 0;
    MakeButton(settingsButton, IDC_TITLE_SETTINGS, 640, module, 10009, nullptr, L"각종 설정을 구성합니다.");
    noPreventCheck.Create(IDC_TITLE_NOPREVENT, 680, 3, 100, 32);
    noPreventCheck.SetCaption(L"방해받지 않기");
    noPreventCheck.checked = g_bNoPrevent ? 1 : 0;
    noPreventCheck.SetText(L"다른 Windows창에 Focus가 가더라도 영상획득은 유지됩니다.");
    for (CKXCtrl* c : std::initializer_list<CKXCtrl*>{&closeButton, &saveButton, &stillButton, &videoButton, &studyCombo,
                                                     &sourceCombo, &settingsButton, &recordTimer, &noPreventCheck})
        AddControl(c);
    return 1;
}

void CKXQUIVATitleBar::ShowRecordingState(CKXCtrlCursor* ctx)
{
    const int recording = engine && engine->m_bRecording ? 1 : 0;
    const bool changed = recordTimer.visible != recording;
    settingsButton.visible = !recording;
    sourceCombo.visible = !recording;
    recordTimer.visible = recording;
    if (changed && ctx && ctx->host && ctx->host->GetSafeHwnd())
        ::InvalidateRect(ctx->host->GetSafeHwnd(), nullptr, FALSE);
}

void CKXQUIVATitleBar::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    ShowRecordingState(nullptr);
    CKXCtrlWnd::Draw(g, offsetX, offsetY, hint, ctx);
}

// A recording that ended by its time limit asks for no repaint: the mouse finds the controls
// of the moment all the same, and the bar is repainted to show them.
int CKXQUIVATitleBar::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    ShowRecordingState(ctx);
    return CKXCtrlWnd::OnLButtonDown(px, py, handled, ctx);
}

int CKXQUIVATitleBar::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    ShowRecordingState(ctx);
    return CKXCtrlWnd::OnMouseMove(px, py, handled, ctx);
}

void CKXQUIVATitleBar::EraseBackground(Graphics* g, CKXCtrlCursor* ctx)
{
    CKXCtrlWnd::EraseBackground(g, ctx);
    if (!g)
        return;
    Pen line(Color(0x28FFFFFFu), 1.0f);
    g->DrawLine(&line, x, y + height - 1, x + width, y + height - 1);
}

void CKXQUIVATitleBar::StampModel()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    CString date;
    date.Format(L"%04d%02d%02d", t.wYear, t.wMonth, t.wDay);
    model->SetStudyName(studyCombo.GetEditText());
    model->SetStudyDate(date);
}

void CKXQUIVATitleBar::OnCommand(int cmd, CKXCtrl*, CKXCtrlCursor* ctx)
{
    switch (cmd) {
    case IDC_TITLE_CLOSE:
        if (ctx && ctx->host && ctx->host->GetSafeHwnd())
            SendMessageW(::GetParent(ctx->host->GetSafeHwnd()), WM_CLOSE, 0, 0);
        break;
    case IDC_TITLE_SAVE:
        Save(ctx);
        break;
    case IDC_TITLE_STILL:
        if (model) {
            StampModel();
            QUIVATellCapture(model->CaptureStill());
        }
        break;
    case IDC_TITLE_VIDEO:
        if (!model)
            break;
        StampModel();
        if (engine && engine->m_bRunning)
            QUIVATellCapture(model->ToggleRecording());
        break;
    case IDC_TITLE_SOURCE:
        ChangeSource();
        break;
    case IDC_TITLE_SETTINGS:
        RunSettings(ctx);
        break;
    case IDC_TITLE_NOPREVENT:
        g_bNoPrevent = noPreventCheck.checked ? 1 : 0;
        // The capture keys follow the box at once, not at the window's next activation change.
        if (ctx && ctx->host && ctx->host->GetSafeHwnd()) {
            if (auto* frame = dynamic_cast<CKXFrameWnd*>(CWnd::FromHandlePermanent(::GetParent(ctx->host->GetSafeHwnd())))) {
                frame->RefreshCaptionFlags();
                frame->OnActivateChanged(frame->captionBar.active);
            }
        }
        break;
    default:  // the study arrives through OnValueChanged
        break;
    }
}

void CKXQUIVATitleBar::Save(CKXCtrlCursor*)
{
    if (!model)
        return;
    model->CommitAndTell(QUIVATellerOf(*model));
}

void CKXQUIVATitleBar::RunSettings(CKXCtrlCursor* ctx)
{
    // The keys act again afterwards only over a running preview (the pages may have changed it).
    WithoutCaptureKeys(
        [this] {
            KXQUIVARunSettingDialog(engine, config);
            // The pages have applied; the study list shows the names as the study page left them.
            studyCombo.ReloadStudies();
        },
        [this] { return engine && engine->m_bRunning; });
    if (ctx && ctx->host && ctx->host->GetSafeHwnd())
        ::InvalidateRect(ctx->host->GetSafeHwnd(), nullptr, FALSE);
}

void CKXQUIVATitleBar::ChangeSource()
{
    if (!engine)
        return;
    CString chosen = sourceCombo.GetEditText();
    if (chosen.CompareNoCase(engine->GetCurrentDeviceName()) == 0)
        return;
    HWND video = engine->m_hPreviewWnd;
    _KXCaptureStudyConfig s;
    if (config) {
        s = config->GetDeviceSettings(chosen);
        engine->SetRequestedFormat(s.width, s.height, s.fps, s.mediaType);
        QUIVAApplyColorOption(*engine, *config);
    }
    // Selected without a window, so the graph is built for the chosen input: with one, the
    // engine only ties the running graph of the old input to the window again.
    if (!engine->SelectDevice(chosen, nullptr)) {
        // A source that did not start leaves no hook behind and a black preview.
        RemoveKeyboardHook();
        if (video)
            ::InvalidateRect(video, nullptr, TRUE);
        return;
    }
    if (config)
        engine->SetColorControls(s.hue, s.saturation, s.brightness, s.contrast);
    engine->Start(video);
}

void CKXQUIVATitleBar::OnValueChanged(int cmd, CKXCtrl* sender, CKXCtrlCursor*)
{
    if (cmd == IDC_TITLE_STUDY && model && sender)
        model->SetStudyName(studyCombo.GetEditText());
}

void CKXQUIVATitleBar::SetModel(CKXQUIVACaptureModel* newModel)
{
    model = newModel;
    if (model) {
        // A model without a study yet takes the one the combo offers, so that what the bar
        // shows is what the capture keys and the buttons file under.
        if (model->GetStudyName().IsEmpty())
            model->SetStudyName(studyCombo.GetEditText());
        studyCombo.SetEditText(model->GetStudyName(), nullptr);
    }
    saveButton.enabled = stillButton.enabled = videoButton.enabled = model ? 1 : 0;
}

void CKXQUIVATitleBar::UpdateSource()
{
    sourceCombo.dropList.RemoveAll();
    if (!engine)
        return;
    CString current = engine->GetCurrentDeviceName();
    for (int i = 0; i < engine->GetDeviceCount(); ++i) {
        CString name = engine->GetDeviceName(i);
        sourceCombo.AddItem(name, 0);
        if (name.CompareNoCase(current) == 0)
            sourceCombo.SetEditText(name, nullptr);
    }
}
