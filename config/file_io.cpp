// What every platform's output file shares: moving and closing on destruction.
#include "config/file_io.h"

namespace pelorin {

OutFile::OutFile(OutFile&& other) noexcept : handle_(other.handle_), failed_(other.failed_) {
    other.handle_ = -1;
}

OutFile& OutFile::operator=(OutFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        failed_ = other.failed_;
        other.handle_ = -1;
    }
    return *this;
}

OutFile::~OutFile() {
    Close();
}

}  // namespace pelorin
