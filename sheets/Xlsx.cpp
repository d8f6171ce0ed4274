#include "sheets/Xlsx.h"

#include <QXmlStreamWriter>
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "sheets/SheetBudget.h"
#include "sheets/SheetErrors.h"
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
    TSheetXml xml(zip, entry);
    xml.NextChild();  // Relationships
    while (xml.NextChild()) {
        if (xml.Is(u"Relationship"))
            out[xml.Attribute(u"Id")] = {xml.Attribute(u"Type"), xml.Attribute(u"Target")};
        xml.Skip();
    }
    xml.End();
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

// A rich or plain string (<si>, <is>): the text of its runs, the phonetic ones left out.
// Runs are not nested in a sheet a program saved, but a file may nest them: they are
// walked by a count, not by calling down. With `stopWhenLong`, the rest of an element
// whose text grows too long for a cell is left unread.
void RunText(TSheetXml& xml, TCellText& text, bool stopWhenLong) {
    for (int runs = 0;;) {
        if (stopWhenLong && text.TooLong()) return;
        if (!xml.NextChild()) {
            if (runs-- == 0) return;
        } else if (xml.Is(u"t")) {
            xml.ReadText(text);
        } else if (xml.Is(u"r")) {
            ++runs;
        } else {
            xml.Skip();
        }
    }
}

// The workbook's shared strings, as one text and where each ends. One longer than a
// cell may be is kept by its start only, and refused where a cell names it.
class TSharedStrings {
public:
    void Add(const TCellText& text) {
        if (text.TooLong()) long_.push_back(ends_.size());
        chars_ += Chars(text.Text());
        if (chars_.size() > kSheetCharacters)
            throw ESheetRefused({}, "its shared strings hold more than " +
                                        Grouped(kSheetCharacters) +
                                        " characters; a group's sheet holds a few thousand");
        ends_.push_back(static_cast<std::uint32_t>(chars_.size()));
    }

    // The text of string `index`, named by the cell at `at`; ESheetRefused for one that
    // is not there or too long.
    std::u32string_view Text(const QString& index, const TSheetPlace& at) const {
        bool ok = false;
        const qulonglong k = index.toULongLong(&ok);
        if (!ok || k >= ends_.size())
            throw ESheetRefused(at, "the cell names a shared string that is not there");
        const std::size_t begin = k == 0 ? 0 : ends_[k - 1];
        const std::u32string_view text(chars_.data() + begin, ends_[k] - begin);
        if (std::binary_search(long_.begin(), long_.end(), k)) RefuseLongCell(at, text);
        return text;
    }

private:
    std::u32string chars_;
    std::vector<std::uint32_t> ends_;
    std::vector<std::size_t> long_;  // in order
};

TSharedStrings SharedStrings(TZipReader& zip, const std::string& entry) {
    TSharedStrings strings;
    if (entry.empty()) return strings;
    TSheetXml xml(zip, entry);
    xml.NextChild();  // sst
    while (xml.NextChild()) {
        if (!xml.Is(u"si")) {
            xml.Skip();
            continue;
        }
        TCellText text;
        RunText(xml, text, false);  // the later strings are read on
        strings.Add(text);
    }
    xml.End();
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
    TSheetXml xml(zip, entry);
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
            xml.Skip();
        }
        if (!formats && !styles) xml.Skip();
    }
    xml.End();
    return dates;
}

struct TParts {
    std::string Sheet, Strings, Styles;  // "" for a part the workbook does not have
    QString Name;                        // the sheet's
    std::vector<std::string> Hidden;     // the first hidden sheets before it, quoted
    std::size_t HiddenCount = 0;
};

