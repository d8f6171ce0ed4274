#include "sheets/Xlsx.h"

#include <QXmlStreamWriter>
#include <algorithm>
#include <map>
#include <vector>

#include "sheets/SheetXml.h"
#include "sheets/Zip.h"

namespace {

// ---- reading ----

struct TRelation {
    QString Type, Target;
};
using TRelations = std::map<QString, TRelation>;

// The relationships of a package part: "xl/workbook.xml" has "xl/_rels/workbook.xml.rels".
TRelations RelationsOf(TZipReader& zip, const std::string& part) {
    const std::size_t slash = part.rfind('/') + 1;  // 0 when there is none
    const std::string entry = part.substr(0, slash) + "_rels/" + part.substr(slash) + ".rels";
    TRelations out;
    if (!zip.Has(entry)) return out;
    TSheetXml xml(entry, zip.Read(entry));
    xml.NextChild();  // Relationships
    while (xml.NextChild()) {
        if (xml.Is(u"Relationship"))
            out[xml.Attribute(u"Id")] = {xml.Attribute(u"Type"), xml.Attribute(u"Target")};
        xml.skipCurrentElement();
    }
    return out;
}

// The part a relationship of `from` names: absolute, or relative to from's folder.
std::string Resolve(const std::string& from, const QString& target) {
    std::string path = target.toStdString();
    if (!path.empty() && path[0] == '/') return path.substr(1);
    std::string folder = from.substr(0, from.rfind('/') + 1);
    while (path.rfind("../", 0) == 0 && !folder.empty()) {
        path.erase(0, 3);
        folder.pop_back();
        folder.erase(folder.rfind('/') + 1);
    }
    return folder + path;
}

const TRelation* OfType(const TRelations& relations, QStringView typeEnd) {
    for (const auto& [id, relation] : relations)
        if (relation.Type.endsWith(typeEnd)) return &relation;
    return nullptr;
}

// A rich or plain string: the text of its runs, the phonetic ones left out.
QString RunText(TSheetXml& xml) {
    QString text;
    while (xml.NextChild()) {
        if (xml.Is(u"t"))
            text += xml.readElementText();
        else if (xml.Is(u"r"))
            text += RunText(xml);
        else
            xml.skipCurrentElement();
    }
    return text;
}

std::vector<QString> SharedStrings(TZipReader& zip, const std::string& entry) {
    std::vector<QString> strings;
    if (entry.empty()) return strings;
    TSheetXml xml(entry, zip.Read(entry));
    xml.NextChild();  // sst
    while (xml.NextChild()) {
        if (xml.Is(u"si"))
            strings.push_back(RunText(xml));
        else
            xml.skipCurrentElement();
    }
    return strings;
}

// Number formats that show a date or a time: the built-in ones (14 to 22, 45 to 47, and
// the East Asian 27 to 36 and 50 to 58), and a code with a day, month, year, hour or
// second in it outside quoted text, escaped characters and [brackets] ([h] and [mm],
// elapsed time, are times too).
bool IsBuiltinDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

bool IsDateLetter(QChar c) {
    const char16_t lower = c.toLower().unicode();
    return lower == u'd' || lower == u'm' || lower == u'y' || lower == u'h' || lower == u's';
}

bool IsDateFormatCode(const QString& code) {
    for (qsizetype k = 0; k < code.size(); ++k) {
        const QChar c = code[k];
        if (c == u'"') {
            k = code.indexOf(u'"', k + 1);
            if (k < 0) return false;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++k;  // the next character is shown or padded with, not a format letter
        } else if (c == u'[') {
            const qsizetype end = code.indexOf(u']', k);
            if (end < 0) return false;
            const QStringView inside = QStringView(code).mid(k + 1, end - k - 1);
            if (!inside.isEmpty() && std::all_of(inside.begin(), inside.end(), IsDateLetter))
                return true;
            k = end;
        } else if (IsDateLetter(c)) {
            return true;
        }
    }
    return false;
}

// For each cell style (a cell's s), whether its number format shows a date or a time.
std::vector<bool> DateStyles(TZipReader& zip, const std::string& entry) {
    std::vector<bool> dates;
    if (entry.empty() || !zip.Has(entry)) return dates;
    TSheetXml xml(entry, zip.Read(entry));
    std::map<int, bool> custom;
    xml.NextChild();  // styleSheet
    while (xml.NextChild()) {
        const bool formats = xml.Is(u"numFmts"), styles = xml.Is(u"cellXfs");
        while ((formats || styles) && xml.NextChild()) {
            const int id = xml.Attribute(u"numFmtId").toInt();
            if (formats && xml.Is(u"numFmt"))
                custom[id] = IsDateFormatCode(xml.Attribute(u"formatCode"));
            if (styles && xml.Is(u"xf")) {
                const auto own = custom.find(id);
                dates.push_back(own != custom.end() ? own->second : IsBuiltinDateFormat(id));
            }
            xml.skipCurrentElement();
        }
        if (!formats && !styles) xml.skipCurrentElement();
    }
    return dates;
}

struct TParts {
    std::string Sheet, Strings, Styles;  // "" for a part the workbook does not have
};

// The first sheet's part, and the shared strings' and the styles' parts.
TParts FirstSheetParts(TZipReader& zip) {
    const TRelations package = RelationsOf(zip, "");
    const TRelation* office = OfType(package, u"/officeDocument");
    const std::string workbook = Resolve("", office ? office->Target : "xl/workbook.xml");
    const TRelations relations = RelationsOf(zip, workbook);
    QString firstId;
    TSheetXml xml(workbook, zip.Read(workbook));
    xml.NextChild();  // workbook
    while (firstId.isEmpty() && xml.NextChild()) {
        if (!xml.Is(u"sheets")) {
            xml.skipCurrentElement();
            continue;
        }
        if (xml.NextChild() && xml.Is(u"sheet")) firstId = xml.Attribute(u"id");
        if (firstId.isEmpty()) xml.Fault("the workbook names no sheet");
    }
    const auto sheet = relations.find(firstId);
    if (sheet == relations.end()) xml.Fault("the workbook's first sheet has no part");
    const auto part = [&](QStringView type) {
        const TRelation* relation = OfType(relations, type);
        return relation ? Resolve(workbook, relation->Target) : std::string();
    };
    return {Resolve(workbook, sheet->second.Target), part(u"/sharedStrings"), part(u"/styles")};
}

// "B3" as column 2, row 3; false when it is no cell reference.
bool ParseReference(const QString& ref, int& column, int& row) {
    int c = 0, r = 0, k = 0;
    for (; k < ref.size() && ref[k] >= u'A' && ref[k] <= u'Z' && c <= 16384; ++k)
        c = c * 26 + (ref[k].unicode() - u'A' + 1);
    const int letters = k;
    for (; k < ref.size() && ref[k] >= u'0' && ref[k] <= u'9' && r <= 1048576; ++k)
        r = r * 10 + (ref[k].unicode() - u'0');
    if (letters == 0 || k == letters || k != ref.size() || c > 16384 || r > 1048576 || r < 1)
        return false;
    column = c;
    row = r;
    return true;
}

class TSheetReader {
public:
    TSheetReader(TSheetXml& xml, const std::vector<QString>& strings,
                 const std::vector<bool>& dateStyles)
        : xml_(xml), strings_(strings), dateStyles_(dateStyles) {}

