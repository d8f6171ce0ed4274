#include "shell/TCp1252Validator.h"

#include "base/Cp1252.h"

QValidator::State TCp1252Validator::validate(QString& input, int& pos) const {
    // Drop what has no code, keeping the caret after the same kept characters.
    QString kept;
    kept.reserve(input.size());
    int keptPos = 0;
    bool dropped = false;
    for (int i = 0; i < input.size();) {
        const bool pair = input.at(i).isHighSurrogate() && i + 1 < input.size() &&
                          input.at(i + 1).isLowSurrogate();
        const int width = pair ? 2 : 1;
        const char32_t cp = pair ? QChar::surrogateToUcs4(input.at(i), input.at(i + 1))
                                 : char32_t(input.at(i).unicode());
        if (Cp1252Code(cp).has_value()) {
            kept.append(input.mid(i, width));
            if (i < pos) keptPos += width;
        } else {
            dropped = true;
        }
        i += width;
    }
    if (dropped) {
        input = kept;
        pos = keptPos;
    }
    return Acceptable;
}
