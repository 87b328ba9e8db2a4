// The main window's Qt view.
#include "ui/qt/loader_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <QTimerEvent>

#include "ui/dialog/control_ids.h"
#include "ui/dialog/dialog_template.h"
#include "ui/dialog/port_watch.h"
#include "ui/qt/desktop_services.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/gui_thread_prompt.h"
#include "ui/qt/message_box_prompt.h"
#include "ui/qt/session_event.h"
#include "ui/qt/toolkit_file_dialogs.h"

namespace pelorin::ui {
namespace {

constexpr const char* kAboutItemText = "&About Me...";
constexpr int kConfigPartWidth = 60;
constexpr const char* kConfigPartText = "<Config>";
constexpr int kStatusLineExtraLines = 2;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

EditorKey EditorKeyOf(int key) {
    switch (key) {
        case Qt::Key_P:
            return EditorKey::P;
        case Qt::Key_L:
            return EditorKey::L;
        case Qt::Key_R:
            return EditorKey::R;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return EditorKey::Enter;
        default:
            return EditorKey::Other;
    }
}

}  // namespace

LoaderWindow::LoaderWindow(LoaderWindowSetup setup)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      setup_(std::move(setup)) {
    LoaderDlgSetup& dialog = setup_.dialog;
    if (!dialog.fileDialogs) {
        ownFileDialogs_ = std::make_unique<ToolkitFileDialogs>(this);
        dialog.fileDialogs = ownFileDialogs_.get();
    }
    messageBoxes_ = std::make_unique<MessageBoxPrompt>(this);
    prompt_ = std::make_unique<GuiThreadPrompt>(dialog.prompt ? *dialog.prompt : *messageBoxes_);
    dialog.prompt = prompt_.get();
    sink_ = std::make_unique<WindowSink>(*this);
    dialog.sink = sink_.get();
    controls_.Build(*this, MainWindowTemplate());
    LetStatusLineWrap();
    CreateStatusBar();
    ConnectCommands();
    Control(kIdcEditor)->installEventFilter(this);
    desktop_ = std::make_unique<DesktopServices>();
    setAcceptDrops(true);
    logic_ = std::make_unique<CLoaderDlg>(dialog, *this);
    logic_->OnInitDialog();
    WatchPorts();
}

void LoaderWindow::WatchPorts() {
    portWatch_ = PortWatch::Open();
    if (!portWatch_) return;
    portNotifier_ = std::make_unique<QSocketNotifier>(portWatch_->Handle(), QSocketNotifier::Read);
    connect(portNotifier_.get(), &QSocketNotifier::activated, this, [this] {
        if (portWatch_->TakeChanges()) logic_->OnDevicesChanged();
    });
}

void LoaderWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

// Only files of this computer count; what they are is the logic's to judge.
void LoaderWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    if (paths.empty()) return;
    event->acceptProposedAction();
    logic_->OnFilesDropped(paths);
}

LoaderWindow::~LoaderWindow() {
    // A worker waiting for a message box must not wait for a window that is going.
    prompt_->Close();
    logic_.reset();
}

// A long ending (a port's reason) wraps upward into the free space above the line instead of
// being cut at the label's edge.
void LoaderWindow::LetStatusLineWrap() {
    auto* line = ControlAs<QLabel>(kIdcStatusLine);
    const int extra = kStatusLineExtraLines * line->fontMetrics().lineSpacing();
    line->setWordWrap(true);
    line->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    line->setGeometry(line->geometry().adjusted(0, -extra, 0, 0));
}

void LoaderWindow::CreateStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setSizeGripEnabled(false);
    bar->setProperty("controlId", kIdcStatusBar);
    statusParts_[0] = new QLabel(QString::fromUtf8(kConfigPartText), bar);
    statusParts_[0]->setFixedWidth(kConfigPartWidth);
    statusParts_[1] = new QLabel(bar);
    bar->addWidget(statusParts_[0]);
    bar->addWidget(statusParts_[1], 1);
    controls_.Add(kIdcStatusBar, bar);
    PlaceStatusBar();
}

void LoaderWindow::PlaceStatusBar() {
    QWidget* bar = controls_.Find(kIdcStatusBar);
    const int height = bar->sizeHint().height();
    bar->setGeometry(0, this->height() - height, width(), height);
}

void LoaderWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceStatusBar();
}

// Every button's click and every list's choice goes to the logic; its message map decides.
// Only the operator's choices count, as with the list's own notification.
void LoaderWindow::ConnectCommands() {
    for (const ControlEntry& entry : MainWindowTemplate().controls) {
        const int id = entry.id;
        if (auto* button = ControlAs<QAbstractButton>(id))
            connect(button, &QAbstractButton::clicked, this,
                    [this, id] { logic_->OnCommand(id, Notification::Clicked); });
        if (auto* list = ControlAs<QComboBox>(id))
            connect(list, &QComboBox::activated, this,
                    [this, id] { logic_->OnCommand(id, Notification::SelectionChanged); });
    }
}

QString LoaderWindow::StatusBarText(int part) const {
    return part == 0 || part == 1 ? statusParts_[part]->text() : QString();
}

