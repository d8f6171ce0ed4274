#pragma once
// The line of the configuration window that tells what the user's last action came
// to and when ("Saved, 12:14"), until the next action. It lies below the group box,
// in the upper tab control's free strip, which the status box covers during a link
// session: it stays hidden while that box is up.
#include <QObject>
#include <QString>
#include <string>

class QLabel;

class TOutcomeLine : public QObject {
    Q_OBJECT
public:
    explicit TOutcomeLine(QObject* parent = nullptr) : QObject(parent) {}
    // The window's designed line, once the window has made it; it stays the window's.
    void SetLabel(QLabel* label);

    // "" empties the line; any other text is shown with the time it was told.
    void Show(const std::string& what);
    void SetCovered(bool covered);  // the status box is up
    // The whole text as told, time included; the label may show it shortened.
    QString Text() const { return text_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Paint();

    QLabel* label_ = nullptr;
    QString text_;
    bool covered_ = false;
};
