#include "sheets/CellText.h"

#include <QList>
#include <QString>

#include "base/Cp1252.h"

std::optional<std::size_t> MojibakeAt(std::u32string_view text) {
    if (text.substr(0, 3) == U"\u00EF\u00BB\u00BF") return 0;
    for (std::size_t k = 0; k + 1 < text.size(); ++k) {
        if (text[k] != U'\u00C3' && text[k] != U'\u00C2') continue;
        const std::optional<unsigned char> next = Cp1252Code(text[k + 1]);
        if (next && *next >= 0x80 && *next <= 0xBF) return k;
    }
    return std::nullopt;
}

std::u32string Composed(const std::u32string& text) {
    const QString composed = QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()))
                                 .normalized(QString::NormalizationForm_C);
    const QList<uint> chars = composed.toUcs4();
    return std::u32string(chars.begin(), chars.end());
}
