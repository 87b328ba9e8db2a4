// Dump output: a private file in the target's folder, renamed into place when complete.
#include "session/dump_file.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>

namespace pelorin {
namespace {

namespace fs = std::filesystem;

constexpr int kNameTries = 16;
// A folder entry's name may have this many bytes on the usual file systems.
constexpr size_t kFileNameMaxBytes = 255;

// A short name of its own in the target's folder, so that a target of any legal length has
// one: the name adds nothing to the target's.
std::string TempNameFor(const std::string& target, std::mt19937_64& random) {
    char name[40];
    std::snprintf(name, sizeof name, "pelorin-%012llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    return (fs::path(target).parent_path() / name).string();
}

// "<target>.partial" with the target's name cut, at a character's start, so that the whole
// name fits a folder entry; the plain form when it fits already.
std::string ShortPartialPathFor(const std::string& target) {
    const fs::path path(target);
    std::string name = path.filename().string();
    const size_t suffix = std::string_view(kPartialSuffix).size();
    if (name.size() + suffix <= kFileNameMaxBytes) return target + kPartialSuffix;
    name.resize(kFileNameMaxBytes - suffix);
    // UTF-8 continuation bytes are 10xxxxxx: back up to a lead byte.
    while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80)
        name.pop_back();
    if (!name.empty() && static_cast<unsigned char>(name.back()) >= 0xC0) name.pop_back();
    return (path.parent_path() / (name + kPartialSuffix)).string();
}

// Removes the regular file at `path`; anything else there is left alone.
void RemoveOldPartial(const std::string& path) {
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(path, ec))) fs::remove(path, ec);
}

}  // namespace

bool DumpFile::Create(const std::string& target, std::string* error) {
    std::lock_guard lock(mutex_);
    if (file_) KeepPartialLocked();
    target_ = target;
    keptPath_.clear();
    error_.clear();
    bytes_ = 0;
    failed_ = false;
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) {
        error_ = "it is a directory";
    } else {
        std::mt19937_64 random(std::random_device{}());
        for (int i = 0; i < kNameTries && !file_; ++i) {
            tempPath_ = TempNameFor(target, random);
            file_ = OutFile::CreateNew(tempPath_, &error_);
        }
    }
    if (!file_) {
        if (error) *error = error_;
        tempPath_.clear();
        return false;
    }
    return true;
}

bool DumpFile::Write(const uint8_t* data, size_t length) {
    std::lock_guard lock(mutex_);
    if (!file_) return false;
    if (length == 0) return true;
    if (!file_->Write({data, length})) {
        failed_ = true;
        error_ = LastSystemErrorText();
        KeepPartialLocked();
        return false;
    }
    bytes_ += length;
    return true;
}

bool DumpFile::Complete() {
    std::lock_guard lock(mutex_);
    if (!file_) return false;
    std::error_code ec;
    if (file_->Close())
        std::filesystem::rename(tempPath_, target_, ec);
    else
        ec = std::make_error_code(std::errc::io_error);
    if (ec) {
        failed_ = true;
        error_ = ec.message();
        KeepPartialLocked();
        return false;
    }
    file_.reset();
    keptPath_ = target_;
    // What an earlier, cut-short dump to this name kept is stale now.
    RemoveOldPartial(target_ + kPartialSuffix);
    RemoveOldPartial(ShortPartialPathFor(target_));
    closed_.notify_all();
    return true;
}

void DumpFile::Close() {
    std::lock_guard lock(mutex_);
    if (file_) KeepPartialLocked();
}

void DumpFile::KeepPartialLocked() {
    if (!file_->Close() && !failed_) {
        failed_ = true;
        error_ = LastSystemErrorText();
    }
    file_.reset();
    std::error_code ec;
    // A write that failed half-way may have left more than was counted.
    if (const auto onDisk = std::filesystem::file_size(tempPath_, ec); !ec) bytes_ = onDisk;
    if (bytes_ == 0) {
        std::filesystem::remove(tempPath_, ec);
        keptPath_.clear();
    } else {
        // A target whose name is near the limit has no room for the suffix: its name is cut.
        std::string partial = target_ + kPartialSuffix;
        std::filesystem::rename(tempPath_, partial, ec);
        if (ec && ShortPartialPathFor(target_) != partial) {
            partial = ShortPartialPathFor(target_);
            std::filesystem::rename(tempPath_, partial, ec);
        }
        keptPath_ = ec ? tempPath_ : partial;
    }
    closed_.notify_all();
}

bool DumpFile::IsOpen() const {
    std::lock_guard lock(mutex_);
    return file_.has_value();
}

bool DumpFile::Failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

bool DumpFile::WaitClosed(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return closed_.wait_for(lock, timeout, [this] { return !file_.has_value(); });
}

uint64_t DumpFile::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

std::string DumpFile::KeptPath() const {
    std::lock_guard lock(mutex_);
    return keptPath_;
}

std::string DumpFile::Error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

}  // namespace pelorin
