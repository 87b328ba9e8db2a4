// How the worker tells its owner what happens: posted notifications and the completion beep.
// The window turns posts into toolkit events, the command line into terminal output, tests
// record them. Called from the worker thread; must not block.
#pragma once

#include <cstdint>

namespace pelorin {

class ISessionSink {
  public:
    virtual ~ISessionSink() = default;
    virtual void Post(uint32_t id, uint64_t wParam, int64_t lParam) = 0;
    virtual void Beep() = 0;
};

}  // namespace pelorin
