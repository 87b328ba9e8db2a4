// pelorin: the loader's window.
#include <cstdio>

#include "app/app_options.h"
#include "app/headless.h"
#include "app/loader_app.h"

int main(int argc, char** argv) {
    using namespace pelorin::app;
    AppOptions options;
    if (const auto ended = ReadOptions(argc, argv, options)) return *ended;
    if (options.printSections) return PrintSections(RunningProgramPath());
    if (const auto missing = MissingDisplay()) {
        std::fprintf(stderr, "pelorin: no display: %s\n", missing->c_str());
        return 1;
    }
    CLoaderApp app(argc, argv);
    return app.InitInstance(options);
}
