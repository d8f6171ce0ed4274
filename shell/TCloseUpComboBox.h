#pragma once
// A drop-down list that tells when its list has closed, whether or not an entry
// was chosen.
#include <QComboBox>

class TCloseUpComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void hidePopup() override;

signals:
    // Queued behind the closing, so that a choice made with the closing click or
    // key has already changed the current entry when this arrives.
    void closeUp();
};
