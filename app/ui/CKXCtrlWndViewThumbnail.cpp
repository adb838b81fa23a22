#include "app/ui/CKXCtrlWndViewThumbnail.h"

#include "framework/CKXCtrlCursor.h"
#include "framework/CKXWndPopup.h"

using namespace Gdiplus;

void CKXCtrlWndViewThumbnail::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor*)
{
    if (!g || !image)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    g->SetInterpolationMode(InterpolationModeHighQualityBicubic);
    g->DrawImage(image, ScaleDrawRect(Rect(), scale, offsetX, offsetY));
}

int CKXCtrlWndViewThumbnail::OnLButtonDown(float, float, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (handled)
        *handled = 1;
    // A press anywhere ends the popup's modal loop.
    if (ctx && ctx->host) {
        if (auto* popup = dynamic_cast<CKXWndPopup*>(ctx->host))
            popup->ClosePopup();
    }
    return 1;
}
