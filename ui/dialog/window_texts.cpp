// The window's own captions.
#include "ui/dialog/window_texts.h"

namespace pelorin::ui {
namespace {

constexpr const char* kIdleCaptions[] = {"&Download", "&Erase", "D&ump"};

}  // namespace

const char* IdleCaption(OperationKind kind) {
    return kIdleCaptions[static_cast<int>(kind)];
}

std::string PlainCaption(const std::string& text) {
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    return plain;
}

}  // namespace pelorin::ui
