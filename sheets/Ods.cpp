#include "sheets/Ods.h"

#include <QSet>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cstdint>

#include "sheets/SheetBudget.h"
#include "sheets/SheetErrors.h"
#include "sheets/SheetXml.h"
#include "sheets/Zip.h"

namespace {

constexpr const char* kMimeType = "application/vnd.oasis.opendocument.spreadsheet";
// The last row and column a sheet has; a cell with text beyond them is not one that a
// spreadsheet program shows.
constexpr std::int64_t kLastRow = 1048576;
constexpr std::int64_t kLastColumn = 16384;

// ---- reading ----

// A repeat count as given, at least 1; a count no sheet could hold is cut to one
// beyond the last row, so that every sum of them fits in 64 bits.
std::int64_t Repeat(const TSheetXml& xml, QStringView attribute) {
    bool ok = false;
    const qlonglong n = xml.Attribute(attribute).toLongLong(&ok);
    return ok && n > 1 ? std::min<std::int64_t>(n, kLastRow + 1) : 1;
}

// A paragraph's text as the reader sees it: white space in the XML collapses to one
// space and is dropped at the paragraph's start; <text:s/> stands for real spaces.
class TParagraph {
public:
    // Appends to `text`, which may hold the cell's paragraphs before this one.
    TParagraph(TSheetXml& xml, TCellText& text)
        : xml_(xml), text_(text), start_(text.Text().size()) {}

    // Stops where the text grows too long for a cell, the rest unread.
    void Read() {
        for (int depth = 1; depth > 0 && !text_.TooLong();) {
            switch (xml_.Next()) {
                case QXmlStreamReader::StartElement:
                    depth += Element() ? 1 : 0;
                    break;
                case QXmlStreamReader::EndElement:
                    --depth;
                    break;
                case QXmlStreamReader::Characters:
                    Characters(xml_.Characters());
                    break;
                case QXmlStreamReader::EndDocument:
                    xml_.Fault("it ends inside a paragraph");
                default:
                    break;
            }
        }
    }

private:
    // True when the element's content is part of the text (a span, a link).
    bool Element() {
        if (xml_.Is(u"s")) {
            text_.Append(u' ', static_cast<std::uint64_t>(Repeat(xml_, u"c")));
        } else if (xml_.Is(u"tab")) {
            text_.Append(u'\t', 1);
        } else if (xml_.Is(u"line-break")) {
            text_.Append(u'\n', 1);
        } else if (!xml_.Is(u"note") && !xml_.Is(u"annotation")) {
            return true;
        }
        afterSpace_ = false;
        xml_.Skip();
        return false;
    }

    void Characters(QStringView chars) {
        for (QChar c : chars) {
            const bool space = c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
            if (space && (afterSpace_ || text_.Text().size() == start_)) continue;
            text_.Append(space ? QChar(u' ') : c, 1);
            afterSpace_ = space;
            if (text_.TooLong()) return;
        }
    }

    TSheetXml& xml_;
    TCellText& text_;
    const qsizetype start_;  // where this paragraph's text begins
    bool afterSpace_ = false;
};

// The first visible table's rows, wherever they are grouped.
class TTableReader {
public:
    TTableReader(TSheetXml& xml, int later) : xml_(xml), later_(later) {}

    TSheet Sheet() {
        if (!Find(u"document-content")) xml_.Fault("it holds no table");
        while (xml_.NextChild()) {
            if (xml_.Is(u"automatic-styles")) {
                HiddenStyles();
            } else if (xml_.Is(u"body")) {
                if (!Find(u"spreadsheet")) break;
                while (xml_.NextChild()) {
                    const bool table = xml_.Is(u"table");
                    if (table && hiddenStyles_.contains(xml_.Attribute(u"style-name"))) {
                        const QString name = xml_.Attribute(u"name");
                        if (++hiddenCount_ <= 3)
                            hidden_.push_back(QuotedStart(Chars(name.left(21)), name.size()));
                        xml_.Skip();
                    } else if (!table || later_-- > 0) {  // not a table, or a sheet passed over
                        xml_.Skip();
                    } else {
                        sheet_.Name = xml_.Attribute(u"name").left(kCellCharacters).toStdString();
                        Rows();
                        xml_.End();
                        if (hiddenCount_ > 0)
                            sheet_.Notes.push_back({{}, HiddenSheetsNote(hidden_, hiddenCount_)});
                        return std::move(sheet_);
                    }
                }
                break;
            } else {
                xml_.Skip();
            }
        }
        xml_.Fault(hiddenCount_ > 0 ? "every table in it is hidden" : "it holds no table");
    }

private:
    bool Find(QStringView localName) {
        while (xml_.NextChild()) {
            if (xml_.Is(localName)) return true;
            xml_.Skip();
        }
        return false;
    }

