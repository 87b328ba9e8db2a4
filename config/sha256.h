// SHA-256, for the fingerprint of each file a board received: small enough to keep here
// rather than bring in a crypto library for one digest.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelorin {

class Sha256 {
  public:
    using Digest = std::array<uint8_t, 32>;

    Sha256();
    void Update(std::span<const uint8_t> bytes);
    void Update(std::string_view text);
    // The digest of everything given; the object must not be updated afterwards.
    Digest Final();

  private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t length_ = 0;  // bytes given so far
};

// Lower-case hexadecimal, 64 characters.
std::string HexDigest(const Sha256::Digest& digest);
// The digest of a whole file in hexadecimal; nullopt when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::filesystem::path& path);

}  // namespace pelorin
