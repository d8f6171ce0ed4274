#include "shell/TCloseUpComboBox.h"

#include <QAbstractItemView>

void TCloseUpComboBox::showPopup() {
    QComboBox::showPopup();
    // Qt opens no list without entries; the click still opened and closed an empty one.
    if (count() == 0) {
        QueueCloseUp();
        return;
    }
    listOpen_ = true;
}

void TCloseUpComboBox::hidePopup() {
    // The list may have gone without this call (the window lost the screen): only a
    // list that is still up closes now.
    const bool closing = listOpen_ && view()->isVisible();
    listOpen_ = false;
    QComboBox::hidePopup();
    if (closing) QueueCloseUp();
}

void TCloseUpComboBox::QueueCloseUp() {
    QMetaObject::invokeMethod(this, &TCloseUpComboBox::closeUp, Qt::QueuedConnection);
}
