// What the session needs of a serial port. The real port (cnComm) and the test doubles
// implement it; the session never sees anything else of the port.
#pragma once

#include <cstdint>

#include "serial/message_queue.h"

namespace pelorin {

class ISerialPort {
  public:
    virtual ~ISerialPort() = default;
    // Opens `port` (1..1024) with a settings text such as "115200,n,8,1", closing first a port
    // that is open. The port already open under the same number instead takes the new settings
    // as it is: what has arrived and what waits to be sent are kept. False on any failure.
    virtual bool Open(unsigned port, const char* settings) = 0;
    // Closes the port; harmless when closed. Bytes still queued for sending are dropped.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Copies at most `maxLength` bytes that have already arrived; waits at most `timeoutMs`.
    // 0 when nothing arrived, the port is closed, or the line reported an error.
    virtual unsigned Read(uint8_t* buffer, unsigned maxLength, unsigned timeoutMs) = 0;
    // Queues `length` bytes and returns at once; the caller's buffer is not used afterwards.
    // Successive writes leave in call order.
    virtual unsigned Write(const uint8_t* data, unsigned length) = 0;
    // Where receive notifications go (WM_COMM_RXCHAR with the port number); kept across
    // every close and reopen. Ports that notify nobody ignore it.
    virtual void SetNotifyTarget(MessageQueue* target) { (void)target; }
    // Bytes Write accepted since the port was opened (a speed switch on the open port keeps
    // counting). Callable from any thread.
    virtual uint64_t BytesQueued() const { return 0; }
    // Of those, the bytes that have left the host: handed to the driver and no longer held by
    // it. Never more than BytesQueued. Callable from any thread, also while the owner writes.
    virtual uint64_t BytesLeftHost() const { return 0; }
};

}  // namespace pelorin
