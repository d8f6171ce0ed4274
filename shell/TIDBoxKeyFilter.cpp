#include "shell/TIDBoxKeyFilter.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include "base/MessageBoxes.h"
#include "shell/THandlerRunner.h"
#include "store/IDRules.h"

namespace {

constexpr const char* kRejectedKeyMessage = "Please enter an alphabetical or numerical character";

}  // namespace

TIDBoxKeyFilter::TIDBoxKeyFilter(THandlerRunner& handlers, TMessageBoxes& boxes, QObject* parent)
    : QObject(parent), handlers_(handlers), boxes_(boxes) {}

bool TIDBoxKeyFilter::eventFilter(QObject* box, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Keys that type no character never reach the filter. Delete carries code 127
        // here, but types nothing.
        if (key->key() == Qt::Key_Delete || key->text().isEmpty()) return false;
        const QString kept = Edit1KeyPress(key->text());
        if (kept == key->text()) return false;
        if (!kept.isEmpty()) {
            QKeyEvent rest(key->type(), key->key(), key->modifiers(), kept);
            QCoreApplication::sendEvent(box, &rest);
        }
        return true;
    }
    if (event->type() == QEvent::InputMethod) {
        // Text an input method commits (a dead key, a compose sequence) is typed too.
        auto* input = static_cast<QInputMethodEvent*>(event);
        const QString kept = Edit1KeyPress(input->commitString());
        if (kept == input->commitString()) return false;
        QInputMethodEvent rest(input->preeditString(), input->attributes());
        rest.setCommitString(kept, input->replacementStart(), input->replacementLength());
        QCoreApplication::sendEvent(box, &rest);
        return true;
    }
    return false;
}

QString TIDBoxKeyFilter::Edit1KeyPress(const QString& typed) {
    const TTypedText text = FilterTypedText(typed.toStdString());
    if (text.Rejected > 0)
        handlers_.Run([this, &text] {
            for (int i = 0; i < text.Rejected; ++i) boxes_.Information(kRejectedKeyMessage);
        });
    return QString::fromStdU32String(text.Accepted);
}
