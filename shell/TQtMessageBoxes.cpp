#include "shell/TQtMessageBoxes.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Placement.h"
#include "shell/TCp1252Validator.h"

namespace {

// Texts written for the other system end lines with CR LF.
QString BoxText(const std::string& text) {
    return QString::fromStdString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

}  // namespace

void TQtMessageBoxes::Information(const std::string& text) {
    TCentredMessageBox box(QMessageBox::Information, QStringLiteral("Information"), BoxText(text));
    box.setTextFormat(Qt::PlainText);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

TConfirmAnswer TQtMessageBoxes::Confirm(const std::string& question) {
    TCentredMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), BoxText(question));
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == yes) return TConfirmAnswer::Yes;
    if (box.clickedButton() == no) return TConfirmAnswer::No;
    return TConfirmAnswer::Cancel;
}

std::string TQtMessageBoxes::InputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& preset) {
    TInputBox box(QString::fromStdString(caption), BoxText(prompt), QString::fromStdString(preset));
    box.exec();
    return box.Text().toStdString();
}

TInputBox::TInputBox(const QString& caption, const QString& prompt, const QString& preset,
                     QWidget* parent)
    : QDialog(parent), edit_(new QLineEdit(this)), preset_(preset) {
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(prompt, this);
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    edit_->setMaxLength(kMaxLength);
    // The name goes into a table and a file name: nothing without a Windows-1252 code.
    edit_->setValidator(new TCp1252Validator(edit_));
    edit_->setText(preset);
    edit_->selectAll();
    layout->addWidget(edit_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(320);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString TInputBox::Text() const {
    return result() == Accepted ? edit_->text() : preset_;
}

void TInputBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
    edit_->setFocus();
    edit_->selectAll();
}
