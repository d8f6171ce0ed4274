#include "sheets/Ods.h"

#include <QXmlStreamWriter>
#include <algorithm>

#include "sheets/SheetXml.h"
#include "sheets/Zip.h"

namespace {

constexpr const char* kMimeType = "application/vnd.oasis.opendocument.spreadsheet";
constexpr std::size_t kMaxRepeat = 1048576;

// ---- reading ----

int Repeat(const TSheetXml& xml, QStringView attribute) {
    bool ok = false;
    const qlonglong n = xml.Attribute(attribute).toLongLong(&ok);
    return ok && n > 1 ? int(std::min<qlonglong>(n, kMaxRepeat)) : 1;
}

// A paragraph's text as the reader sees it: white space in the XML collapses to one
// space and is dropped at the paragraph's start; <text:s/> stands for real spaces.
class TParagraph {
public:
    explicit TParagraph(TSheetXml& xml) : xml_(xml) {}

    QString Read() {
        for (int depth = 1; depth > 0;) {
            switch (xml_.readNext()) {
                case QXmlStreamReader::StartElement:
                    depth += Element() ? 1 : 0;
                    break;
                case QXmlStreamReader::EndElement:
                    --depth;
                    break;
                case QXmlStreamReader::Characters:
                    Characters(xml_.text());
                    break;
                case QXmlStreamReader::Invalid:
                    xml_.Fault(xml_.errorString().toStdString());
                default:
                    break;
            }
        }
        return text_;
    }

private:
    // True when the element's content is part of the text (a span, a link).
    bool Element() {
        if (xml_.Is(u"s")) {
            text_ += QString(std::clamp(Repeat(xml_, u"c"), 1, 1000), u' ');
        } else if (xml_.Is(u"tab")) {
            text_ += u'\t';
        } else if (xml_.Is(u"line-break")) {
            text_ += u'\n';
        } else if (!xml_.Is(u"note") && !xml_.Is(u"annotation")) {
            return true;
        }
        afterSpace_ = false;
        xml_.skipCurrentElement();
        return false;
    }

    void Characters(QStringView chars) {
        for (QChar c : chars) {
            const bool space = c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
            if (space && (afterSpace_ || text_.isEmpty())) continue;
            text_ += space ? QChar(u' ') : c;
            afterSpace_ = space;
        }
    }

    TSheetXml& xml_;
    QString text_;
    bool afterSpace_ = false;
};

class TTableReader {
public:
    explicit TTableReader(TSheetXml& xml) : xml_(xml) {}

    // Descends to the first table and reads its rows, wherever they are grouped.
    std::vector<TSheetRow> Rows() {
        for (const char16_t* level : {u"document-content", u"body", u"spreadsheet", u"table"})
            if (!Find(level)) xml_.Fault("it holds no table");
        Rows(rows_);
        return std::move(rows_);
    }

private:
    bool Find(QStringView localName) {
        while (xml_.NextChild()) {
            if (xml_.Is(localName)) return true;
            xml_.skipCurrentElement();
        }
        return false;
    }

    void Rows(std::vector<TSheetRow>& rows) {
        while (xml_.NextChild()) {
            if (xml_.Is(u"table-row")) {
                const int repeat = Repeat(xml_, u"number-rows-repeated");
                TSheetRow row = Row();
                if (!row.Cells.empty()) budget_.Spend(row.Cells.size() * std::size_t(repeat));
                for (int k = 0; k < repeat && !row.Cells.empty(); ++k) {
                    for (TSheetCell& cell : row.Cells) cell.Start.Row = row_ + k;
                    row.Start.Row = row_ + k;
                    rows.push_back(row);
                }
                row_ += repeat;
            } else if (xml_.Is(u"table-header-rows") || xml_.Is(u"table-rows") ||
                       xml_.Is(u"table-row-group")) {
                Rows(rows);
            } else {
                xml_.skipCurrentElement();
            }
        }
    }

    TSheetRow Row() {
        TSheetRow row;
        row.Start = {row_, 1, true};
        int column = 1;
        while (xml_.NextChild()) {
            if (!xml_.Is(u"table-cell") && !xml_.Is(u"covered-table-cell")) {
                xml_.skipCurrentElement();
                continue;
            }
            const int repeat = Repeat(xml_, u"number-columns-repeated");
            TSheetCell cell = Cell();
            if (!cell.Text.empty()) {
                budget_.Spend(std::size_t(repeat));
                for (int k = 0; k < repeat; ++k) {
                    cell.Column = column + k;
                    cell.Start = {row_, column + k, true};
                    row.Cells.push_back(cell);
                }
            }
            column += repeat;
        }
        return row;
    }

    TSheetCell Cell() {
        const QString type = xml_.Attribute(u"value-type");
        const QString value = xml_.Attribute(u"value");
        QString text;
        int paragraphs = 0;
        while (xml_.NextChild()) {
            if (xml_.Is(u"p")) {
                if (paragraphs++ > 0) text += u'\n';
                text += TParagraph(xml_).Read();
            } else {
                xml_.skipCurrentElement();
            }
        }
        TSheetCell cell;
        cell.IsNumber = type == u"float" || type == u"percentage" || type == u"currency";
        cell.IsDate = type == u"date" || type == u"time";
        // A number's value, not the digits its format shows.
        cell.Text = Chars(cell.IsNumber && !value.isEmpty() ? value : text);
        return cell;
    }

    TSheetXml& xml_;
    std::vector<TSheetRow> rows_;
    TCellBudget budget_;
    int row_ = 1;
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

TSheet ReadOds(std::string_view bytes) {
    TZipReader zip(bytes);
    TSheetXml xml("content.xml", zip.Read("content.xml"));
    TSheet sheet;
    sheet.Rows = TTableReader(xml).Rows();
    return sheet;
}

std::string WriteOds(const TSheetTexts& rows) {
    TZipWriter zip;
    zip.Add("mimetype", kMimeType, false);  // first and stored, so that it can be recognised
    zip.Add("META-INF/manifest.xml", kManifest);
    zip.Add("content.xml", ContentXml(rows));
    return zip.Finish();
}
