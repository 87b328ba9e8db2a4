// What both platforms' claims share.
#include "config/file_claim.h"

namespace pelorin {

std::unique_ptr<FileClaim> FileClaim::Take(const std::filesystem::path& path) {
    Failure failure = Failure::None;
    std::string error;
    return Claim(path, false, failure, error);
}

std::unique_ptr<FileClaim> FileClaim::TakeCreating(const std::filesystem::path& path,
                                                   Failure& failure, std::string& error) {
    return Claim(path, true, failure, error);
}

}  // namespace pelorin
