// Flash file loading and atomic saving.
#include "sim/flash_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace pelorin::sim {

bool LoadFlash(const std::string& path, std::optional<size_t> size, size_t defaultSize,
               uint8_t fill, std::vector<uint8_t>& flash, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        flash.assign(size.value_or(defaultSize), fill);
        return SaveFlash(path, flash, error);
    }
    const uintmax_t fileSize = std::filesystem::file_size(path, ec);
    if (ec) {
        error = path + ": " + ec.message();
        return false;
    }
    if (size && *size != fileSize) {
        error = path + " holds " + std::to_string(fileSize) + " bytes, not the " +
                std::to_string(*size) + " of --flash-size; remove it to make a new flash";
        return false;
    }
    if (fileSize == 0) {
        error = path + " is empty";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    flash.resize(static_cast<size_t>(fileSize));
    if (!in.read(reinterpret_cast<char*>(flash.data()), static_cast<std::streamsize>(fileSize))) {
        error = path + " could not be read";
        return false;
    }
    return true;
}

bool SaveFlash(const std::string& path, const std::vector<uint8_t>& flash, std::string& error) {
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(flash.data(), 1, flash.size(), f) == flash.size();
    const bool synced = std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!written || !synced || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "saving " + path + " failed: " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace pelorin::sim
