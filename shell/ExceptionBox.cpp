#include "shell/ExceptionBox.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "shell/Placement.h"

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
    TCentredMessageBox box(QMessageBox::Critical, ApplicationTitle(),
                           QString::fromStdString(ExceptionBoxText(message)), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
