// A real program for the layout helper tests to rewrite: it runs until its input is closed.
// Given a path, it creates that file once it runs, so a test knows the program is running.
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc > 1)
        if (std::FILE* ready = std::fopen(argv[1], "w")) std::fclose(ready);
    char buffer[64];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
