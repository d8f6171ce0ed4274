#include "shell/ExceptionBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <utility>

#include "shell/Placement.h"

namespace {

TExceptionBoxPresenter& Presenter() {
    static TExceptionBoxPresenter presenter;
    return presenter;
}

void ShowRealBox(const QString& caption, const QString& text) {
    TCentredMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace

std::string ExceptionBoxText(const std::string& message) {
    const QString text = QString::fromStdString(message);
    if (text.isEmpty()) return message;
    const QList<uint> codePoints = text.toUcs4();
    if (codePoints.back() > uint('.')) return message + ".";
    return message;
}

QString ApplicationTitle() {
    return QCoreApplication::applicationName();
}

void ShowExceptionBox(const std::exception& error) {
    ShowExceptionBox(std::string(error.what()));
}

void ShowExceptionBox(const std::string& message) {
    const QString caption = ApplicationTitle();
    const QString text = QString::fromStdString(ExceptionBoxText(message));
    if (Presenter())
        Presenter()(caption, text);
    else
        ShowRealBox(caption, text);
}

void SetExceptionBoxPresenter(TExceptionBoxPresenter presenter) {
    Presenter() = std::move(presenter);
}
