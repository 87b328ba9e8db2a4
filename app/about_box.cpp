// A plain About box: name, version text, one line on what the program does, and OK.
#include "app/about_box.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "config/version.h"

namespace pelorin::app {

void ShowAboutBox(QWidget& owner) {
    QDialog box(&owner);
    box.setWindowTitle(QStringLiteral("About Pelorin"));
    auto* layout = new QVBoxLayout(&box);
    auto* name = new QLabel(QStringLiteral("Pelorin ") + QString::fromStdString(GetVersionText()));
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    layout->addWidget(name);
    layout->addWidget(new QLabel(
        QStringLiteral("Loads firmware into the flash of set-top-box boards over a serial line,\n"
                       "erases that flash, or reads it back into a file.")));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(buttons);
    box.exec();
}

}  // namespace pelorin::app
