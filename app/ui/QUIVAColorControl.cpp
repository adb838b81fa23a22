#include "app/ui/QUIVAColorControl.h"

#include "app/model/CKXQUIVAConfig.h"
#include "capture/CKXMCapture.h"

void QUIVAApplyColorOption(CKXMCapture& engine, const CKXQUIVAConfig& config)
{
    engine.m_bColorControl = config.GetOptions().m_bApplyColor;
}
