// The few POSIX calls that portable tests use, on the Windows runtime: environment changes and
// a fresh scratch directory.
#pragma once

#include <direct.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C++" {
inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && getenv(name)) return 0;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}
inline int unsetenv(const char* name) {
    return _putenv_s(name, "") == 0 ? 0 : -1;
}
inline char* mkdtemp(char* templ) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const size_t n = strlen(templ);
        if (n < 6) return nullptr;
        static unsigned counter = 0;
        unsigned value = static_cast<unsigned>(rand()) ^ (++counter * 2654435761u);
        for (size_t i = n - 6; i < n; ++i) {
            templ[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[value % 36];
            value = value / 36 + static_cast<unsigned>(rand());
        }
        if (_mkdir(templ) == 0) return templ;
        // Put the pattern back for the next try.
        memset(templ + n - 6, 'X', 6);
    }
    return nullptr;
}
}
#endif
