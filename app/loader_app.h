// The application: one modal main window, and the program ends with it.
#pragma once

#include <QApplication>

#include "app/app_options.h"

namespace pelorin::app {

class CLoaderApp final : public QApplication {
  public:
    // Names the application after its program file and keeps its profile under the
    // organisation "Local AppWizard-Generated Applications".
    CLoaderApp(int& argc, char** argv);

    // Runs the main window modally until the operator closes it; returns the exit status.
    int InitInstance(const AppOptions& options);
};

}  // namespace pelorin::app
