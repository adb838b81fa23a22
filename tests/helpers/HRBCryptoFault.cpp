// A decryption library that fills the whole 255-byte plain-text buffer and leaves no terminator,
// for the tests of the capture module's account reading.
#include <cstring>

extern "C" __attribute__((visibility("default"))) void HRBDecryptCommon(const char*, const char*, char* plain)
{
    std::memset(plain, 'p', 255);
}