    // The table styles that hide a table (table:display="false").
    void HiddenStyles() {
        while (xml_.NextChild()) {
            const QString name = xml_.Attribute(u"name");
            const bool tableStyle = xml_.Is(u"style") && xml_.Attribute(u"family") == u"table";
            while (tableStyle && xml_.NextChild()) {
                if (xml_.Is(u"table-properties") && xml_.Attribute(u"display") == u"false")
                    hiddenStyles_.insert(name);
                xml_.Skip();
            }
            if (!tableStyle) xml_.Skip();
        }
    }

    // Row groups may nest; they are walked by a count, not by calling down.
    void Rows() {
        for (int groups = 0;;) {
            if (!xml_.NextChild()) {
                if (groups-- == 0) return;
            } else if (xml_.Is(u"table-row")) {
                Row();
            } else if (xml_.Is(u"table-header-rows") || xml_.Is(u"table-rows") ||
                       xml_.Is(u"table-row-group")) {
                ++groups;
            } else {
                xml_.Skip();
            }
        }
    }

    void Row() {
        const std::int64_t repeat = Repeat(xml_, u"number-rows-repeated");
        TSheetRow row;
        row.Start = {int(std::min(row_, kLastRow)), 1, true};
        std::uint64_t characters = 0;
        std::int64_t column = 1;
        while (xml_.NextChild()) {
            if (!xml_.Is(u"table-cell") && !xml_.Is(u"covered-table-cell")) {
                xml_.Skip();
                continue;
            }
            const std::int64_t columns = Repeat(xml_, u"number-columns-repeated");
            const TSheetPlace place{int(std::min(row_, kLastRow)),
                                    int(std::min(column, kLastColumn)), true};
            TSheetCell cell = Cell(place);
            if (!cell.Text.empty()) {
                if (row_ > kLastRow || column + columns - 1 > kLastColumn) Beyond();
                // Charged before the copies are made; a cell has at most kCellCharacters
                // and a repeat is at most a sheet's rows, so the products fit.
                const std::uint64_t chars = std::uint64_t(columns) * cell.Text.size();
                budget_.Spend(place, std::uint64_t(columns), chars);
                characters += chars;
                for (std::int64_t k = 0; k < columns; ++k) {
                    cell.Column = int(column + k);
                    cell.Start = {int(row_), int(column + k), true};
                    row.Cells.push_back(cell);
                }
            }
            column += columns;
        }
        if (!row.Cells.empty()) {
            if (row_ + repeat - 1 > kLastRow) Beyond();
            const std::uint64_t copies = std::uint64_t(repeat - 1);
            budget_.Spend(row.Start, copies * row.Cells.size(), copies * characters);
            for (std::int64_t k = 0; k < repeat; ++k) {
                for (TSheetCell& cell : row.Cells) cell.Start.Row = int(row_ + k);
                row.Start.Row = int(row_ + k);
                sheet_.Rows.push_back(row);
            }
        }
        row_ += repeat;
    }

    [[noreturn]] static void Beyond() {
        throw ESheetRefused({},
                            "a cell with text lies beyond the last row or column a sheet "
                            "has (row " +
                                Grouped(kLastRow) + ", column " + Grouped(kLastColumn) +
                                "), where no spreadsheet shows it");
    }

    TSheetCell Cell(const TSheetPlace& place) {
        const QString type = xml_.Attribute(u"value-type");
        const QString value = xml_.Attribute(u"value");
        TCellText text;
        int paragraphs = 0;
        while (xml_.NextChild()) {
            if (xml_.Is(u"p")) {
                if (paragraphs++ > 0) text.Append(u'\n', 1);
                TParagraph(xml_, text).Read();
                if (text.TooLong()) RefuseLongCell(place, Chars(text.Text()));
            } else {
                xml_.Skip();
            }
        }
        TSheetCell cell;
        cell.IsNumber = type == u"float" || type == u"percentage" || type == u"currency";
        cell.IsDate = type == u"date" || type == u"time";
        cell.IsTruth = type == u"boolean";
        // A number's value, not the digits its format shows.
        if (cell.IsNumber && !value.isEmpty()) {
            if (static_cast<std::size_t>(value.size()) > kCellCharacters)
                RefuseLongCell(place, Chars(QStringView(value).first(kCellCharacters)));
            cell.Text = Chars(value);
        } else {
            cell.Text = Chars(text.Text());
        }
        return cell;
    }