// The first visible sheet's part (or the one `later` visible sheets after it), the
// hidden ones before it, and the shared strings' and the styles' parts.
TParts FirstSheetParts(TZipReader& zip, int later) {
    const TRelations package = RelationsOf(zip, "");
    const TRelation* office = OfType(package, u"/officeDocument");
    const std::string workbook = Resolve("", office ? office->Target : "xl/workbook.xml");
    const TRelations relations = RelationsOf(zip, workbook);
    TParts parts;
    QString sheetId;
    TSheetXml xml(zip, workbook);
    xml.NextChild();  // workbook
    while (sheetId.isEmpty() && xml.NextChild()) {
        if (!xml.Is(u"sheets")) {
            xml.Skip();
            continue;
        }
        while (sheetId.isEmpty() && xml.NextChild()) {
            if (xml.Is(u"sheet")) {
                const QString state = xml.Attribute(u"state");
                if (state == u"hidden" || state == u"veryHidden") {
                    const QString name = xml.Attribute(u"name");
                    if (++parts.HiddenCount <= 3)
                        parts.Hidden.push_back(QuotedStart(Chars(name.left(21)), name.size()));
                } else if (later-- == 0) {
                    sheetId = xml.Attribute(u"id");
                    parts.Name = xml.Attribute(u"name");
                }
            }
            xml.Skip();
        }
        if (sheetId.isEmpty())
            xml.Fault(parts.Hidden.empty() ? "the workbook names no sheet"
                                           : "every sheet of the workbook is hidden");
    }
    const auto sheet = relations.find(sheetId);
    if (sheet == relations.end()) xml.Fault("the workbook's first visible sheet has no part");
    xml.End();
    const auto part = [&](QStringView type) {
        const TRelation* relation = OfType(relations, type);
        return relation ? Resolve(workbook, relation->Target) : std::string();
    };
    parts.Sheet = Resolve(workbook, sheet->second.Target);
    parts.Strings = part(u"/sharedStrings");
    parts.Styles = part(u"/styles");
    return parts;
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
    TSheetReader(TSheetXml& xml, const TSharedStrings& strings, const std::vector<bool>& dateStyles)
        : xml_(xml), strings_(strings), dateStyles_(dateStyles) {}

    std::vector<TSheetRow> Rows() {
        std::vector<TSheetRow> rows;
        xml_.NextChild();  // worksheet
        while (xml_.NextChild()) {
            if (!xml_.Is(u"sheetData")) {
                xml_.Skip();
                continue;
            }
            while (xml_.NextChild()) {
                if (!xml_.Is(u"row")) {
                    xml_.Skip();
                    continue;
                }
                TSheetRow row = Row();
                if (!row.Cells.empty()) rows.push_back(std::move(row));
            }
        }
        xml_.End();
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
                xml_.Skip();
                continue;
            }
            const QString ref = xml_.Attribute(u"r");
            int refRow = row_;
            if (ref.isEmpty())
                ++column;
            else if (!ParseReference(ref, column, refRow) || refRow != row_)
                xml_.Fault("the cell reference " + ref.left(20).toStdString() + " is not in row " +
                           std::to_string(row_));
            const TSheetPlace place{row_, column, true};
            InOrder(place);
            TSheetCell cell = Cell(place);
            if (cell.Text.empty()) continue;
            cell.Column = column;
            cell.Start = place;
            row.Cells.push_back(std::move(cell));
        }
        return row;
    }

    // Cells come in the order of their places, each once, as spreadsheet programs save
    // them. Two at one place would be read one way here and maybe the other way by the
    // program the user looked at the file with.
    void InOrder(const TSheetPlace& place) {
        const std::uint64_t at = (std::uint64_t(place.Row) << 32) | std::uint32_t(place.Column);
        if (at == last_)
            throw ESheetRefused(place, "the cell " + PlaceText(place) +
                                           " is given twice in the sheet, so which of the two "
                                           "was meant cannot be told; save the file again from "
                                           "the spreadsheet program");
        if (at < last_)
            throw ESheetRefused(place, "the cell " + PlaceText(place) + " comes after " +
                                           PlaceText(lastPlace_) +
                                           " in the sheet, out of order; save the file again "
                                           "from the spreadsheet program");
        last_ = at;
        lastPlace_ = place;
    }

    TSheetCell Cell(const TSheetPlace& place) {
        const QString type = xml_.Attribute(u"t");
        const std::size_t style = xml_.Attribute(u"s").toUInt();
        TCellText value, inlineText;
        // A text too long for a cell is refused where it is met, the rest unread.
        while (xml_.NextChild()) {
            if (xml_.Is(u"v")) {
                xml_.ReadText(value);
                if (value.TooLong()) RefuseLongCell(place, Chars(value.Text()));
            } else if (xml_.Is(u"is")) {
                RunText(xml_, inlineText, true);
                if (inlineText.TooLong()) RefuseLongCell(place, Chars(inlineText.Text()));
            } else {
                xml_.Skip();
            }
        }
        TSheetCell cell;
        if (type == u"s") {
            cell.Text = strings_.Text(value.Text(), place);
        } else if (type == u"inlineStr") {
            cell.Text = Chars(inlineText.Text());
        } else if (type == u"b") {
            cell.Text = value.Text() == u"1" ? U"TRUE" : U"FALSE";
            cell.IsTruth = true;
        } else {
            cell.Text = Chars(value.Text());  // a formula's text, an error value or a number
            cell.IsDate = type == u"d";       // a date or time written out ("2026-12-07")
            cell.IsNumber = type.isEmpty() || type == u"n";
            cell.IsDate =
                cell.IsDate || (cell.IsNumber && style < dateStyles_.size() && dateStyles_[style]);
        }
        if (!cell.Text.empty()) budget_.Spend(place, 1, cell.Text.size());
        return cell;
    }

    TSheetXml& xml_;
    const TSharedStrings& strings_;
    const std::vector<bool>& dateStyles_;
    TSheetBudget budget_;
    int row_ = 0;
    std::uint64_t last_ = 0;  // the place of the last cell, row above column
    TSheetPlace lastPlace_;
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

TSheet ReadXlsx(std::string_view bytes, int later) {
    TZipReader zip(bytes);
    const TParts parts = FirstSheetParts(zip, later);
    const TSharedStrings strings = SharedStrings(zip, parts.Strings);
    const std::vector<bool> dateStyles = DateStyles(zip, parts.Styles);
    TSheetXml xml(zip, parts.Sheet);
    TSheet sheet;
    sheet.Name = parts.Name.left(kCellCharacters).toStdString();
    sheet.Rows = TSheetReader(xml, strings, dateStyles).Rows();
    if (parts.HiddenCount > 0)
        sheet.Notes.push_back({{}, HiddenSheetsNote(parts.Hidden, parts.HiddenCount)});
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
