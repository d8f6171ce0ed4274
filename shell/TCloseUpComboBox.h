#pragma once
// A drop-down list that tells when its list has closed, whether or not an entry
// was chosen, however it closed: a choice, Esc, a click outside, or the window
// system closing the pop-up because another window came to the front (which
// passes hidePopup by). So the pop-up itself is watched. Only a list that was open
// closes: the box merely hidden (another tab, a minimised window, the status box
// of a session) must not reload the group over the user's edits.
#include <QComboBox>

class TCloseUpComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

signals:
    // Queued behind the closing, so that a choice made with the closing click or
    // key has already changed the current entry when this arrives.
    void closeUp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void QueueCloseUp();

    bool listOpen_ = false;
};
