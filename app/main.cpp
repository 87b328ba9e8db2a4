// pelorin: the loader's window.
#include "app/loader_app.h"

int main(int argc, char** argv) {
    pelorin::app::CLoaderApp app(argc, argv);
    return app.InitInstance();
}