bool LoaderWindow::event(QEvent* event) {
    sink_->Received();
    if (event->type() != SessionEvent::EventType()) return QDialog::event(event);
    const auto* message = static_cast<const SessionEvent*>(event);
    logic_->Dispatch(message->Id(), message->WParam(), message->LParam());
    return true;
}

bool LoaderWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Control(kIdcEditor)) return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        return logic_->OnEditorKey(EditorKeyOf(key->key()),
                                   key->modifiers().testFlag(Qt::ControlModifier));
    }
    // A context menu takes no focus from the editor.
    if (event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        logic_->OnEditorFocusLost();
    return false;
}

void LoaderWindow::timerEvent(QTimerEvent* event) {
    for (int id = 0; id < int(timers_.size()); ++id)
        if (timers_[id].timerId() == event->timerId()) return logic_->OnTimer(id);
    QDialog::timerEvent(event);
}

void LoaderWindow::closeEvent(QCloseEvent* event) {
    if (logic_->OnClose()) return QDialog::closeEvent(event);
    event->ignore();
}

void LoaderWindow::keyPressEvent(QKeyEvent* event) {
    // Escape never closes the window: the close box does.
    if (event->key() == Qt::Key_Escape) return event->accept();
    if (event->key() == Qt::Key_F1) return logic_->OnHelpKey();
    QDialog::keyPressEvent(event);
}

void LoaderWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (!logic_->AboutOffered()) return QDialog::contextMenuEvent(event);
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kAboutItemText), this, [this] { logic_->OnHelpKey(); });
    menu.exec(event->globalPos());
}

void LoaderWindow::ClearItems(int id) {
    ControlAs<QComboBox>(id)->clear();
}

void LoaderWindow::InsertItem(int id, int index, const std::string& text) {
    ControlAs<QComboBox>(id)->insertItem(index, Q(text));
}

int LoaderWindow::ItemCount(int id) const {
    return ControlAs<QComboBox>(id)->count();
}

std::string LoaderWindow::ItemText(int id, int index) const {
    return ControlAs<QComboBox>(id)->itemText(index).toStdString();
}

int LoaderWindow::Selection(int id) const {
    return ControlAs<QComboBox>(id)->currentIndex();
}

void LoaderWindow::Select(int id, int index) {
    ControlAs<QComboBox>(id)->setCurrentIndex(index);
}

std::string LoaderWindow::Text(int id) const {
    QWidget* control = Control(id);
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text().toStdString();
    if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentText().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text().toStdString();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(control))
        return edit->toPlainText().toStdString();
    return {};
}

void LoaderWindow::SetText(int id, const std::string& text) {
    QWidget* control = Control(id);
    if (auto* label = qobject_cast<QLabel*>(control)) return label->setText(Q(text));
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->setText(Q(text));
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->setText(Q(text));
    if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) return edit->setPlainText(Q(text));
}

void LoaderWindow::SetToolTip(int id, const std::string& text) {
    Control(id)->setToolTip(Q(text));
}

void LoaderWindow::Enable(int id, bool enabled) {
    Control(id)->setEnabled(enabled);
}

bool LoaderWindow::Enabled(int id) const {
    return Control(id)->isEnabled();
}

void LoaderWindow::Show(int id, bool shown) {
    Control(id)->setVisible(shown);
}

void LoaderWindow::SetBarPosition(int id, int percent) {
    ControlAs<QProgressBar>(id)->setValue(percent);
}

std::string LoaderWindow::Caption() const {
    return windowTitle().toStdString();
}

void LoaderWindow::SetCaption(const std::string& text) {
    setWindowTitle(Q(text));
}

int LoaderWindow::DialogBaseUnitX() const {
    return BaseUnitsOf(font()).x;
}

void LoaderWindow::SetStatusPart(int part, const std::string& text) {
    if (part == 0 || part == 1) statusParts_[part]->setText(Q(text));
}

void LoaderWindow::SetReadOnly(int id, bool readOnly) {
    ControlAs<QPlainTextEdit>(id)->setReadOnly(readOnly);
}

void LoaderWindow::SetFocus(int id) {
    Control(id)->setFocus(Qt::OtherFocusReason);
}

void LoaderWindow::StartTimer(int timerId, int periodMs) {
    timers_[timerId].start(periodMs, Qt::PreciseTimer, this);
}

void LoaderWindow::StopTimer(int timerId) {
    timers_[timerId].stop();
}

void LoaderWindow::Defer(std::function<void()> call) {
    QTimer::singleShot(0, this, std::move(call));
}

void LoaderWindow::Beep() {
    QApplication::beep();
}

void LoaderWindow::ShowAbout() {
    if (setup_.showAbout) setup_.showAbout(*this, *prompt_);
}

void LoaderWindow::SetTaskbarProgress(TaskbarState state, int percent) {
    desktop_->SetTaskbarProgress(state, percent);
}

void LoaderWindow::NotifyOperator(const std::string& title, const std::string& text) {
    desktop_->Notify(title, text);
}

void LoaderWindow::EndDialog(bool accepted) {
    done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace pelorin::ui
