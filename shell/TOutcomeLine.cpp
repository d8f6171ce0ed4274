#include "shell/TOutcomeLine.h"

#include <QEvent>
#include <QLabel>
#include <QTime>

void TOutcomeLine::SetLabel(QLabel* label) {
    label_ = label;
    // A font or style change elides afresh.
    label_->installEventFilter(this);
    Paint();
}

void TOutcomeLine::Show(const std::string& what) {
    // Hours and minutes: the line answers "did it work, and was that just now?".
    text_ = what.empty() ? QString()
                         : QString::fromStdString(what) + QStringLiteral(", ") +
                               QTime::currentTime().toString(QStringLiteral("HH:mm"));
    Paint();
}

void TOutcomeLine::SetCovered(bool covered) {
    covered_ = covered;
    Paint();
}

bool TOutcomeLine::eventFilter(QObject* watched, QEvent* event) {
    if (watched == label_ &&
        (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        Paint();
    return QObject::eventFilter(watched, event);
}

void TOutcomeLine::Paint() {
    if (!label_) return;
    // One line has room for the short outcomes; a longer one is cut at its end, and
    // the hint and the accessibility bus carry it whole.
    const QString shown = label_->fontMetrics().elidedText(text_, Qt::ElideRight, label_->width());
    label_->setText(shown);
    label_->setToolTip(shown == text_ ? QString() : text_);
    label_->setAccessibleName(text_);
    label_->setVisible(!text_.isEmpty() && !covered_);
}
