#include "serial/TComSelectForm.h"

#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include "serial/ProbePort.h"
#include "serial/TVarnComPort.h"
#include "ui_TComSelectForm.h"

TComSelectForm::TComSelectForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TComSelectForm>()) {
    ui->setupUi(this);
    setFixedSize(220, 131);
    connect(ui->OkBtn, &QPushButton::clicked, this, &TComSelectForm::OkBtnClick);
    connect(ui->AbortBtn, &QPushButton::clicked, this, &TComSelectForm::AbortBtnClick);
    FormCreate();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TComSelectForm::~TComSelectForm() = default;

void TComSelectForm::FormCreate() {
    for (unsigned n = 1; n <= kHighestListedPort; ++n)
        if (ProbePort(n)) ui->PortsComboBox->addItem(QStringLiteral("COM%1").arg(n));
    if (ui->PortsComboBox->count() > 0) ui->PortsComboBox->setCurrentIndex(0);
    // With nothing to choose, OK would choose nothing: only Cancel leaves the dialog.
    ui->OkBtn->setEnabled(ui->PortsComboBox->count() > 0);
}

uint16_t TComSelectForm::ChosenPort() const {
    const QString item = ui->PortsComboBox->currentText();
    bool ok = false;
    const unsigned n = item.mid(3).toUInt(&ok);
    return ok && n <= 0xFFFF ? static_cast<uint16_t>(n) : 0;
}

void TComSelectForm::OkBtnClick() {
    if (ChosenPort() != 0) accept();
}

void TComSelectForm::AbortBtnClick() {
    reject();
}

uint16_t ChoosePortWithDialog(QWidget* parent) {
    QPointer<TComSelectForm> form = new TComSelectForm(parent);
    const bool chosen = form->exec() == QDialog::Accepted;
    uint16_t n = 0;
    if (form) {
        if (chosen) n = form->ChosenPort();
        delete form;
    }
    return n;
}

void UsePortDialog(TVarnCustomComPort& port, QWidget* parent) {
    QPointer<QWidget> owner = parent;
    const bool hadOwner = parent != nullptr;
    port.SetPortChooser([owner, hadOwner]() -> uint16_t {
        // A window that has gone leaves the dialog without an owner, not dangling.
        return ChoosePortWithDialog(hadOwner ? owner.data() : nullptr);
    });
}
