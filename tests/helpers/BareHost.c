/* A clinic-records program that links nothing of ours: it loads QUIVA.Capture.dll alone (the
   platform library comes in as the module's dependency), shows the capture window modal, and,
   from inside the module's loop, closes the window and frees the module in one go.

   The module's exports take no call back, and the program has no window of its own, so to be
   called inside the loop it takes the least of the window system it needs by symbol, through
   the module's handle, as a program calls its system's: a thread timer (SetTimer, KillTimer),
   and, after ShowModal has returned, one look at its message queue (PeekMessageW), as the next
   turn of a program's own message loop would.

     BareHost MODULE CHART DATE

   Prints "showmodal returned", then, after the look at the queue, "module mapped: yes|no" from
   /proc/self/maps. Exit status: 0 done, 2 the module or a symbol could not be had, 3 the window
   never showed. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

typedef int (*ShowModalCall)(const char*, const char*);
typedef int (*CloseCall)(void);
typedef int (*IsShowCall)(void);
typedef void (*TimerProc)(void*, unsigned, unsigned long, unsigned);
typedef unsigned long (*SetTimerCall)(void*, unsigned long, unsigned, TimerProc);
typedef int (*KillTimerCall)(void*, unsigned long);
typedef int (*PeekMessageCall)(void*, void*, unsigned, unsigned, unsigned);

static void* g_module;
static CloseCall g_close;
static IsShowCall g_isShow;
static KillTimerCall g_killTimer;
static unsigned long g_timer;
static int g_ticks, g_freed;

/* Every 10 ms inside the module's loop: once the window shows, close it and free the module. */
static void Tick(void* window, unsigned message, unsigned long id, unsigned time)
{
    (void)window, (void)message, (void)id, (void)time;
    if (g_freed || (!g_isShow() && ++g_ticks < 6000))
        return;
    g_killTimer(NULL, g_timer);
    g_freed = 1;
    g_close();
    dlclose(g_module);
}

static int MappedNamed(const char* name)
{
    char line[4096];
    int found = 0;
    FILE* maps = fopen("/proc/self/maps", "r");
    while (maps && fgets(line, sizeof line, maps))
        found |= strstr(line, name) != NULL;
    if (maps)
        fclose(maps);
    return found;
}

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    g_module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!g_module) {
        fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    ShowModalCall showModal = (ShowModalCall)dlsym(g_module, "QUIVACaptureShowModal");
    g_close = (CloseCall)dlsym(g_module, "QUIVACaptureClose");
    g_isShow = (IsShowCall)dlsym(g_module, "QUIVACaptureIsShow");
    SetTimerCall setTimer = (SetTimerCall)dlsym(g_module, "_Z8SetTimerP6HWND__mjPFvS0_jmjE");
    g_killTimer = (KillTimerCall)dlsym(g_module, "_Z9KillTimerP6HWND__m");
    PeekMessageCall peekMessage = (PeekMessageCall)dlsym(g_module, "_Z12PeekMessageWP3MSGP6HWND__jjj");
    if (!showModal || !g_close || !g_isShow || !setTimer || !g_killTimer || !peekMessage)
        return 2;
    g_timer = setTimer(NULL, 0, 10, Tick);
    showModal(argv[2], argv[3]);
    printf("showmodal returned\n");
    fflush(stdout);
    long long message[16]; /* room for a MSG, whatever it holds */
    peekMessage(message, NULL, 0, 0, 0);
    printf("module mapped: %s\n", MappedNamed("QUIVA.Capture.dll") ? "yes" : "no");
    fflush(stdout);
    return g_ticks < 6000 ? 0 : 3;
}
