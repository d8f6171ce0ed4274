#include "shell/TIDForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QSessionManager>
#include <QStyle>
#include <QTimer>
#include <exception>
#include <functional>
#include <string>

#include "base/LocaleDateTime.h"
#include "shell/ExceptionBox.h"
#include "shell/Placement.h"
#include "shell/SetupAdvice.h"
#include "shell/TCp1252Validator.h"
#include "shell/TIDBoxKeyFilter.h"
#include "store/ChosenRepository.h"
#include "ui_TIDForm.h"

namespace {

#if QT_CONFIG(sessionmanager)
// The end of the session as the store sees it. Interaction is asked for only when
// there is something to ask, and given back at once afterwards; with a handler of the
// window running (a box up, a transfer waiting) no question goes on top of it.
class TQtSessionEnd : public TSessionEnd {
public:
    TQtSessionEnd(QSessionManager& manager, bool mayAsk) : manager_(manager), mayAsk_(mayAsk) {}
    ~TQtSessionEnd() override {
        if (asked_) manager_.release();
    }
    TQtSessionEnd(const TQtSessionEnd&) = delete;
    TQtSessionEnd& operator=(const TQtSessionEnd&) = delete;

    bool MayAsk() override { return asked_ = mayAsk_ && manager_.allowsInteraction(); }
    void Cancel() override { manager_.cancel(); }
    bool Asked() const { return asked_; }

private:
    QSessionManager& manager_;
    bool mayAsk_;
    bool asked_ = false;
};
#endif

// The outer width the creation steps set, and the border a fixed single-line frame
// adds to the client width when the window system has not told the frame yet
// (before the first show).
constexpr int kOuterWidth = 282;
constexpr int kDesignedFrameWidth = 8;

QTimer* NewTimer(QObject* window, const char* name, int intervalMs) {
    auto* timer = new QTimer(window);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(intervalMs);
    return timer;
}

}  // namespace

TIDForm::TIDForm()
    : QDialog(nullptr),
      ui(std::make_unique<Ui::TIDForm>()),
      timer1_(NewTimer(this, "Timer1", 100)),
      timer2_(NewTimer(this, "Timer2", 1000)),
      storeSide_(*ui, outcome_),
      sessionSide_(*ui, *timer1_, *timer2_, outcome_),
      groups_(ChosenRepository(DefaultStorePaths(), LocaleDateTimeSource())),
      store_(storeSide_, boxes_, *groups_),
      session_(sessionSide_, boxes_, commune_, store_),
      transfers_(session_, sessionSide_, boxes_, *groups_),
      handlers_(*this, session_, sessionSide_) {
    ui->setupUi(this);
    outcome_.SetLabel(ui->OutcomeLabel);
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

    ui->StatusBox->hide();
    ui->SpeedButton3->setIcon(style()->standardIcon(QStyle::SP_TitleBarContextHelpButton));
    ui->SpeedButton3->hide();
    // The window's hint setting is off, and this button takes it.
    ui->SendNameButton->installEventFilter(this);
    ui->CompanyNameEdit->setValidator(new TCp1252Validator(ui->CompanyNameEdit));
    sessionSide_.KeepDesignedColours();
    transfers_.Now = &LocalNow;

    FormCreate();
    ConnectHandlers();
}

TIDForm::~TIDForm() = default;

void TIDForm::FormCreate() {
    // The status lines' designed placeholder texts are never seen, and no link
    // session runs.
    ui->Label3->clear();
    ui->Label4->clear();
    session_.Stopped = true;
    // The store, which fills the group list. A failure is shown once the steps that do
    // not depend on it have run.
    std::string openError;
    bool failed = false;
    try {
        store_.OpenStore();
    } catch (const std::exception& error) {
        failed = true;
        openError = WithSetupAdvice(error);
    }
    // The outer width, then a fixed frame.
    const int frameExtra = frameGeometry().width() - geometry().width();
    resize(kOuterWidth - (frameExtra > 0 ? frameExtra : kDesignedFrameWidth), height());
    setFixedSize(size());
    ui->PageControl->setCurrentWidget(ui->VehiclesTab1);
    // The slot table, by name; every box typed into passes the key filter.
    auto* keyFilter = new TIDBoxKeyFilter(handlers_, boxes_, this);
    for (QLineEdit* box : storeSide_.FillSlotTable(*this)) {
        box->installEventFilter(keyFilter);
        box->setValidator(new TCp1252Validator(box));
    }
    if (failed) ShowExceptionBox(openError);
}

