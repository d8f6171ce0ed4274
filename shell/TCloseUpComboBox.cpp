#include "shell/TCloseUpComboBox.h"

#include <QAbstractItemView>
#include <QEvent>

void TCloseUpComboBox::showPopup() {
    view()->window()->installEventFilter(this);  // the pop-up (a second call adds none)
    QComboBox::showPopup();
    // Qt opens no list without entries; the click still opened and closed an empty one.
    if (count() == 0) {
        QueueCloseUp();
        return;
    }
    listOpen_ = true;
}

bool TCloseUpComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide && listOpen_ && watched == view()->window()) {
        listOpen_ = false;
        QueueCloseUp();
    }
    return QComboBox::eventFilter(watched, event);
}

void TCloseUpComboBox::QueueCloseUp() {
    QMetaObject::invokeMethod(this, &TCloseUpComboBox::closeUp, Qt::QueuedConnection);
}
