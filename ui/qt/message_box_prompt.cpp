// Message boxes with the toolkit's standard box.
#include "ui/qt/message_box_prompt.h"

#include <QMessageBox>

namespace pelorin::ui {
namespace {

struct ButtonSet {
    PromptButtons buttons;
    QMessageBox::StandardButtons shown;
    QMessageBox::StandardButton byDefault;
};
constexpr ButtonSet kButtonSets[] = {
    {PromptButtons::Ok, QMessageBox::Ok, QMessageBox::Ok},
    {PromptButtons::YesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
    {PromptButtons::YesNoCancel, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
     QMessageBox::Cancel},
    {PromptButtons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel},
};

PromptAnswer AnswerOf(int button) {
    switch (button) {
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        case QMessageBox::Cancel:
            return PromptAnswer::Cancel;
        default:
            return PromptAnswer::Ok;
    }
}

}  // namespace

PromptAnswer MessageBoxPrompt::Show(const PromptRequest& request) {
    const ButtonSet* set = &kButtonSets[0];
    for (const ButtonSet& candidate : kButtonSets)
        if (candidate.buttons == request.buttons) set = &candidate;
    QMessageBox box(
        request.icon == PromptIcon::Warning ? QMessageBox::Warning : QMessageBox::Information,
        QString::fromStdString(request.caption), QString::fromStdString(request.text), set->shown,
        owner_);
    box.setDefaultButton(set->byDefault);
    // Texts are the system's own, shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    // Closing a box that has Cancel is Cancel; closing any other box is its safe answer.
    if (box.clickedButton() == nullptr) return DefaultAnswer(request.buttons);
    return AnswerOf(answer);
}

}  // namespace pelorin::ui
