/* Put in front of the platform library in the stand-in host (LD_PRELOAD): every timer-queue timer
   is refused, as in a process that can start no more threads. Only a recording asks for one. */
#include <stddef.h>

/* CreateTimerQueueTimer(PHANDLE, HANDLE, WAITORTIMERCALLBACK, PVOID, DWORD, DWORD, ULONG) */
int _Z21CreateTimerQueueTimerPPvS_PFvS_hES_jjj(void** timer, void* queue, void (*callback)(void*, unsigned char),
                                               void* parameter, unsigned due, unsigned period, unsigned flags)
{
    (void)queue, (void)callback, (void)parameter, (void)due, (void)period, (void)flags;
    if (timer)
        *timer = NULL;
    return 0;
}
