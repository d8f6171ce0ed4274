#pragma once
// Driving the program's real windows from outside, as a user's tools would: controls
// found by object name, the boxes answered when they come up.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/MessageBoxes.h"
#include "shell/TQtMessageBoxes.h"

template <class T = QWidget>
T* Child(const QObject* window, const char* name) {
    return window->findChild<T*>(QString::fromLatin1(name));
}

// The ID box at slot table position k (vehicle slot v at v, trailer slot t at 96 + t).
inline QLineEdit* IDBox(const QObject* window, int k) {
    return window->findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(k + 1));
}

inline bool ExitRed(const QObject* window) {
    return Child(window, "ExitButton")->palette().color(QPalette::ButtonText) == QColor(255, 0, 0);
}

// Opens the group list, picks the entry named `name` and closes the list; the
// close-up follows from the event loop.
inline void ChooseGroup(const QObject* window, const QString& name) {
    auto* combo = Child<QComboBox>(window, "GroupNameComboBox");
    combo->showPopup();
    const int index = combo->findText(name, Qt::MatchExactly);
    if (index >= 0) combo->setCurrentIndex(index);
    combo->hidePopup();
}

// Answers the information, confirmation, input and error boxes for as long as it
// lives, noting what they said: questions take the queued answers (none left:
// Cancel), input boxes the queued texts (none left: Cancel, which gives the preset
// back). No box waits for a click in a test.
class TScriptedBoxes : public QObject {
public:
    struct TInputCall {
        std::string Caption, Prompt, Preset;
    };
    std::vector<std::string> Shown;  // informations and questions, in order
    std::vector<std::string> Informations;
    std::vector<std::string> Questions;
    std::vector<TInputCall> Inputs;
    QStringList Errors, ErrorCaptions;  // the error boxes
    std::deque<TConfirmAnswer> Answers;
    std::deque<std::string> Texts;
    // Runs while a box is up, as if the user did something meanwhile.
    std::function<void()> WhileShown;

    TScriptedBoxes() { QCoreApplication::instance()->installEventFilter(this); }
    void Clear() {
        Shown.clear();
        Informations.clear();
        Questions.clear();
        Inputs.clear();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) return false;
        auto* box = qobject_cast<QDialog*>(watched);
        if (!qobject_cast<QMessageBox*>(box) && !qobject_cast<TInputBox*>(box)) return false;
        // Answered once, by the object made last, from the box's own loop once it is up.
        if (box->property("answered").toBool()) return false;
        box->setProperty("answered", true);
        QMetaObject::invokeMethod(
            box, [this, box] { Answer(box); }, Qt::QueuedConnection);
        return false;
    }

private:
    void Answer(QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (box && box->icon() == QMessageBox::Critical) {
            Errors << box->text();
            ErrorCaptions << box->windowTitle();
            if (WhileShown) WhileShown();
            return box->done(QMessageBox::Ok);
        }
        if (box) {
            const bool question = box->icon() == QMessageBox::Question;
            Shown.push_back(box->text().toStdString());
            (question ? Questions : Informations).push_back(Shown.back());
            if (WhileShown) WhileShown();
            TConfirmAnswer answer = TConfirmAnswer::Cancel;
            if (question && !Answers.empty()) answer = Answers.front();
            if (question && !Answers.empty()) Answers.pop_front();
            const QString button = !question                       ? QStringLiteral("OK")
                                   : answer == TConfirmAnswer::Yes ? QStringLiteral("&Yes")
                                   : answer == TConfirmAnswer::No  ? QStringLiteral("&No")
                                                                   : QStringLiteral("Cancel");
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button) b->click();
            return;
        }
        auto* edit = dialog->findChild<QLineEdit*>();
        Inputs.push_back({dialog->windowTitle().toStdString(),
                          dialog->findChild<QLabel*>()->text().toStdString(),
                          edit->text().toStdString()});
        if (WhileShown) WhileShown();
        if (Texts.empty()) return dialog->reject();
        edit->setText(QString::fromStdString(Texts.front()));
        Texts.pop_front();
        dialog->accept();
    }
};
