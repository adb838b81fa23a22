#include "app/ui/QUIVATell.h"

#include "framework/CKXMsgBox.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"

std::function<void(const CString&, const CString&)> quivaTellReplacement;

void QUIVATell(const CString& text, const CString& caption)
{
    OutputDebugStringW(L"Told \"" + caption + L"\": " + text + L"\n");
    if (quivaTellReplacement) {
        quivaTellReplacement(text, caption);
        return;
    }
    CKXMsgBox box;
    box.Show(text, caption, 0);
}

CKXQUIVACaptureModel::Teller QUIVATellerOf(const CKXQUIVACaptureModel& model, CKXQUIVACaptureModel::Teller tell)
{
    // Control characters the clinic records may hold are shown as blanks, as in the caption.
    CString whose = L"차트 " + CString(quiva::ReplaceControlCharacters(model.GetChartNo().str(), L' '));
    if (!model.GetPatientName().IsEmpty())
        whose += L" " + CString(quiva::ReplaceControlCharacters(model.GetPatientName().str(), L' '));
    return [whose, tell = std::move(tell)](const CString& text, const CString& caption) {
        tell(whose + L": " + text, caption);
    };
}

void QUIVATellCapture(CKXQUIVACaptureModel::CaptureResult result)
{
    CString text, caption;
    if (CKXQUIVACaptureModel::CaptureResultMessage(result, &text, &caption))
        QUIVATell(text, caption);
}

namespace {

// What the window's show could not read from the clinic database, told once the window is up.
void TellAtShow(const CString& text)
{
    const CString caption = L"데이터베이스 오류";
    OutputDebugStringW(L"Show: told \"" + caption + L"\": " + text + L"\n");
    QUIVATell(text, caption);
}

}  // namespace

void QUIVATellDatabaseHeld()
{
    TellAtShow(L"다른 프로그램이 데이터베이스를 사용하고 있어 환자 정보와 검사명을 불러오지 못했습니다. "
               L"촬영한 영상은 잠시 후 저장하십시오.");
}

void QUIVATellDatabaseUnreachable()
{
    TellAtShow(L"데이터베이스에 연결할 수 없어 환자 정보와 검사명을 불러오지 못했습니다. "
               L"촬영한 영상은 데이터베이스 설정과 연결을 확인한 후 저장하십시오.");
}
