#include "shell/TIDForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <exception>
#include <utility>

#include "shell/Beep.h"
#include "shell/ExceptionBox.h"
#include "shell/KeyFilter.h"
#include "shell/LocaleDateTime.h"
#include "shell/Placement.h"
#include "shell/TCp1252Validator.h"
#include "shell/TQtMessageBoxes.h"
#include "ui_TIDForm.h"

namespace {

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}
std::string ToStd(const QString& text) {
    return text.toStdString();
}

// The border a fixed single-line frame adds to the client width when the window
// system has not told the frame yet (before the first show).
constexpr int kDesignedFrameWidth = 8;

}  // namespace

TIDForm::TIDForm(TMessageBoxes* boxes, TStorePaths paths)
    : QDialog(nullptr),
      ui(std::make_unique<Ui::TIDForm>()),
      realBoxes_(std::make_unique<TQtMessageBoxes>()),
      boxes_(boxes ? boxes : realBoxes_.get()),
      store_(*this, *this, std::move(paths), LocaleDateTimeSource()),
      session_(*this, *this, commune_, store_),
      transfers_(session_, *this, *this, store_) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // Button-face background.
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);

    commune_.SetComNumber(1);
    commune_.SetBaud(9600);
    commune_.SetAutoOpen(false);
    commune_.SetBufferFull(1000);
    commune_.SetBufferResume(1000);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(100);
    timer2_ = new QTimer(this);
    timer2_->setObjectName(QStringLiteral("Timer2"));
    timer2_->setInterval(1000);

    ui->StatusBox->hide();
    ui->SpeedButton3->setIcon(style()->standardIcon(QStyle::SP_TitleBarContextHelpButton));
    ui->SpeedButton3->hide();
    // The window's hint setting is off, and this button takes it.
    ui->SendNameButton->installEventFilter(this);
    ui->CompanyNameEdit->setValidator(new TCp1252Validator(ui->CompanyNameEdit));
    exitPalette_ = ui->ExitButton->palette();
    statusPalette_ = ui->Label3->palette();

    transfers_.ShowError = [](const std::exception& error) { ShowExceptionBox(error); };
    transfers_.Now = &LocalNow;

    FormCreate();

    connect(ui->GroupNameComboBox, &QComboBox::currentIndexChanged, this,
            &TIDForm::GroupNameComboBoxChange);
    connect(ui->GroupNameComboBox, &TCloseUpComboBox::closeUp, this,
            &TIDForm::GroupNameComboBoxCloseUp);
    connect(ui->NewGroupButton, &QPushButton::clicked, this, &TIDForm::NewGroupButtonClick);
    connect(ui->DeleteGroupButton, &QPushButton::clicked, this, &TIDForm::DeleteGroupButtonClick);
    connect(ui->SaveButton, &QPushButton::clicked, this, &TIDForm::SaveButtonClick);
    connect(ui->ReadButton, &QPushButton::clicked, this, &TIDForm::ReadButtonClick);
    connect(ui->SendButton, &QPushButton::clicked, this, &TIDForm::SendButtonClick);
    connect(ui->ReadNameButton, &QPushButton::clicked, this, &TIDForm::ReadNameButtonClick);
    connect(ui->SendNameButton, &QPushButton::clicked, this, &TIDForm::SendNameButtonClick);
    connect(ui->DateSpeedButton, &QToolButton::clicked, this, &TIDForm::DateSpeedButtonClick);
    connect(ui->ExitButton, &QToolButton::clicked, this, &TIDForm::ExitButtonClick);
    connect(ui->SpeedButton3, &QToolButton::clicked, this, &TIDForm::SpeedButton2Click);
    connect(timer1_, &QTimer::timeout, this, &TIDForm::Timer1Timer);
    connect(timer2_, &QTimer::timeout, this, &TIDForm::Timer2Timer);
}

TIDForm::~TIDForm() = default;

void TIDForm::FormCreate() {
    // 2. The designed placeholder text is never seen.
    ui->Label3->clear();
    ui->Label4->clear();
    // 3. No link session runs.
    session_.Stopped = true;
    // 1 and 4. The control directory and the groups table. A failure is shown once
    // the steps that do not depend on the table have run.
    std::string openError;
    bool failed = false;
    try {
        store_.OpenStore();  // fills the group list
    } catch (const std::exception& error) {
        failed = true;
        openError = error.what();
    }
    // 5. The field names of an ID list table.
    trailerField_ = kTrailerIDField;
    vehicleField_ = kVehicleIDField;
    // 6. The outer width, then a fixed frame.
    const int frameExtra = frameGeometry().width() - geometry().width();
    resize(kOuterWidth - (frameExtra > 0 ? frameExtra : kDesignedFrameWidth), height());
    setFixedSize(size());
    // 7.
    ui->PageControl->setCurrentWidget(ui->VehiclesTab1);
    // 8. The slot table, by name.
    for (int k = 0; k < int(slots_.size()); ++k) {
        auto* box = findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(k + 1));
        Q_ASSERT(box);
        slots_[k] = box;
        box->installEventFilter(this);
        box->setValidator(new TCp1252Validator(box));
    }
    if (failed) ShowExceptionBox(openError);
}

