// Platforms without pseudo-terminals have no simulated board.
#include "app/simulated_board.h"

namespace pelorin::app {

std::unique_ptr<SimulatedBoard> StartSimulatedBoard(const SimulatedBoardOptions&,
                                                    std::string& error) {
    error = "the simulated board needs pseudo-terminals, which this system does not have";
    return nullptr;
}

std::string DefaultSimulatedFlashPath() {
    return {};
}

}  // namespace pelorin::app
