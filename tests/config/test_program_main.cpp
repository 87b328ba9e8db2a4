// A real program for the layout helper tests to rewrite: it runs until its input is closed.
#include <unistd.h>

int main() {
    char buffer[64];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
