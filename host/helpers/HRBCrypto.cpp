// The clinic's decryption library: HRBDecryptCommon(key, encrypted, plain) writes the plain text
// of an account value into a 255-byte buffer. The stand-in account library stores its values
// unencrypted, so the text is handed on as it is: at most 254 bytes and a terminator.
#include <cstring>

extern "C" __attribute__((visibility("default"))) void HRBDecryptCommon(const char* key, const char* encrypted,
                                                                       char* plain)
{
    (void)key;
    if (!plain)
        return;
    size_t n = encrypted ? strnlen(encrypted, 254) : 0;
    if (n)
        std::memcpy(plain, encrypted, n);
    plain[n] = 0;
}
