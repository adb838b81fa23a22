// Sink for the database classes' messages. Levels: 1 error, 3 information, 4 the statement text
// of a failed Execute. tag is the caller's number, passed through.
#pragma once

#include "platform/base/CString.h"

class CKXDataLog {
public:
    virtual ~CKXDataLog() = default;
    virtual void Log(CString message, int level, int tag) = 0;
};