    TSheetXml& xml_;
    int later_;  // visible tables still to pass over
    TSheet sheet_;
    TSheetBudget budget_;
    QSet<QString> hiddenStyles_;
    std::vector<std::string> hidden_;  // the first hidden tables passed over, quoted
    std::size_t hiddenCount_ = 0;
    std::int64_t row_ = 1;
};

// ---- writing ----

const QString kOffice = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString kStyle = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString kText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString kTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString kNumber = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0");
const QString kFo = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");

// A text in a paragraph: the spaces a reader would collapse or drop written as <text:s/>.
void WriteParagraph(QXmlStreamWriter& xml, const QString& text) {
    xml.writeStartElement(kText, QStringLiteral("p"));
    QString run;
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (text[k] == u' ' && (k == 0 || text[k - 1] == u' ')) {
            xml.writeCharacters(run);
            run.clear();
            xml.writeEmptyElement(kText, QStringLiteral("s"));
        } else {
            run += text[k];
        }
    }
    xml.writeCharacters(run);
    xml.writeEndElement();
}

void WriteStyles(QXmlStreamWriter& xml) {
    xml.writeStartElement(kOffice, QStringLiteral("automatic-styles"));
    xml.writeStartElement(kNumber, QStringLiteral("text-style"));
    xml.writeAttribute(kStyle, QStringLiteral("name"), QStringLiteral("N100"));
    xml.writeEmptyElement(kNumber, QStringLiteral("text-content"));
    xml.writeEndElement();
    xml.writeStartElement(kStyle, QStringLiteral("style"));
    xml.writeAttribute(kStyle, QStringLiteral("name"), QStringLiteral("co1"));
    xml.writeAttribute(kStyle, QStringLiteral("family"), QStringLiteral("table-column"));
    xml.writeEmptyElement(kStyle, QStringLiteral("table-column-properties"));
    xml.writeAttribute(kStyle, QStringLiteral("column-width"), QStringLiteral("1.25in"));
    xml.writeEndElement();
    xml.writeEmptyElement(kStyle, QStringLiteral("style"));  // text, by its data style
    xml.writeAttribute(kStyle, QStringLiteral("name"), QStringLiteral("ce1"));
    xml.writeAttribute(kStyle, QStringLiteral("family"), QStringLiteral("table-cell"));
    xml.writeAttribute(kStyle, QStringLiteral("data-style-name"), QStringLiteral("N100"));
    xml.writeEndElement();
}

std::string ContentXml(const TSheetTexts& rows) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    const std::pair<QString, const char*> spaces[] = {{kOffice, "office"}, {kStyle, "style"},
                                                      {kText, "text"},     {kTable, "table"},
                                                      {kNumber, "number"}, {kFo, "fo"}};
    for (const auto& [uri, prefix] : spaces) xml.writeNamespace(uri, QString::fromLatin1(prefix));
    xml.writeStartElement(kOffice, QStringLiteral("document-content"));
    xml.writeAttribute(kOffice, QStringLiteral("version"), QStringLiteral("1.2"));
    WriteStyles(xml);
    xml.writeStartElement(kOffice, QStringLiteral("body"));
    xml.writeStartElement(kOffice, QStringLiteral("spreadsheet"));
    xml.writeStartElement(kTable, QStringLiteral("table"));
    xml.writeAttribute(kTable, QStringLiteral("name"), QStringLiteral("Group"));
    std::size_t columns = 1;
    for (const auto& row : rows) columns = std::max(columns, row.size());
    xml.writeEmptyElement(kTable, QStringLiteral("table-column"));
    xml.writeAttribute(kTable, QStringLiteral("style-name"), QStringLiteral("co1"));
    xml.writeAttribute(kTable, QStringLiteral("number-columns-repeated"), QString::number(columns));
    xml.writeAttribute(kTable, QStringLiteral("default-cell-style-name"), QStringLiteral("ce1"));
    for (const auto& row : rows) {
        xml.writeStartElement(kTable, QStringLiteral("table-row"));
        for (const std::string& text : row) {
            if (text.empty()) {
                xml.writeEmptyElement(kTable, QStringLiteral("table-cell"));
                continue;
            }
            xml.writeStartElement(kTable, QStringLiteral("table-cell"));
            xml.writeAttribute(kTable, QStringLiteral("style-name"), QStringLiteral("ce1"));
            xml.writeAttribute(kOffice, QStringLiteral("value-type"), QStringLiteral("string"));
            WriteParagraph(xml, QtText(text));
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return out.toStdString();
}

constexpr const char* kManifest =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
    "manifest:version=\"1.2\">"
    "<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" "
    "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
    "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
    "</manifest:manifest>";

}  // namespace

TSheet ReadOds(std::string_view bytes, int later) {
    TZipReader zip(bytes);
    TSheetXml xml(zip, "content.xml");
    return TTableReader(xml, later).Sheet();
}

std::string WriteOds(const TSheetTexts& rows) {
    TZipWriter zip;
    zip.Add("mimetype", kMimeType, false);  // first and stored, so that it can be recognised
    zip.Add("META-INF/manifest.xml", kManifest);
    zip.Add("content.xml", ContentXml(rows));
    return zip.Finish();
}
