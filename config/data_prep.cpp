// Cutting, compressing and placing the prepared data file.
#include "config/data_prep.h"

#ifndef PELORIN_NO_LIBDEFLATE
#include <libdeflate.h>
#endif
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

#include "config/image_check.h"

namespace pelorin {
namespace {

constexpr size_t kChunkBytes = 64 * 1024;

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t Seconds(std::chrono::system_clock::time_point t) {
    auto s = std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
    return s > 0 && s <= static_cast<long long>(UINT32_MAX) ? static_cast<uint32_t>(s) : 0;
}

uint32_t FileMtime(const std::filesystem::path& path) {
    std::error_code ec;
    auto written = std::filesystem::last_write_time(path, ec);
    if (ec) return 0;
    return Seconds(std::chrono::file_clock::to_sys(written));
}

// Counts what passes to the file so the size limit can stop a hopeless compression early.
class MemberSink {
  public:
    MemberSink(OutFile& out, uint64_t limit) : out_(out), limit_(limit) {}
    bool Put(std::span<const uint8_t> bytes) {
        written_ += bytes.size();
        if (written_ >= limit_) {
            overLimit_ = true;
            return false;
        }
        return out_.Write(bytes);
    }
    uint64_t Written() const { return written_; }
    bool OverLimit() const { return overLimit_; }

