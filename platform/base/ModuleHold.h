// Keeps the shared libraries whose code is on the calling thread's stack loaded while a loop
// that dispatches messages runs above them. A host may free a library from inside such a loop
// (it closes the library's window and frees it in one message); the library's code would then
// be gone under the frames that return into it. With a hold the free only lowers the count: the
// library goes when the hold has ended and ReleaseHeldModules finds no frame of it left on the
// thread's stack, which is where the thread next takes a message. The libraries the program was
// started with, and this one, stay for the life of the process and are never held.
#pragma once

#include <vector>

namespace quiva {

class ModuleHold {
public:
    ModuleHold();
    ~ModuleHold();
    ModuleHold(const ModuleHold&) = delete;
    ModuleHold& operator=(const ModuleHold&) = delete;

    struct Held {
        void* handle;      // a reference of our own (dlopen)
        const void* base;  // where the library lies, as dladdr names it
    };

private:
    std::vector<Held> m_held;
};

// Lets go of the libraries that ended holds left on this thread, each once no code of it is on
// the thread's stack; the last reference going unloads it here. Nothing when none is left.
void ReleaseHeldModules();

}  // namespace quiva
