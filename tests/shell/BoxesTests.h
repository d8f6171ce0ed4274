#pragma once
#include <QObject>

// The real boxes: information, confirmation, input and the default error box,
// and the error box reached from notify and from the serial workers.
class TBoxesTests : public QObject {
    Q_OBJECT
private slots:
    void informationBox();
    void confirmationBox();
    void inputBox();
    void errorBox();
    void exceptionLeavingAHandler();
    void workerErrorsReachTheErrorBox();
};