    std::vector<TSheetRow> Rows() {
        std::vector<TSheetRow> rows;
        xml_.NextChild();  // worksheet
        while (xml_.NextChild()) {
            if (!xml_.Is(u"sheetData")) {
                xml_.skipCurrentElement();
                continue;
            }
            while (xml_.NextChild()) {
                if (!xml_.Is(u"row")) {
                    xml_.skipCurrentElement();
                    continue;
                }
                TSheetRow row = Row();
                if (!row.Cells.empty()) rows.push_back(std::move(row));
            }
        }
        return rows;
    }

private:
    TSheetRow Row() {
        bool ok = false;
        const int given = xml_.Attribute(u"r").toInt(&ok);
        row_ = ok ? given : row_ + 1;
        if (row_ < 1 || row_ > 1048576) xml_.Fault("a row number out of range");
        TSheetRow row;
        row.Start = {row_, 1, true};
        int column = 0;
        while (xml_.NextChild()) {
            if (!xml_.Is(u"c")) {
                xml_.skipCurrentElement();
                continue;
            }
            const QString ref = xml_.Attribute(u"r");
            int refRow = row_;
            if (ref.isEmpty())
                ++column;
            else if (!ParseReference(ref, column, refRow) || refRow != row_)
                xml_.Fault("the cell reference " + ref.toStdString() + " is not in row " +
                           std::to_string(row_));
            TSheetCell cell = Cell();
            if (cell.Text.empty()) continue;
            budget_.Spend(1);
            cell.Column = column;
            cell.Start = {row_, column, true};
            row.Cells.push_back(std::move(cell));
        }
        return row;
    }

    TSheetCell Cell() {
        const QString type = xml_.Attribute(u"t");
        const std::size_t style = xml_.Attribute(u"s").toUInt();
        QString value, inlineText;
        while (xml_.NextChild()) {
            if (xml_.Is(u"v"))
                value = xml_.readElementText();
            else if (xml_.Is(u"is"))
                inlineText = RunText(xml_);
            else
                xml_.skipCurrentElement();
        }
        TSheetCell cell;
        if (type == u"s") {
            bool ok = false;
            const int index = value.toInt(&ok);
            if (!ok || index < 0 || index >= int(strings_.size()))
                xml_.Fault("a cell names a shared string that is not there");
            cell.Text = Chars(strings_[index]);
        } else if (type == u"inlineStr") {
            cell.Text = Chars(inlineText);
        } else if (type == u"b") {
            cell.Text = value == u"1" ? U"TRUE" : U"FALSE";
        } else if (type == u"d") {
            cell.Text = Chars(value);  // a date or time written out ("2026-12-07")
            cell.IsDate = true;
        } else {
            cell.Text = Chars(value);  // a formula's text, an error value or a number
            cell.IsNumber = type.isEmpty() || type == u"n";
            cell.IsDate = cell.IsNumber && style < dateStyles_.size() && dateStyles_[style];
        }
        return cell;
    }

