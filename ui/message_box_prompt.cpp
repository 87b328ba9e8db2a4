// Message boxes with the toolkit's standard box.
#include "ui/message_box_prompt.h"

#include <QMessageBox>

namespace pelorin::ui {

PromptAnswer MessageBoxPrompt::Show(const PromptRequest& request) {
    const bool question = request.buttons == PromptButtons::YesNo;
    QMessageBox box(
        request.icon == PromptIcon::Warning ? QMessageBox::Warning : QMessageBox::Information,
        QString::fromStdString(request.caption), QString::fromStdString(request.text),
        question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner_);
    // Texts are the system's own, shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    if (!question) return PromptAnswer::Ok;
    return answer == QMessageBox::Yes ? PromptAnswer::Yes : PromptAnswer::No;
}

}  // namespace pelorin::ui
