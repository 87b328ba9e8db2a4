// Dump output: private file beside the target, renamed into place when complete.
#include "session/dump_file.h"

#include <filesystem>
#include <random>
#include <system_error>

namespace pelorin {
namespace {

constexpr int kNameTries = 16;

std::string TempNameFor(const std::string& target, std::mt19937_64& random) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    return target + suffix;
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
        const std::string partial = target_ + kPartialSuffix;
        std::filesystem::rename(tempPath_, partial, ec);
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