int TIDForm::ShowModal() {
    QPointer<TIDForm> self(this);
    inModalShow_ = true;
    const int result = exec();
    if (self) inModalShow_ = false;
    return result;
}

void TIDForm::SetLauncher(QWidget* launcher) {
    launcher_ = launcher;
}

void TIDForm::SetMessageBoxes(TMessageBoxes* boxes) {
    boxes_ = boxes ? boxes : realBoxes_.get();
}

QLineEdit* TIDForm::SlotBox(int position) const {
    return slots_.at(position);
}

void TIDForm::ChooseGroup(const QString& name) {
    auto* combo = ui->GroupNameComboBox;
    combo->showPopup();
    const int index = combo->findText(name, Qt::MatchExactly);
    if (index >= 0) combo->setCurrentIndex(index);
    combo->hidePopup();
}

template <class Body>
void TIDForm::RunHandler(Body&& body) {
    ++handlerDepth_;
    try {
        body();
    } catch (const std::exception& error) {
        ShowExceptionBox(error);
    }
    --handlerDepth_;
    if (handlerDepth_ == 0 && closePending_) {
        closePending_ = false;
        // From the modal show's own loop, once this handler's frames are gone.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

// ---- closing ----

void TIDForm::closeEvent(QCloseEvent* event) {
    if (handlerDepth_ > 0) {
        // The running handler goes on; the window closes when it has returned.
        closePending_ = true;
        event->ignore();
        return;
    }
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TIDForm::FormCloseQuery() {
    // The window made at start-up is never shown: it agrees without a word.
    if (!inModalShow_ || closing_) return true;
    closing_ = true;
    reject();
    deleteLater();
    if (launcher_) {
        launcher_->show();
        launcher_->raise();
        launcher_->activateWindow();
    }
    return true;
}

void TIDForm::keyPressEvent(QKeyEvent* event) {
    // Neither Esc nor Enter closes this window or clicks a button for it: QDialog's
    // handling of them is passed over on purpose.
    QWidget::keyPressEvent(event);  // NOLINT(bugprone-parent-virtual-call)
}

void TIDForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ++timesShown_;
    if (!centred_) {
        centred_ = true;
        CentreOnScreen(this);
    }
}

// ---- key filter and hints ----

bool TIDForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->SendNameButton && event->type() == QEvent::ToolTip) return true;
    if (!qobject_cast<QLineEdit*>(watched) || watched == ui->CompanyNameEdit)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Keys that type no character never reach the filter. Delete carries code 127
        // here, but types nothing.
        if (key->key() == Qt::Key_Delete || key->text().isEmpty()) return false;
        const QString kept = Edit1KeyPress(key->text());
        if (kept == key->text()) return false;
        if (!kept.isEmpty()) {
            QKeyEvent rest(key->type(), key->key(), key->modifiers(), kept);
            QCoreApplication::sendEvent(watched, &rest);
        }
        return true;
    }
    if (event->type() == QEvent::InputMethod) {
        // Text an input method commits (a dead key, a compose sequence) is typed too.
        auto* input = static_cast<QInputMethodEvent*>(event);
        const QString kept = Edit1KeyPress(input->commitString());
        if (kept == input->commitString()) return false;
        QInputMethodEvent rest(input->preeditString(), input->attributes());
        rest.setCommitString(kept, input->replacementStart(), input->replacementLength());
        QCoreApplication::sendEvent(watched, &rest);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

QString TIDForm::Edit1KeyPress(const QString& typed) {
    const TTypedText text = FilterTypedText(ToStd(typed));
    if (text.Rejected > 0)
        RunHandler([this, &text] {
            for (int i = 0; i < text.Rejected; ++i) Information(kRejectedKeyMessage);
        });
    return QString::fromStdU32String(text.Accepted);
}

// ---- handlers ----

void TIDForm::GroupNameComboBoxChange(int index) {
    RunHandler([this, index] {
        store_.Select(index >= 0 ? ToStd(ui->GroupNameComboBox->itemText(index)) : std::string());
    });
}

void TIDForm::GroupNameComboBoxCloseUp() {
    RunHandler([this] {
        ui->PageControl->setEnabled(true);
        store_.LoadGroup();
    });
}

void TIDForm::NewGroupButtonClick() {
    RunHandler([this] { store_.NewGroup(); });
}
void TIDForm::DeleteGroupButtonClick() {
    RunHandler([this] { store_.DeleteGroup(); });
}
void TIDForm::SaveButtonClick() {
    RunHandler([this] { store_.SaveGroup(); });
}
void TIDForm::ReadButtonClick() {
    RunHandler([this] { transfers_.ReadButtonClick(); });
}
void TIDForm::SendButtonClick() {
    RunHandler([this] { transfers_.SendButtonClick(); });
}
void TIDForm::ReadNameButtonClick() {
    RunHandler([this] { transfers_.ReadNameButtonClick(); });
}
void TIDForm::SendNameButtonClick() {
    RunHandler([this] { transfers_.SendNameButtonClick(); });
}
void TIDForm::DateSpeedButtonClick() {
    RunHandler([this] { transfers_.DateSpeedButtonClick(); });
}

void TIDForm::ExitButtonClick() {
    RunHandler([this] {
        if (!session_.ExitButtonClick()) close();
    });
}

// The help button is never visible, and no help file is named: asking for the
// topic "IDs" would have no effect.
void TIDForm::SpeedButton2Click() {}

void TIDForm::Timer1Timer() {
    RunHandler([this] {
        try {
            session_.Timer1Timer();
        } catch (const std::exception& error) {
            // Stopped first, or every tick behind the box would add another box.
            SetPollTimer(false);
            ShowExceptionBox(error);
            session_.EndSession();
        }
    });
}

void TIDForm::Timer2Timer() {
    RunHandler([this] { session_.Timer2Timer(); });
}

// ---- TStoreWindow ----

std::string TIDForm::VehicleSlot(int slot) const {
    return ToStd(slots_.at(slot)->text());
}
void TIDForm::SetVehicleSlot(int slot, const std::string& text) {
    slots_.at(slot)->setText(ToQt(text));
}
std::string TIDForm::TrailerSlot(int slot) const {
    return ToStd(slots_.at(kVehicleSlots + slot)->text());
}
void TIDForm::SetTrailerSlot(int slot, const std::string& text) {
    slots_.at(kVehicleSlots + slot)->setText(ToQt(text));
}

void TIDForm::ShowGroupList(const std::vector<std::string>& names, const std::string& shown) {
    auto* combo = ui->GroupNameComboBox;
    QStringList list;
    for (const std::string& name : names) list << ToQt(name);
    QStringList current;
    for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
    const QSignalBlocker block(combo);
    const bool same = current == list;
    // Keep the entry the user picked when it shows the same name (a duplicate name).
    if (same && combo->currentIndex() >= 0 && combo->currentText() == ToQt(shown)) return;
    if (!same) {
        combo->clear();
        combo->addItems(list);
    }
    combo->setCurrentIndex(shown.empty() ? -1 : list.indexOf(ToQt(shown)));
}

// ---- TSessionView ----

void TIDForm::ShowUpperPage(TUpperPage page) {
    ui->PageControl1->setCurrentWidget(page == TUpperPage::GroupName ? ui->TabSheet1
                                                                     : ui->TabSheet2);
}

void TIDForm::ShowStatusBox(bool shown) {
    ui->StatusBox->setVisible(shown);
    ui->GroupNameBox->setVisible(!shown);
}

std::string TIDForm::ExitCaption() const {
    return ToStd(ui->ExitButton->text());
}
void TIDForm::SetExitCaption(const std::string& caption) {
    ui->ExitButton->setText(ToQt(caption));
}

void TIDForm::SetExitRed(bool red) {
    QPalette p = exitPalette_;
    if (red) p.setColor(QPalette::ButtonText, QColor(255, 0, 0));
    ui->ExitButton->setPalette(p);
    exitRed_ = red;
}

std::string TIDForm::StatusLine() const {
    return ToStd(ui->Label3->text());
}
void TIDForm::SetStatusLine(const std::string& text) {
    ui->Label3->setText(ToQt(text));
}
void TIDForm::SetStatusLineDefaultColour() {
    ui->Label3->setPalette(statusPalette_);
}
std::string TIDForm::InstrumentLine() const {
    return ToStd(ui->Label4->text());
}
void TIDForm::SetInstrumentLine(const std::string& text) {
    ui->Label4->setText(ToQt(text));
}

void TIDForm::SetPollTimer(bool enabled) {
    if (enabled)
        timer1_->start();
    else
        timer1_->stop();
}
bool TIDForm::PollTimerEnabled() const {
    return timer1_->isActive();
}
void TIDForm::SetRestoreTimer(bool enabled) {
    if (enabled)
        timer2_->start();
    else
        timer2_->stop();
}
bool TIDForm::RestoreTimerEnabled() const {
    return timer2_->isActive();
}

void TIDForm::ProcessMessages() {
    // Sleeps until the next event; while a session waits the poll timer is one.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TIDForm::Beep() {
    ::Beep();
}

std::string TIDForm::CompanyName() const {
    return ToStd(ui->CompanyNameEdit->text());
}
void TIDForm::SetCompanyName(const std::string& text) {
    ui->CompanyNameEdit->setText(ToQt(text));
}

void TIDForm::SetSessionButtonsEnabled(bool enabled) {
    ui->ReadNameButton->setEnabled(enabled);
    ui->SendNameButton->setEnabled(enabled);
    ui->DateSpeedButton->setEnabled(enabled);
}

// ---- TMessageBoxes ----

void TIDForm::Information(const std::string& text) {
    boxes_->Information(text);
}
TConfirmAnswer TIDForm::Confirm(const std::string& question) {
    return boxes_->Confirm(question);
}
std::string TIDForm::InputBox(const std::string& caption, const std::string& prompt,
                              const std::string& preset) {
    return boxes_->InputBox(caption, prompt, preset);
}
