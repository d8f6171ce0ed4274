#include "sheets/SheetXml.h"

#include "sheets/SheetErrors.h"

bool TSheetXml::NextChild() {
    const bool found = readNextStartElement();
    if (hasError()) Fault(errorString().toStdString());
    return found;
}

QString TSheetXml::Attribute(QStringView localName) const {
    for (const QXmlStreamAttribute& a : attributes())
        if (a.name() == localName) return a.value().toString();
    return {};
}

void TSheetXml::Fault(const std::string& why) const {
    throw ESheetFormat(entry_ + " cannot be read (line " + std::to_string(lineNumber()) + ": " +
                       why + ")");
}

void TCellBudget::Spend(std::size_t cells) {
    if (cells > left_)
        throw ESheetFormat("its first sheet has more than 100,000 cells; a group has about 400");
    left_ -= cells;
}

std::u32string Chars(const QString& text) {
    const QList<uint> ucs4 = text.toUcs4();
    return std::u32string(ucs4.begin(), ucs4.end());
}

QString QtText(const std::string& utf8) {
    return QString::fromStdString(utf8);
}
