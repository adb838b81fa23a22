// File times (100 ns intervals since 1601-01-01 UTC) as calendar times.
#pragma once

#include "platform/base/wintypes.h"

// UTC file time to the local time zone's file time (the zone's offset at that moment).
BOOL FileTimeToLocalFileTime(const FILETIME* utc, LPFILETIME local);
// A file time as year, month, day, hour... (no zone applied); FALSE past year 30827.
BOOL FileTimeToSystemTime(const FILETIME* time, LPSYSTEMTIME out);
BOOL SystemTimeToFileTime(const SYSTEMTIME* time, LPFILETIME out);
