#include "shell/THaltguardApplication.h"

#include <QFont>
#include <exception>
#include <string>

#include "serial/WorkerErrors.h"
#include "shell/ExceptionBox.h"

THaltguardApplication::THaltguardApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The windows are designed in "MS Sans Serif"; elsewhere a plain sans serif of
    // about its width stands in (the wide faces clip the designed captions).
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"),
        {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
         QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
         QStringLiteral("DejaVu Sans")});
    // The windows decide themselves when the program ends.
    setQuitOnLastWindowClosed(false);
    // Workers run on their own threads: their reports are shown on this one.
    // The reporter is taken away again before this object goes.
    SetWorkerErrorReporter([this](const std::string& message) {
        QMetaObject::invokeMethod(
            this, [message] { ShowExceptionBox(message); }, Qt::QueuedConnection);
    });
}

THaltguardApplication::~THaltguardApplication() {
    SetWorkerErrorReporter(nullptr);
}

bool THaltguardApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowExceptionBox(error);
    } catch (...) {
        ShowExceptionBox(kUnknownErrorText);
    }
    return false;
}
