// Rectangle helpers in the Windows shape, shared by the window system and drawing.
#pragma once
#include "platform/base/wintypes.h"

BOOL SetRect(LPRECT rc, int left, int top, int right, int bottom);
BOOL SetRectEmpty(LPRECT rc);
BOOL CopyRect(LPRECT dst, const RECT* src);
BOOL IsRectEmpty(const RECT* rc);
BOOL PtInRect(const RECT* rc, POINT pt);
BOOL OffsetRect(LPRECT rc, int dx, int dy);
BOOL InflateRect(LPRECT rc, int dx, int dy);
// FALSE and an empty result when the rectangles do not overlap.
BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b);
BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b);
BOOL EqualRect(const RECT* a, const RECT* b);
