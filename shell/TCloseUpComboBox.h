#pragma once
// A drop-down list that tells when its list has closed, whether or not an entry
// was chosen. Only a list that was open closes: Qt also calls hidePopup when the
// box itself is hidden (another tab, a minimised window, the status box of a
// session), and that must not reload the group over the user's edits.
#include <QComboBox>

class TCloseUpComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;
    void hidePopup() override;

signals:
    // Queued behind the closing, so that a choice made with the closing click or
    // key has already changed the current entry when this arrives.
    void closeUp();

private:
    void QueueCloseUp();

    bool listOpen_ = false;
};
