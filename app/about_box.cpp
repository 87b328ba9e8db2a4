// The About box built from template 100; the version line is completed when it opens.
#include "app/about_box.h"

#include <QAbstractButton>
#include <QLabel>

#include "config/version.h"
#include "ui/dialog/about_template.h"
#include "ui/dialog/control_ids.h"
#include "ui/qt/link_label.h"

namespace pelorin::app {

using ui::kIdcAboutLink;
using ui::kIdcAboutVersion;
using ui::kIdOk;
using ui::kMakerUrl;
namespace {

// When this file was compiled: the program's build stamp.
constexpr const char* kBuildDate = __DATE__;
constexpr const char* kBuildTime = __TIME__;

}  // namespace

CAboutBox::CAboutBox(QWidget* owner, IOperatorPrompt& prompt, ui::UrlOpener opener)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    BuildControls(prompt, std::move(opener));
    OnInitDialog();
}

void CAboutBox::BuildControls(IOperatorPrompt& prompt, ui::UrlOpener opener) {
    controls_.Build(*this, ui::AboutBoxTemplate());

    auto* link = dynamic_cast<ui::CLinkLabel*>(Control(kIdcAboutLink));
    link->SetOpener(std::move(opener));
    link->SetPrompt(&prompt);
    link->SetUrl(QString::fromUtf8(kMakerUrl));
    auto* ok = dynamic_cast<QAbstractButton*>(Control(kIdOk));
    connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
    // The platform's dialog starts with the focus on its first tab stop: OK here.
    ok->setFocus();
}

// The template's name, the version text and the build stamp, on two lines.
void CAboutBox::OnInitDialog() {
    auto* label = dynamic_cast<QLabel*>(Control(kIdcAboutVersion));
    label->setText(label->text() + u' ' + QString::fromStdString(GetVersionText()) +
                   QStringLiteral("\r\nBuild %1 %2")
                       .arg(QString::fromLatin1(kBuildDate), QString::fromLatin1(kBuildTime)));
}

QWidget* CAboutBox::Control(int id) const {
    return controls_.Find(id);
}

void ShowAboutBox(QWidget& owner, IOperatorPrompt& prompt) {
    CAboutBox box(&owner, prompt);
    box.exec();
}

}  // namespace pelorin::app
