#include "shell/TSessionViewAdapter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressBar>

#include "shell/Beep.h"
#include "shell/TOutcomeLine.h"
#include "ui_TIDForm.h"

namespace {

constexpr int kProgressPaceMs = 1000;

void SetRunning(QTimer& timer, bool enabled) {
    if (enabled)
        timer.start();
    else
        timer.stop();
}

}  // namespace

TSessionViewAdapter::TSessionViewAdapter(const Ui::TIDForm& ui, QTimer& poll, QTimer& restore,
                                         TOutcomeLine& outcome)
    : ui_(ui), poll_(poll), restore_(restore), outcome_(outcome) {
    progressPace_.setSingleShot(true);
    progressPace_.setInterval(kProgressPaceMs);
    QObject::connect(&progressPace_, &QTimer::timeout, &progressPace_, [this] {
        const QProgressBar& bar = *ui_.ProgressBar1;
        if (bar.value() != progressDone_ || bar.maximum() != progressTotal_) PaintProgress();
    });
}

void TSessionViewAdapter::KeepDesignedColours() {
    exitPalette_ = ui_.ExitButton->palette();
    statusPalette_ = ui_.Label3->palette();
}

void TSessionViewAdapter::ShowUpperPage(TUpperPage page) {
    ui_.PageControl1->setCurrentWidget(page == TUpperPage::GroupName ? ui_.TabSheet1
                                                                     : ui_.TabSheet2);
}

void TSessionViewAdapter::ShowStatusBox(bool shown) {
    ui_.StatusBox->setVisible(shown);
    ui_.GroupNameBox->setVisible(!shown);
    outcome_.SetCovered(shown);
}

std::string TSessionViewAdapter::ExitCaption() const {
    return ui_.ExitButton->text().toStdString();
}
void TSessionViewAdapter::SetExitCaption(const std::string& caption) {
    ui_.ExitButton->setText(QString::fromStdString(caption));
}

void TSessionViewAdapter::SetExitRed(bool red) {
    QPalette p = exitPalette_;
    if (red) p.setColor(QPalette::ButtonText, QColor(255, 0, 0));
    ui_.ExitButton->setPalette(p);
}

std::string TSessionViewAdapter::StatusLine() const {
    return ui_.Label3->text().toStdString();
}
void TSessionViewAdapter::SetStatusLine(const std::string& text) {
    ui_.Label3->setText(QString::fromStdString(text));
}
void TSessionViewAdapter::SetStatusLineDefaultColour() {
    ui_.Label3->setPalette(statusPalette_);
}
std::string TSessionViewAdapter::InstrumentLine() const {
    return ui_.Label4->text().toStdString();
}
void TSessionViewAdapter::SetInstrumentLine(const std::string& text) {
    ui_.Label4->setText(QString::fromStdString(text));
}

std::string TSessionViewAdapter::ExplanationLine() const {
    return ui_.Label5->text().toStdString();
}
void TSessionViewAdapter::SetExplanationLine(const std::string& text) {
    const QString line = QString::fromStdString(text);
    ui_.Label5->setText(line);
    // Two lines have room for most; the whole of a longer one stays within reach.
    ui_.Label5->setToolTip(line);
    ui_.Label5->setVisible(!line.isEmpty());
}

void TSessionViewAdapter::ShowProgress(int done, int total) {
    progressDone_ = done;
    progressTotal_ = total;
    // Painting the bar with its text costs more than the rest of a command's work (the
    // style's gradients, drawn at once by setValue), so the bar follows the count once a
    // second: at once at the start, at the end and after a pause; otherwise when the
    // second is up. A screen reader is spared a word for every command too.
    if (done == 0 || done == total || !progressPace_.isActive()) PaintProgress();
}

void TSessionViewAdapter::PaintProgress() {
    ui_.ProgressBar1->setMaximum(progressTotal_);
    ui_.ProgressBar1->setValue(progressDone_);
    ui_.ProgressBar1->show();
    progressPace_.start();
}

void TSessionViewAdapter::HideProgress() {
    progressPace_.stop();
    ui_.ProgressBar1->hide();
}

void TSessionViewAdapter::SetPollTimer(bool enabled) {
    SetRunning(poll_, enabled);
}
bool TSessionViewAdapter::PollTimerEnabled() const {
    return poll_.isActive();
}
void TSessionViewAdapter::SetRestoreTimer(bool enabled) {
    SetRunning(restore_, enabled);
}
bool TSessionViewAdapter::RestoreTimerEnabled() const {
    return restore_.isActive();
}

void TSessionViewAdapter::ProcessMessages() {
    // Sleeps until the next event; while a session waits the poll timer is one.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TSessionViewAdapter::Beep() {
    ::Beep();
}

std::string TSessionViewAdapter::CompanyName() const {
    return ui_.CompanyNameEdit->text().toStdString();
}
void TSessionViewAdapter::SetCompanyName(const std::string& text) {
    ui_.CompanyNameEdit->setText(QString::fromStdString(text));
}

void TSessionViewAdapter::SetSessionButtonsEnabled(bool enabled) {
    ui_.ReadNameButton->setEnabled(enabled);
    ui_.SendNameButton->setEnabled(enabled);
    ui_.DateSpeedButton->setEnabled(enabled);
}

void TSessionViewAdapter::ShowOutcome(const std::string& text) {
    outcome_.Show(text);
}
