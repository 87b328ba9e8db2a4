// SIGINT, SIGTERM and SIGHUP end the window as the operator's cancel and close would: the
// handler only notes the signal; the window's thread acts on it in its own loop.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace pelorin::app {

class QuitSignals final : public QObject {
  public:
    // `onSignal` runs on the window's thread with the signal's number, once per signal.
    explicit QuitSignals(std::function<void(int signal)> onSignal);
    ~QuitSignals() override;

  private:
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace pelorin::app
