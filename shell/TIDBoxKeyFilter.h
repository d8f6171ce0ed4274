#pragma once
// The key filter of the 128 ID boxes (Edit1KeyPress), watching them as an event
// filter: every character that reaches a box, typed or committed by an input
// method, is judged by the key rule of store/IDRules.h; each refused one gets the message,
// and only the taken ones go in.
#include <QObject>

class QString;
class THandlerRunner;
class TMessageBoxes;

class TIDBoxKeyFilter : public QObject {
    Q_OBJECT
public:
    TIDBoxKeyFilter(THandlerRunner& handlers, TMessageBoxes& boxes, QObject* parent);

protected:
    bool eventFilter(QObject* box, QEvent* event) override;

private:
    // One message for each refused character; gives the characters that go in.
    QString Edit1KeyPress(const QString& typed);

    THandlerRunner& handlers_;
    TMessageBoxes& boxes_;
};
