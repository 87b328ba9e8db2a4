// mkdtemp, which the portable tests' scratch directories use, on the Windows runtime.
#pragma once

#include <direct.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C++" {
// Replaces the trailing XXXXXX of `templ` and creates that directory; null when no name is free.
inline char* mkdtemp(char* templ) {
    const size_t n = strlen(templ);
    if (n < 6) return nullptr;
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned value = static_cast<unsigned>(rand()) ^ (++counter * 2654435761u);
        for (size_t i = n - 6; i < n; ++i) {
            templ[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[value % 36];
            value = value / 36 + static_cast<unsigned>(rand());
        }
        if (_mkdir(templ) == 0) return templ;
    }
    return nullptr;
}
}
#endif
