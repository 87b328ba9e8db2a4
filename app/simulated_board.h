// A simulated board inside the window program: the engine's target model behind a
// pseudo-terminal, listed as one more serial port, so that a Download, Erase and Dump can be
// tried without hardware. Only where pseudo-terminals exist; elsewhere starting one fails.
#pragma once

#include <memory>
#include <string>

namespace pelorin::app {

struct SimulatedBoardOptions {
    double paceFactor = 8.0;  // line speed multiplier over 115200 baud; 0 runs unpaced
    unsigned crystalKhz = 27000;
    std::string flashPath;  // the board's flash, kept between runs
};

class SimulatedBoard {
  public:
    virtual ~SimulatedBoard() = default;
    // The device the host opens.
    virtual const std::string& DevicePath() const = 0;
    // What the port list shows beside the port's name.
    virtual std::string Description() const = 0;
};

// The board runs until the object is destroyed. Null, with `error` set, when it cannot start.
std::unique_ptr<SimulatedBoard> StartSimulatedBoard(const SimulatedBoardOptions& options,
                                                    std::string& error);

// Where the simulated flash lives when the options name no file: the user's working folder.
std::string DefaultSimulatedFlashPath();

}  // namespace pelorin::app
