// LeakSanitizer: allocations that system libraries keep for the life of the process (font
// configuration, font maps and type registries). Only system libraries belong here. Compiled
// into every test program.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libpango-1.0.so\n"
           "leak:libpangoft2-1.0.so\n"
           "leak:libgobject-2.0.so\n"
           "leak:libglib-2.0.so\n";
}
