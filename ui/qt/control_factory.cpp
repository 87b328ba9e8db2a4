// One widget per control kind.
#include "ui/qt/control_factory.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>

#include "ui/qt/gradient_button.h"
#include "ui/qt/link_label.h"

namespace pelorin::ui {
namespace {

constexpr int kIconPixels = 32;

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* MakeList(const ControlEntry& entry, DialogBaseUnits base, QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (std::string_view item : entry.items) list->addItem(Text(item));
    // One item takes about a character height; the closed part takes two.
    const int dropped = DluToPixelsY(entry.place.height, base) / base.y - 2;
    list->setMaxVisibleItems(std::max(dropped, 1));
    return list;
}

QWidget* MakeWidget(const ControlEntry& entry, DialogBaseUnits base, QWidget* parent) {
    switch (entry.kind) {
        case ControlKind::Label:
            return new QLabel(Text(entry.text), parent);
        case ControlKind::RightLabel: {
            auto* label = new QLabel(Text(entry.text), parent);
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            return label;
        }
        case ControlKind::GroupFrame:
            return new QGroupBox(parent);
        case ControlKind::DropDownList:
        case ControlKind::SortedDropDownList:
            return MakeList(entry, base, parent);
        case ControlKind::ReadOnlyEdit: {
            auto* edit = new QLineEdit(Text(entry.text), parent);
            edit->setReadOnly(true);
            return edit;
        }
        case ControlKind::ReadOnlyMultiLineEdit: {
            auto* edit = new QPlainTextEdit(Text(entry.text), parent);
            edit->setReadOnly(true);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            return edit;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new CGradientButton(Text(entry.text), parent);
            button->setAutoDefault(false);
            button->setDefault(entry.kind == ControlKind::DefaultPushButton);
            return button;
        }
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            return bar;
        }
        case ControlKind::Icon: {
            auto* icon = new QLabel(parent);
            icon->setPixmap(QApplication::windowIcon().pixmap(kIconPixels));
            return icon;
        }
        case ControlKind::LinkLabel:
            return new CLinkLabel(Text(entry.text), parent);
    }
    return new QWidget(parent);
}

QRect PlaceOf(const ControlEntry& entry, const QWidget& widget, DialogBaseUnits base) {
    QRect place = DluToPixels(entry.place, base);
    const bool list =
        entry.kind == ControlKind::DropDownList || entry.kind == ControlKind::SortedDropDownList;
    if (list) place.setHeight(widget.sizeHint().height());
    if (entry.kind == ControlKind::Icon) place.setSize({kIconPixels, kIconPixels});
    return place;
}

}  // namespace

QWidget* CreateControl(const ControlEntry& entry, DialogBaseUnits base, QWidget* parent) {
    QWidget* widget = MakeWidget(entry, base, parent);
    widget->setGeometry(PlaceOf(entry, *widget, base));
    // A link takes the size of its text once it has its place.
    if (auto* link = dynamic_cast<CLinkLabel*>(widget)) link->FitToText();
    widget->setEnabled(!entry.disabled);
    widget->setProperty("controlId", entry.id);
    return widget;
}

}  // namespace pelorin::ui
