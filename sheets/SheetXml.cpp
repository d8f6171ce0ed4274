#include "sheets/SheetXml.h"

#include "sheets/SheetBudget.h"
#include "sheets/SheetErrors.h"

namespace {

// A sheet nests a dozen elements at most; a file that nests far deeper is not one.
constexpr int kDeepest = 100;

}  // namespace

void TCellText::Append(QStringView text) {
    const std::size_t room = kCellCharacters - static_cast<std::size_t>(text_.size());
    if (static_cast<std::size_t>(text.size()) > room) tooLong_ = true;
    text_ += text.first(static_cast<qsizetype>(std::min<std::size_t>(room, text.size())));
}

void TCellText::Append(QChar c, std::uint64_t count) {
    const std::size_t room = kCellCharacters - static_cast<std::size_t>(text_.size());
    if (count > room) tooLong_ = true;
    for (std::uint64_t k = std::min<std::uint64_t>(room, count); k > 0; --k) text_ += c;
}

TSheetXml::TSheetXml(TZipReader& zip, const std::string& entry) : zip_(zip), entry_(entry) {
    zip_.Open(entry);
}

QXmlStreamReader::TokenType TSheetXml::Next() {
    QXmlStreamReader::TokenType token = xml_.readNext();
    // The reader stops where its data ends and goes on from there once given more.
    while (token == QXmlStreamReader::Invalid &&
           xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
        const std::string piece = zip_.ReadSome();
        if (piece.empty()) break;
        xml_.addData(QByteArray(piece.data(), static_cast<qsizetype>(piece.size())));
        token = xml_.readNext();
    }
    switch (token) {
        case QXmlStreamReader::Invalid:
            Fault(xml_.errorString().toStdString());
        case QXmlStreamReader::DTD:
            // Its entities would put text into cells that no spreadsheet shows, or
            // reach for other files.
            Fault("it declares a DOCTYPE, which no spreadsheet part has");
        case QXmlStreamReader::EntityReference:
            Fault("it names an entity of its own, which no spreadsheet part has");
        case QXmlStreamReader::StartElement:
            if (++depth_ > kDeepest)
                Fault("elements nested more than " + std::to_string(kDeepest) +
                      " deep; a spreadsheet nests a few");
            break;
        case QXmlStreamReader::EndElement:
            --depth_;
            break;
        default:
            break;
    }
    return token;
}

bool TSheetXml::NextChild() {
    for (;;) {
        switch (Next()) {
            case QXmlStreamReader::StartElement:
                return true;
            case QXmlStreamReader::EndElement:
            case QXmlStreamReader::EndDocument:
                return false;
            default:
                break;
        }
    }
}

void TSheetXml::Skip() {
    for (int depth = 1; depth > 0;) {
        switch (Next()) {
            case QXmlStreamReader::StartElement:
                ++depth;
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                break;
            case QXmlStreamReader::EndDocument:
                Fault("it ends inside an element");
            default:
                break;
        }
    }
}

void TSheetXml::ReadText(TCellText& text) {
    for (;;) {
        switch (Next()) {
            case QXmlStreamReader::Characters:
                text.Append(xml_.text());
                break;
            case QXmlStreamReader::StartElement:
                Fault("an element inside a value");
            case QXmlStreamReader::EndElement:
                return;
            case QXmlStreamReader::EndDocument:
                Fault("it ends inside an element");
            default:
                break;
        }
    }
}

void TSheetXml::End() {
    while (!zip_.ReadSome().empty()) {
    }
}

QString TSheetXml::Attribute(QStringView localName) const {
    for (const QXmlStreamAttribute& a : xml_.attributes())
        if (a.name() == localName) return a.value().toString();
    return {};
}

void TSheetXml::Fault(const std::string& why) const {
    throw ESheetFormat(entry_ + " cannot be read (line " + std::to_string(xml_.lineNumber()) +
                       ": " + why + ")");
}

std::u32string Chars(QStringView text) {
    const QList<uint> ucs4 = text.toUcs4();
    return std::u32string(ucs4.begin(), ucs4.end());
}

QString QtText(const std::string& utf8) {
    return QString::fromStdString(utf8);
}
