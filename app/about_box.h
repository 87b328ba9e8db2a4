// The About box: the program's name, version and build stamp, the systems it was made for,
// the maker's lines and a link to the maker's site. Modal; lives only while it is shown.
#pragma once

#include <QDialog>

#include "session/operator_prompt.h"
#include "ui/qt/dialog_controls.h"
#include "ui/url_open.h"

namespace pelorin::app {

class CAboutBox : public QDialog {
  public:
    // A link that cannot be opened is reported through `prompt`, which must outlive the box.
    CAboutBox(QWidget* owner, IOperatorPrompt& prompt, ui::UrlOpener opener = ui::OpenUrl);

    QWidget* Control(int id) const;

  private:
    void BuildControls(IOperatorPrompt& prompt, ui::UrlOpener opener);
    void OnInitDialog();

    ui::DialogControls controls_;
};

// Shows the About box modally over `owner`.
void ShowAboutBox(QWidget& owner, IOperatorPrompt& prompt);

}  // namespace pelorin::app