void TIDForm::ConnectHandlers() {
    connect(ui->GroupNameComboBox, &QComboBox::currentIndexChanged, this,
            &TIDForm::GroupNameComboBoxChange);
    connect(ui->GroupNameComboBox, &TCloseUpComboBox::closeUp, this,
            &TIDForm::GroupNameComboBoxCloseUp);
    connect(ui->ExitButton, &QToolButton::clicked, this, &TIDForm::ExitButtonClick);
    connect(ui->SpeedButton3, &QToolButton::clicked, this, &TIDForm::SpeedButton2Click);
#if QT_CONFIG(sessionmanager)
    connect(qApp, &QGuiApplication::commitDataRequest, this, &TIDForm::SessionEndQuery);
#endif
    // The handlers that are the store's operations, the transfers and the session's
    // timers, each run through the handler runner.
    const auto on = [this](const auto* sender, auto signal, std::function<void()> handler) {
        connect(sender, signal, this, [this, handler] { handlers_.Run(handler); });
    };
    on(ui->NewGroupButton, &QPushButton::clicked, [this] { store_.NewGroup(); });
    on(ui->DeleteGroupButton, &QPushButton::clicked, [this] { store_.DeleteGroup(); });
    on(ui->SaveButton, &QPushButton::clicked, [this] { store_.SaveGroup(); });
    on(ui->ReadButton, &QPushButton::clicked, [this] { transfers_.ReadButtonClick(); });
    on(ui->SendButton, &QPushButton::clicked, [this] { transfers_.SendButtonClick(); });
    on(ui->ReadNameButton, &QPushButton::clicked, [this] { transfers_.ReadNameButtonClick(); });
    on(ui->SendNameButton, &QPushButton::clicked, [this] { transfers_.SendNameButtonClick(); });
    on(ui->DateSpeedButton, &QToolButton::clicked, [this] { transfers_.DateSpeedButtonClick(); });
    on(timer1_, &QTimer::timeout, [this] { session_.Timer1Timer(); });
    on(timer2_, &QTimer::timeout, [this] { session_.Timer2Timer(); });
    // Import and Export of the loaded group: the menu of the File button beside the
    // group list, and the same on the group box's right mouse button.
    auto* importAction = new QAction(QStringLiteral("Import…"), this);
    auto* exportAction = new QAction(QStringLiteral("Export…"), this);
    auto* fileMenu = new QMenu(this);
    fileMenu->setAccessibleName(QStringLiteral("File"));
    fileMenu->addActions({importAction, exportAction});
    ui->GroupFileButton->setMenu(fileMenu);
    // A click opens the menu, and so does every action a screen reader offers on the
    // button: one whose menu pops up on the mouse press alone offers none that works.
    connect(ui->GroupFileButton, &QToolButton::clicked, ui->GroupFileButton,
            &QToolButton::showMenu);
    ui->GroupNameBox->addActions({importAction, exportAction});
    ui->GroupNameBox->setContextMenuPolicy(Qt::ActionsContextMenu);
    on(importAction, &QAction::triggered, [this] { fileActions_.ImportClick(); });
    on(exportAction, &QAction::triggered, [this] { fileActions_.ExportClick(); });
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

// ---- closing ----

void TIDForm::closeEvent(QCloseEvent* event) {
    if (handlers_.MayClose() && FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TIDForm::FormCloseQuery() {
    // The window made at start-up is never shown: it agrees without a word.
    if (!inModalShow_ || closing_) return true;
    // Typed changes are asked about first; Cancel, or a save that is refused, keeps
    // the window open with what was typed.
    bool mayClose = false;
    handlers_.Run([this, &mayClose] { mayClose = store_.SettleUnsavedChanges(); });
    if (!mayClose) return false;
    AgreeToClose();
    return true;
}

void TIDForm::AgreeToClose() {
    closing_ = true;
    reject();
    deleteLater();
    if (launcher_) {
        launcher_->show();
        launcher_->raise();
        launcher_->activateWindow();
    }
}

void TIDForm::keyPressEvent(QKeyEvent* event) {
    // Neither Esc nor Enter closes this window or clicks a button for it: QDialog's
    // handling of them is passed over on purpose.
    QWidget::keyPressEvent(event);  // NOLINT(bugprone-parent-virtual-call)
}

void TIDForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CentreOnScreen(this);
    }
}

bool TIDForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->SendNameButton && event->type() == QEvent::ToolTip) return true;
    return QDialog::eventFilter(watched, event);
}

// ---- handlers ----

void TIDForm::GroupNameComboBoxChange(int index) {
    handlers_.Run([this, index] {
        store_.Select(index >= 0 ? ui->GroupNameComboBox->itemText(index).toStdString()
                                 : std::string());
    });
}

void TIDForm::GroupNameComboBoxCloseUp() {
    handlers_.Run([this] {
        ui->PageControl->setEnabled(true);
        store_.LoadChosenGroup();
    });
}

void TIDForm::ExitButtonClick() {
    handlers_.Run([this] {
        if (!session_.ExitButtonClick()) close();
    });
}

#if QT_CONFIG(sessionmanager)
void TIDForm::SessionEndQuery(QSessionManager& manager) {
    if (!inModalShow_ || closing_) return;
    // The window is not closed here: the same request comes for a mere checkpoint of
    // the session, and an ending session closes every window afterwards, when this
    // one's close asks nothing more about the typing dealt with here.
    TQtSessionEnd end(manager, !handlers_.Running());
    handlers_.Run([this, &end] {
        try {
            store_.EndOfSession(end, keptChanges_);
        } catch (const std::exception& error) {
            if (end.Asked()) throw;
            // Nobody is there to read a box, and one would hold up the session's end:
            // the failure goes to the program's error output.
            qWarning("%s", error.what());
        }
    });
}
#else
void TIDForm::SessionEndQuery(QSessionManager&) {}
#endif

// The help button is never visible, and no help file is named: asking for the
// topic "IDs" would have no effect.
void TIDForm::SpeedButton2Click() {}