    TSheetXml& xml_;
    const std::vector<QString>& strings_;
    const std::vector<bool>& dateStyles_;
    TCellBudget budget_;
    int row_ = 0;
};

// ---- writing ----

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRelations = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* kOfficeRelations =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

std::string RelationsXml(const std::vector<std::pair<std::string, std::string>>& typeAndTarget) {
    std::string xml = std::string(kXmlHead) + "<Relationships xmlns=\"" + kRelations + "\">";
    for (std::size_t k = 0; k < typeAndTarget.size(); ++k)
        xml += "<Relationship Id=\"rId" + std::to_string(k + 1) + "\" Type=\"" + kOfficeRelations +
               "/" + typeAndTarget[k].first + "\" Target=\"" + typeAndTarget[k].second + "\"/>";
    return xml + "</Relationships>";
}

constexpr const char* kContentTypes =
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" "
    "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
    "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
    "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
    "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/"
    "vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
    "</Types>";

// Style 1 is number format 49, "@": text.
constexpr const char* kStyles =
    "<fonts count=\"1\"><font><sz val=\"10\"/><name val=\"Arial\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
    "</cellStyleXfs>"
    "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
    "applyNumberFormat=\"1\"/></cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>";

std::string SheetXml(const TSheetTexts& rows) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument(QStringLiteral("1.0"), true);
    xml.writeDefaultNamespace(QString::fromLatin1(kMain));
    xml.writeStartElement(QString::fromLatin1(kMain), QStringLiteral("worksheet"));
    std::size_t columns = 0;
    for (const auto& row : rows) columns = std::max(columns, row.size());
    xml.writeStartElement(QStringLiteral("cols"));
    xml.writeEmptyElement(QStringLiteral("col"));
    xml.writeAttribute(QStringLiteral("min"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("max"), QString::number(std::max<std::size_t>(columns, 1)));
    xml.writeAttribute(QStringLiteral("width"), QStringLiteral("18"));
    xml.writeAttribute(QStringLiteral("style"), QStringLiteral("1"));  // new cells are text too
    xml.writeAttribute(QStringLiteral("customWidth"), QStringLiteral("1"));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("sheetData"));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const QString row = QString::number(r + 1);
        xml.writeStartElement(QStringLiteral("row"));
        xml.writeAttribute(QStringLiteral("r"), row);
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            if (rows[r][c].empty()) continue;
            xml.writeStartElement(QStringLiteral("c"));
            xml.writeAttribute(QStringLiteral("r"),
                               QString::fromStdString(ColumnLetters(int(c) + 1)) + row);
            xml.writeAttribute(QStringLiteral("s"), QStringLiteral("1"));
            xml.writeAttribute(QStringLiteral("t"), QStringLiteral("inlineStr"));
            xml.writeStartElement(QStringLiteral("is"));
            xml.writeStartElement(QStringLiteral("t"));
            xml.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
            xml.writeCharacters(QtText(rows[r][c]));
            xml.writeEndElement();
            xml.writeEndElement();
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return out.toStdString();
}

}  // namespace

TSheet ReadXlsx(std::string_view bytes) {
    TZipReader zip(bytes);
    const TParts parts = FirstSheetParts(zip);
    const std::vector<QString> strings = SharedStrings(zip, parts.Strings);
    const std::vector<bool> dateStyles = DateStyles(zip, parts.Styles);
    TSheetXml xml(parts.Sheet, zip.Read(parts.Sheet));
    TSheet sheet;
    sheet.Rows = TSheetReader(xml, strings, dateStyles).Rows();
    return sheet;
}

std::string WriteXlsx(const TSheetTexts& rows) {
    const std::string head = kXmlHead;
    TZipWriter zip;
    zip.Add("[Content_Types].xml", head + kContentTypes);
    zip.Add("_rels/.rels", RelationsXml({{"officeDocument", "xl/workbook.xml"}}));
    zip.Add("xl/workbook.xml", head + "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" +
                                   kOfficeRelations +
                                   "\"><bookViews><workbookView/></bookViews><sheets>"
                                   "<sheet name=\"Group\" sheetId=\"1\" r:id=\"rId1\"/>"
                                   "</sheets></workbook>");
    zip.Add("xl/_rels/workbook.xml.rels",
            RelationsXml({{"worksheet", "worksheets/sheet1.xml"}, {"styles", "styles.xml"}}));
    zip.Add("xl/styles.xml",
            head + "<styleSheet xmlns=\"" + kMain + "\">" + kStyles + "</styleSheet>");
    zip.Add("xl/worksheets/sheet1.xml", SheetXml(rows));
    return zip.Finish();
}