  private:
    OutFile& out_;
    uint64_t limit_;
    uint64_t written_ = 0;
    bool overLimit_ = false;
};

}  // namespace

namespace {

constexpr const char* kTooLargeText =
    "The prepared data reaches 16 MiB; the target cannot be told its length.";
constexpr const char* kWriteFailedText = "Cannot write the prepared data file.";
constexpr const char* kEndedEarlyText = "The file ended before its expected length.";

std::vector<uint8_t> GzipHeader(const GzipMemberOptions& options) {
    std::vector<uint8_t> header = {0x1F, 0x8B, 8,
                                   static_cast<uint8_t>(options.name.empty() ? 0 : 8)};
    PutLe32(header, options.mtime);
    // Only the two extreme levels are marked, as the gzip command does.
    header.push_back(options.level == 9 ? 2 : options.level == 1 ? 4 : 0);
    header.push_back(kGzipOsByte);
    if (!options.name.empty()) {
        header.insert(header.end(), options.name.begin(), options.name.end());
        header.push_back(0);
    }
    return header;
}

const char* SinkError(const MemberSink& sink) {
    return sink.OverLimit() ? kTooLargeText : kWriteFailedText;
}

// zlib's streaming deflate: the file passes in chunks. Returns an error text or null.
const char* DeflateWithZlib(std::istream& in, uint64_t length, int level, MemberSink& sink,
                            uint32_t& crc) {
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return "The compressor could not start.";
    std::vector<uint8_t> input(kChunkBytes);
    std::vector<uint8_t> output(kChunkBytes);
    uint64_t left = length;
    const char* error = nullptr;
    int flush = Z_NO_FLUSH;
    do {
        size_t want = static_cast<size_t>(std::min<uint64_t>(left, kChunkBytes));
        if (want > 0) {
            in.read(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(want));
            if (static_cast<size_t>(in.gcount()) != want) {
                error = kEndedEarlyText;
                break;
            }
            crc = static_cast<uint32_t>(crc32(crc, input.data(), static_cast<uInt>(want)));
            left -= want;
        }
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = input.data();
        zs.avail_in = static_cast<uInt>(want);
        do {
            zs.next_out = output.data();
            zs.avail_out = static_cast<uInt>(output.size());
            deflate(&zs, flush);
            size_t produced = output.size() - zs.avail_out;
            if (produced > 0 && !sink.Put(std::span(output.data(), produced))) {
                error = SinkError(sink);
                break;
            }
        } while (zs.avail_out == 0);
    } while (!error && flush != Z_FINISH);
    deflateEnd(&zs);
    return error;
}

#ifndef PELORIN_NO_LIBDEFLATE
// libdeflate works on whole buffers: the section is read at once (it is at most a flash).
const char* DeflateWithLibdeflate(std::istream& in, uint64_t length, MemberSink& sink,
                                  uint32_t& crc) {
    std::vector<uint8_t> input(static_cast<size_t>(length));
    in.read(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(length));
    if (static_cast<uint64_t>(in.gcount()) != length) return kEndedEarlyText;
    crc = static_cast<uint32_t>(crc32(0, input.data(), static_cast<uInt>(input.size())));
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(kBestDeflateLevel);
    if (!compressor) return "The compressor could not start.";
    std::vector<uint8_t> output(libdeflate_deflate_compress_bound(compressor, input.size()));
    const size_t produced = libdeflate_deflate_compress(compressor, input.data(), input.size(),
                                                        output.data(), output.size());
    libdeflate_free_compressor(compressor);
    if (produced == 0) return "The compressor failed.";
    return sink.Put(std::span(output.data(), produced)) ? nullptr : SinkError(sink);
}
#else
// A build without libdeflate: zlib's own best.
const char* DeflateWithLibdeflate(std::istream& in, uint64_t length, MemberSink& sink,
                                  uint32_t& crc) {
    return DeflateWithZlib(in, length, Z_BEST_COMPRESSION, sink, crc);
}
#endif

}  // namespace

bool WriteGzipMember(std::istream& in, uint64_t length, OutFile& out,
                     const GzipMemberOptions& options, uint64_t maxMemberBytes,
                     uint64_t* memberBytes, std::string* error) {
    auto fail = [&](const char* text) {
        if (error) *error = text;
        return false;
    };
    MemberSink sink(out, maxMemberBytes);
    if (!sink.Put(GzipHeader(options))) return fail(kWriteFailedText);
    uint32_t crc = 0;
    const char* failed = options.compression == Compression::Best
                             ? DeflateWithLibdeflate(in, length, sink, crc)
                             : DeflateWithZlib(in, length, options.level, sink, crc);
    if (failed) return fail(failed);
    std::vector<uint8_t> trailer;
    PutLe32(trailer, crc);
    PutLe32(trailer, static_cast<uint32_t>(length));  // ISIZE is the length modulo 2^32
    if (!sink.Put(trailer)) return fail(SinkError(sink));
    if (memberBytes) *memberBytes = sink.Written();
    return true;
}

HardwareInfo PreparedData::HardwareInfoOver(const HardwareInfo& earlier) const {
    HardwareInfo merged = earlier;
    for (size_t i = 0; i < hardwareInfoLength; ++i) merged[i] = hardwareInfo[i];
    return merged;
}

PreparedData PrepareDataFile(const WorkPaths& paths, const PrepareRequest& request) {
    PreparedData result;
    result.dataFilePath = paths.dataFilePath;
    const std::filesystem::path gzPath = paths.dataFilePath.string() + ".gz";
    std::error_code ec;
    std::filesystem::remove(paths.dataFilePath, ec);
    std::filesystem::remove(gzPath, ec);
    if (!CreateWorkTree(paths)) {
        result.error = "Cannot create the working directory " + paths.innerDir.string() + ".";
        return result;
    }

    std::ifstream in(request.sourcePath, std::ios::binary);
    uint64_t length = std::filesystem::file_size(request.sourcePath, ec);
    if (!in || ec) {
        result.error = "Cannot open the file " + request.sourcePath.string() + ".";
        return result;
    }
    in.read(reinterpret_cast<char*>(result.hardwareInfo.data()), kHardwareInfoBytes);
    result.hardwareInfoLength = static_cast<size_t>(in.gcount());
    in.clear();

    uint64_t offset = 0;
    uint64_t count = length;
    GzipMemberOptions options;
    options.name = kDataFileName;
    options.compression = request.compression;
    if (request.wholeImage && length >= request.startAddress) {
        offset = request.startAddress;
        count = std::min<uint64_t>(request.sectionSize, length - offset);
        // The cut-out section is a new file, written now.
        options.mtime = Seconds(std::chrono::system_clock::now());
    } else {
        // A copy keeps the original's modification time.
        options.mtime = FileMtime(request.sourcePath);
    }
    in.seekg(static_cast<std::streamoff>(offset));
    result.dataBytes = count;
    result.mtime = options.mtime;

    auto out = OutFile::CreateReplacing(gzPath, &result.error);
    if (!out) return result;
    bool written = WriteGzipMember(in, count, *out, options, kMaxAnnouncedBytes + 1,
                                   &result.preparedBytes, &result.error);
    if (!out->Close() && written) {
        written = false;
        result.error = "Cannot write the prepared data file.";
    }
    if (!written) {
        std::filesystem::remove(gzPath, ec);
        return result;
    }
    std::filesystem::rename(gzPath, paths.dataFilePath, ec);
    if (ec) {
        std::filesystem::remove(gzPath, ec);
        result.error = "Cannot place the prepared data file " + paths.dataFilePath.string() + ".";
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace pelorin
