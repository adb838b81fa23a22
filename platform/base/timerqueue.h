// Timer queues: periodic callbacks run on one timer thread per queue, timed by the process
// clock (so a virtual clock in tests drives them). A timer can be deleted from inside its own
// callback, and deleting it from elsewhere can wait for a callback that is running.
#pragma once

#include "platform/base/wintypes.h"

typedef void(CALLBACK* WAITORTIMERCALLBACK)(PVOID parameter, BOOLEAN timerOrWaitFired);

#define WT_EXECUTEDEFAULT 0x00000000
#define WT_EXECUTEINTIMERTHREAD 0x00000020
#define WT_EXECUTEONLYONCE 0x00000008
#define WT_EXECUTELONGFUNCTION 0x00000010
#define ERROR_IO_PENDING 997L

HANDLE CreateTimerQueue();
// completionEvent INVALID_HANDLE_VALUE waits for running callbacks; null does not.
BOOL DeleteTimerQueueEx(HANDLE queue, HANDLE completionEvent);
// queue null: the process's default queue. dueTime and period in milliseconds (period 0: once).
BOOL CreateTimerQueueTimer(PHANDLE timer, HANDLE queue, WAITORTIMERCALLBACK callback, PVOID parameter, DWORD dueTime,
                           DWORD period, ULONG flags);
BOOL ChangeTimerQueueTimer(HANDLE queue, HANDLE timer, ULONG dueTime, ULONG period);
// completionEvent INVALID_HANDLE_VALUE: returns once no callback of the timer runs (from inside
// the callback itself it cannot wait and returns at once). Null: returns at once; FALSE with
// ERROR_IO_PENDING when a callback is still running.
BOOL DeleteTimerQueueTimer(HANDLE queue, HANDLE timer, HANDLE completionEvent);
