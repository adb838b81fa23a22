// Everything of platform/base that most code needs.
#pragma once
#include "platform/base/CArray.h"
#include "platform/base/CString.h"
#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/handle.h"
#include "platform/base/lasterror.h"
#include "platform/base/registry.h"
#include "platform/base/wformat.h"
#include "platform/base/winpath.h"
#include "platform/base/wintypes.h"
