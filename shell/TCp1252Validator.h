#pragma once
// Keeps characters without a Windows-1252 code out of a text box, whatever brings
// them in (paste, drop, middle click). Everything else passes unchanged.
#include <QValidator>

class TCp1252Validator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};
