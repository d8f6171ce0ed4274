#pragma once
// The real information, confirmation and input boxes, each modal and centred on
// the screen.
#include <QDialog>

#include "base/MessageBoxes.h"

class QLineEdit;

class TQtMessageBoxes : public TMessageBoxes {
public:
    void Information(const std::string& text) override;
    TConfirmAnswer Confirm(const std::string& question) override;
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override;
};

// The input box: a prompt above a one-line text box of at most 255 characters,
// which keeps out what has no Windows-1252 code; OK (the default) and Cancel (also
// Esc and the close box).
class TInputBox : public QDialog {
    Q_OBJECT
public:
    TInputBox(const QString& caption, const QString& prompt, const QString& preset,
              QWidget* parent = nullptr);
    QString Text() const;  // the edited text after OK, the preset text otherwise

    static constexpr int kMaxLength = 255;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* edit_;
    QString preset_;
};
