// INI parsing: one pass over the lines into sections of key/value pairs, kept in text order so
// that look-ups return the first match.
#include "config/ini_reader.h"

#include <cctype>
#include <limits>
#include <string>

#include "base/trim.h"

namespace pelorin {
namespace {

// Lines are split at their ends first: only blanks and tabs are left to cut.
std::string_view TrimBlanks(std::string_view s) {
    return Trim(s, kBlanks);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

IniText::IniText(std::string_view text) {
    Section* current = nullptr;
    for (size_t number = 1; !text.empty(); ++number) {
        size_t end = text.find_first_of("\r\n");
        std::string_view raw = text.substr(0, end);
        const bool tooLong = raw.size() > kIniLineMaxBytes;
        if (tooLong && error_.empty())
            error_ = "line " + std::to_string(number) + " has " + std::to_string(raw.size()) +
                     " bytes, more than the " + std::to_string(kIniLineMaxBytes / 1024) + " KiB (" +
                     std::to_string(kIniLineMaxBytes) + " bytes) a line may have";
        std::string_view line = tooLong ? std::string_view() : TrimBlanks(raw);
        // CR LF ends one line, for the line numbers.
        if (end != std::string_view::npos && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n')
            ++end;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string_view name = TrimBlanks(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            current = &sections_.emplace_back(Section{std::string(name), {}});
            continue;
        }
        size_t equals = line.find('=');
        if (current == nullptr || equals == std::string_view::npos) continue;
        std::string_view key = TrimBlanks(line.substr(0, equals));
        if (key.empty()) continue;
        std::string_view value = TrimBlanks(line.substr(equals + 1));
        current->entries.push_back(
            Entry{std::string(key), std::string(value.substr(0, kIniValueMaxChars))});
    }
}

const std::string* IniText::Find(std::string_view section, std::string_view key) const {
    for (const Section& s : sections_) {
        if (!SameName(s.name, section)) continue;
        // Only the first section of a name counts, as with the platform reader.
        for (const Entry& e : s.entries)
            if (SameName(e.key, key)) return &e.value;
        return nullptr;
    }
    return nullptr;
}

std::string IniText::GetString(std::string_view section, std::string_view key,
                               std::string_view fallback) const {
    const std::string* value = Find(section, key);
    return value ? *value : std::string(fallback.substr(0, kIniValueMaxChars));
}

int32_t IniText::GetInt(std::string_view section, std::string_view key, int32_t fallback) const {
    const std::string* value = Find(section, key);
    if (!value) return fallback;
    std::string_view s = *value;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int64_t result = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        result = result * 10 + (c - '0');
        if (result > kLimit) result = kLimit;
    }
    if (negative) result = -result;
    if (result > std::numeric_limits<int32_t>::max()) result = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(result);
}

}  // namespace pelorin
