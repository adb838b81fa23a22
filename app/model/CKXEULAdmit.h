// The usage record: at every load the module writes its file version and the date of the load
// under HKEY_LOCAL_MACHINE\SOFTWARE\Kexano\ServiceLink\Custom\QUIVACapture ("version",
// "lastUse"). Nothing reads it back; every failure is silent.
#pragma once

#include "platform/base/wintypes.h"

class CKXEULAdmit {
public:
    CKXEULAdmit() = default;
    virtual ~CKXEULAdmit() = default;

    // 0 when the module file has no version information (nothing is written), else 1, whatever
    // the registry allowed.
    BOOL Record();
};
