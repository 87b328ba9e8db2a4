// One widget per control kind.
#include "ui/control_factory.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace pelorin::ui {
namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* MakeList(const ControlSpec& spec, DialogBaseUnits base, QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (std::string_view item : spec.items) list->addItem(Text(item));
    // One item takes about a character height; the closed part takes two.
    const int dropped = DluToPixelsY(spec.place.height, base) / base.y - 2;
    list->setMaxVisibleItems(std::max(dropped, 1));
    return list;
}

QWidget* MakeWidget(const ControlSpec& spec, DialogBaseUnits base, QWidget* parent) {
    switch (spec.kind) {
        case ControlKind::Label:
            return new QLabel(Text(spec.text), parent);
        case ControlKind::RightLabel: {
            auto* label = new QLabel(Text(spec.text), parent);
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            return label;
        }
        case ControlKind::GroupFrame:
            return new QGroupBox(parent);
        case ControlKind::DropDownList:
        case ControlKind::SortedDropDownList:
            return MakeList(spec, base, parent);
        case ControlKind::ReadOnlyEdit: {
            auto* edit = new QLineEdit(Text(spec.text), parent);
            edit->setReadOnly(true);
            return edit;
        }
        case ControlKind::ReadOnlyMultiLineEdit: {
            auto* edit = new QPlainTextEdit(Text(spec.text), parent);
            edit->setReadOnly(true);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            return edit;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(Text(spec.text), parent);
            button->setAutoDefault(false);
            button->setDefault(spec.kind == ControlKind::DefaultPushButton);
            return button;
        }
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            return bar;
        }
    }
    return new QWidget(parent);
}

QRect PlaceOf(const ControlSpec& spec, const QWidget& widget, DialogBaseUnits base) {
    QRect place = DluToPixels(spec.place, base);
    const bool list =
        spec.kind == ControlKind::DropDownList || spec.kind == ControlKind::SortedDropDownList;
    if (list) place.setHeight(widget.sizeHint().height());
    return place;
}

}  // namespace

QWidget* CreateControl(const ControlSpec& spec, DialogBaseUnits base, QWidget* parent) {
    QWidget* widget = MakeWidget(spec, base, parent);
    widget->setGeometry(PlaceOf(spec, *widget, base));
    widget->setEnabled(!spec.disabled);
    widget->setProperty("controlId", spec.id);
    return widget;
}

}  // namespace pelorin::ui
