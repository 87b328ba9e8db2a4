// The status text of each stage letter, as the operator reads it.
#pragma once

#include <array>
#include <string_view>

namespace pelorin {

struct StageText {
    char letter;
    std::string_view text;
};

inline constexpr std::array<StageText, 14> kStageTexts = {{
    {'U', "Send bootload bin"},
    {'A', "Run bootload"},
    {'B', "Send DRAM bin length"},
    {'S', "Send DRAM bin"},
    {'V', "Check hardware infomation..."},
    {'D', "Send data length"},
    {'K', "Send data..."},
    {'F', "The data in flash moved to DRAM..."},
    {'G', "Receive data..."},
    {'H', "Eraser Flash..."},
    {'I', "Write Flash..."},
    {'O', "Mission completed"},
    {'P', "Invalid bin file.The hardware version is incorrect."},
    {'N', "Decompress file error"},
}};

// Empty for a letter that is not a stage.
constexpr std::string_view StageTextFor(char letter) {
    for (const StageText& s : kStageTexts)
        if (s.letter == letter) return s.text;
    return {};
}

// Letters that end an operation.
constexpr bool IsFinalStage(char letter) {
    return letter == 'O' || letter == 'P' || letter == 'N';
}

}  // namespace pelorin
