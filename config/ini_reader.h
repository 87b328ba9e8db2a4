// A reader of INI texts with the private-profile properties the layout relies on: names
// compared without case, blanks around keys and values ignored, ";" lines define nothing,
// the first of two equal keys (or sections) wins, string values cut to 254 characters. One pass
// over the text; a line longer than kIniLineMaxBytes defines nothing and is reported.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

inline constexpr size_t kIniValueMaxChars = 254;
// The longest line taken, in bytes. A layout's lines are a few dozen bytes; a longer one is
// damage, and a text editor showing it would spend seconds laying it out.
inline constexpr size_t kIniLineMaxBytes = 64 * 1024;

class IniText {
  public:
    explicit IniText(std::string_view text);

    // The value, or `fallback` when the section or key is missing.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback = {}) const;
    // A decimal value with an optional sign; parsing stops at the first other character, no
    // digits give 0, values beyond 32 bits saturate. `fallback` when the key is missing.
    int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback = 0) const;
    // The first line too long to read, as text; empty when every line was read. The other
    // lines are read as ever, so that settings such as a lock still hold.
    const std::string& Error() const { return error_; }

  private:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    const std::string* Find(std::string_view section, std::string_view key) const;

    std::vector<Section> sections_;
    std::string error_;
};

}  // namespace pelorin
