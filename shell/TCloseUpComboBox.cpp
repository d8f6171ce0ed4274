#include "shell/TCloseUpComboBox.h"

void TCloseUpComboBox::hidePopup() {
    QComboBox::hidePopup();
    QMetaObject::invokeMethod(this, &TCloseUpComboBox::closeUp, Qt::QueuedConnection);
}
