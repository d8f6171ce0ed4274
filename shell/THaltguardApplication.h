#pragma once
// The application object. The configuration window's handlers end their exceptions
// through their runner (THandlerRunner); whatever else leaves an event handler ends
// in the default error box here, and the serial workers' errors are shown the same
// way on the GUI thread.
#include <QApplication>

class THaltguardApplication : public QApplication {
    Q_OBJECT
public:
    THaltguardApplication(int& argc, char** argv);
    ~THaltguardApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;
};
