// pelorin: the loader's window.
#include "app/app_options.h"
#include "app/loader_app.h"

int main(int argc, char** argv) {
    pelorin::app::AppOptions options;
    if (const auto ended = pelorin::app::ReadOptions(argc, argv, options)) return *ended;
    pelorin::app::CLoaderApp app(argc, argv);
    return app.InitInstance(options);
}
