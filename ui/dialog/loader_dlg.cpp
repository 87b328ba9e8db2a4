// The main window's construction from its template, its events and its timers.
#include "ui/loader_dlg.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QStatusBar>
#include <QTimerEvent>

#include "session/board.h"
#include "session/operation.h"
#include "ui/dialog/control_ids.h"
#include "ui/qt/gui_thread_prompt.h"
#include "ui/qt/message_box_prompt.h"
#include "ui/qt/session_event.h"
#include "ui/qt/toolkit_file_dialogs.h"

namespace pelorin::ui {
namespace {

// String resource 101: the About item, in the window's context menu (the window manager owns
// the system menu here).
constexpr const char* kAboutItemText = "&About Me...";
constexpr int kConfigPartWidth = 60;
constexpr const char* kConfigPartText = "<Config>";

}  // namespace

CLoaderDlg::CLoaderDlg(LoaderDlgSetup setup)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      setup_(std::move(setup)) {
    if (!setup_.images) {
        ownImages_ = std::make_unique<TargetImages>();
        setup_.images = ownImages_.get();
    }
    if (!setup_.fileDialogs) {
        ownFileDialogs_ = std::make_unique<ToolkitFileDialogs>(this);
        setup_.fileDialogs = ownFileDialogs_.get();
    }
    messageBoxes_ = std::make_unique<MessageBoxPrompt>(this);
    prompt_ = std::make_unique<GuiThreadPrompt>(setup_.prompt ? *setup_.prompt : *messageBoxes_);
    sink_ = std::make_unique<WindowSink>(*this);
    BuildControls();
    CreateStatusBar();
    ConnectCommands();
    OnInitDialog();
}

CLoaderDlg::~CLoaderDlg() {
    // A worker waiting for a message box must not wait for a window that is going.
    prompt_->Close();
    if (operation_ && operation_->Running()) operation_->Cancel();
    operation_.reset();
    board_.reset();
    if (workDir_) CleanUpWorkFiles(workDir_->Paths(), false);
}

void CLoaderDlg::BuildControls() {
    controls_.Build(*this, MainWindowTemplate());
}

void CLoaderDlg::CreateStatusBar() {
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

void CLoaderDlg::PlaceStatusBar() {
    QWidget* bar = controls_.Find(kIdcStatusBar);
    const int height = bar->sizeHint().height();
    bar->setGeometry(0, this->height() - height, width(), height);
}

void CLoaderDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceStatusBar();
}

QWidget* CLoaderDlg::Control(int id) const {
    return controls_.Find(id);
}

QString CLoaderDlg::StatusBarText(int part) const {
    return part == 0 || part == 1 ? statusParts_[part]->text() : QString();
}

bool CLoaderDlg::OperationRunning() const {
    return operation_ && operation_->Running();
}

bool CLoaderDlg::event(QEvent* event) {
    sink_->Received();
    if (event->type() != SessionEvent::EventType()) return QDialog::event(event);
    const auto* message = static_cast<const SessionEvent*>(event);
    DispatchMessage(message->Id(), message->WParam(), message->LParam());
    return true;
}

void CLoaderDlg::SetTimer(int timerId, int periodMs) {
    timers_[timerId].start(periodMs, Qt::PreciseTimer, this);
}

void CLoaderDlg::KillTimer(int timerId) {
    timers_[timerId].stop();
}

void CLoaderDlg::timerEvent(QTimerEvent* event) {
    for (int id = 0; id < int(timers_.size()); ++id)
        if (timers_[id].timerId() == event->timerId()) return OnTimer(id);
    QDialog::timerEvent(event);
}

void CLoaderDlg::keyPressEvent(QKeyEvent* event) {
    // Escape never closes the window: the close box does.
    if (event->key() == Qt::Key_Escape) return event->accept();
    if (event->key() == Qt::Key_F1 && aboutOffered_) return ShowAbout();
    QDialog::keyPressEvent(event);
}

void CLoaderDlg::contextMenuEvent(QContextMenuEvent* event) {
    if (!aboutOffered_) return QDialog::contextMenuEvent(event);
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kAboutItemText), this, &CLoaderDlg::ShowAbout);
    menu.exec(event->globalPos());
}

void CLoaderDlg::ShowAbout() {
    if (setup_.showAbout) setup_.showAbout(*this, *prompt_);
}

}  // namespace pelorin::ui
