// Files built to hurt the readers: deep, huge, repeated, wrapped, hidden or doubled,
// each made here in a few kilobytes. Each is refused whole, at its place, in a message
// of a line, or read as the user saw it; the largest real file is still taken.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "base/Utf8.h"
#include "sheets/GroupFile.h"
#include "sheets/Ods.h"
#include "sheets/SheetErrors.h"
#include "sheets/Xlsx.h"
#include "sheets/Zip.h"
#include "tests/store/StoreSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Repeated(const std::string& part, std::size_t times) {
    std::string out;
    out.reserve(part.size() * times);
    for (std::size_t k = 0; k < times; ++k) out += part;
    return out;
}

// ---- an .xlsx of our own parts ----

const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string Inline(const std::string& ref, const std::string& text) {
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

const std::string kHeaderRow = "<row r=\"1\">" + Inline("A1", "slot") + Inline("B1", "vehicle") +
                               Inline("C1", "trailer") + Inline("D1", "notes") + "</row>";

std::string Worksheet(const std::string& rows, const std::string& prolog = "") {
    return prolog + "<worksheet xmlns=\"" + kMain + "\"><sheetData>" + kHeaderRow + rows +
           "</sheetData></worksheet>";
}

struct TXlsxParts {
    std::string Sheets = "<sheet name=\"Group\" sheetId=\"1\" r:id=\"rId1\"/>";
    std::string Sheet1 = Worksheet("");
    std::string Sheet2 = Worksheet("");
    std::string Strings;  // the <si> elements; no shared strings part when empty
    std::vector<std::pair<std::string, std::string>> Extra;
};

std::string Xlsx(const TXlsxParts& p) {
    TZipWriter zip;
    const std::string rels = "http://schemas.openxmlformats.org/package/2006/relationships";
    zip.Add("_rels/.rels", "<Relationships xmlns=\"" + rels +
                               "\"><Relationship Id=\"rId1\" Type=\"" + kRel +
                               "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    zip.Add("xl/workbook.xml", "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
                                   "\"><sheets>" + p.Sheets + "</sheets></workbook>");
    std::string relations = "<Relationships xmlns=\"" + rels + "\">";
    relations += "<Relationship Id=\"rId1\" Type=\"" + kRel +
                 "/worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    relations += "<Relationship Id=\"rId2\" Type=\"" + kRel +
                 "/worksheet\" Target=\"worksheets/sheet2.xml\"/>";
    if (!p.Strings.empty())
        relations += "<Relationship Id=\"rId3\" Type=\"" + kRel +
                     "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    zip.Add("xl/_rels/workbook.xml.rels", relations + "</Relationships>");
    if (!p.Strings.empty())
        zip.Add("xl/sharedStrings.xml", "<sst xmlns=\"" + kMain + "\">" + p.Strings + "</sst>");
    zip.Add("xl/worksheets/sheet1.xml", p.Sheet1);
    zip.Add("xl/worksheets/sheet2.xml", p.Sheet2);
    for (const auto& [name, data] : p.Extra) zip.Add(name, data);
    return zip.Finish();
}

// Row r with slot `slot` and a vehicle cell of its own markup.
std::string SlotRow(int r, const std::string& vehicleCell) {
    return "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
           std::to_string(r - 2) + "</v></c>" + vehicleCell + "</row>";
}

// ---- an .ods of our own content ----

std::string Ods(const std::string& tables, const std::string& styles = "",
                const std::string& prolog = "") {
    TZipWriter zip;
    zip.Add("mimetype", "application/vnd.oasis.opendocument.spreadsheet", false);
    zip.Add("content.xml",
            prolog +
                "<office:document-content "
                "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
                "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
                "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\">"
                "<office:automatic-styles>" +
                styles + "</office:automatic-styles><office:body><office:spreadsheet>" + tables +
                "</office:spreadsheet></office:body></office:document-content>");
    return zip.Finish();
}

std::string OdsCell(const std::string& paragraph, const std::string& attributes = "") {
    return "<table:table-cell office:value-type=\"string\"" + attributes + "><text:p>" + paragraph +
           "</text:p></table:table-cell>";
}

std::string OdsTable(const std::string& rows, const std::string& name = "Group",
                     const std::string& style = "") {
    return "<table:table table:name=\"" + name + "\"" +
           (style.empty() ? "" : " table:style-name=\"" + style + "\"") + "><table:table-row>" +
           OdsCell("slot") + OdsCell("vehicle") + OdsCell("trailer") + "</table:table-row>" + rows +
           "</table:table>";
}

std::string OdsRow(const std::string& cells, const std::string& attributes = "") {
    return "<table:table-row" + attributes + ">" + cells + "</table:table-row>";
}

// What refusing the file says, or "" when it was read.
std::string Refusal(const std::string& bytes, TSheetKind kind) {
    try {
        ReadGroupBytes(bytes, kind, "f");
        return "";
    } catch (const EUnreadableFile& e) {
        return e.what();
    }
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(HostileSheets, NestingDeeperThanASheetIsRefusedNotRecursedInto) {
    const std::string deep = Repeated("<r>", 100000) + "<t>A</t>" + Repeated("</r>", 100000);
    TXlsxParts shared;
    shared.Strings = "<si>" + deep + "</si>";
    shared.Sheet1 = Worksheet(SlotRow(2, "<c r=\"B2\" t=\"s\"><v>0</v></c>"));
    TXlsxParts inlined;
    inlined.Sheet1 = Worksheet(SlotRow(2, "<c r=\"B2\" t=\"inlineStr\"><is>" + deep + "</is></c>"));
    const std::string spans =
        OdsTable(OdsRow(OdsCell("0") + OdsCell(Repeated("<text:span>", 100000) + "A" +
                                               Repeated("</text:span>", 100000))));
    for (const std::string& refusal :
         {Refusal(Xlsx(shared), TSheetKind::Xlsx), Refusal(Xlsx(inlined), TSheetKind::Xlsx),
          Refusal(Ods(spans), TSheetKind::Ods)})
        EXPECT_TRUE(Has(refusal, "elements nested more than 100 deep")) << refusal;
    // A hundred rows of groups is a lot for a sheet, but no fault.
    const std::string grouped = Repeated("<table:table-row-group>", 90) +
                                OdsRow(OdsCell("0") + OdsCell("NESTED")) +
                                Repeated("</table:table-row-group>", 90);
    EXPECT_EQ(ReadGroupBytes(Ods(OdsTable(grouped)), TSheetKind::Ods, "f").IDs.Vehicle[0],
              "NESTED");
}

TEST(HostileSheets, ACellFarLongerThanAnIDIsRefusedAtItsPlaceByItsStart) {
    const std::string longest(1000, 'N'), tooLong(1001, 'N');
    const auto xlsxNote = [](const std::string& note) {
        TXlsxParts p;
        p.Strings = "<si><t>" + note + "</t></si>";
        p.Sheet1 = Worksheet(SlotRow(2, "<c r=\"D2\" t=\"s\"><v>0</v></c>"));
        return Xlsx(p);
    };
    // In a column that is not read, too: it is never built.
    EXPECT_EQ(Refusal(xlsxNote(longest), TSheetKind::Xlsx), "");
    EXPECT_EQ(Refusal(xlsxNote(tooLong), TSheetKind::Xlsx),
              "f:D2: a cell of \"NNNNNNNNNNNNNNNNNNNN…\" (more than 1,000 characters); the cells "
              "of a group's sheet are short (an ID has at most 16)");
    TXlsxParts inlined;  // the runs together too long
    inlined.Sheet1 = Worksheet(SlotRow(
        2, "<c r=\"B2\" t=\"inlineStr\"><is><t>" + longest + "</t><r><t>x</t></r></is></c>"));
    EXPECT_TRUE(Has(Refusal(Xlsx(inlined), TSheetKind::Xlsx), "f:B2: a cell of \"NNN"));
    // 4 MiB of one shared string named by many cells: refused at the first.
    TXlsxParts huge;
    huge.Strings = "<si><t>" + std::string(4 << 20, 'A') + "</t></si>";
    std::string cells;
    for (int r = 2; r < 2000; ++r)
        cells += "<row r=\"" + std::to_string(r) + "\"><c r=\"D" + std::to_string(r) +
                 "\" t=\"s\"><v>0</v></c></row>";
    huge.Sheet1 = Worksheet(cells);
    EXPECT_TRUE(Has(Refusal(Xlsx(huge), TSheetKind::Xlsx), "f:D2: a cell of \"AAA"));

    // A million spaces said in 20 kB; and the first paragraph over, not the last.
    const std::string spaces = Repeated("<text:s text:c=\"1000\"/>", 1000);
    EXPECT_TRUE(Has(Refusal(Ods(OdsTable(OdsRow(OdsCell("0") + OdsCell(spaces)))), TSheetKind::Ods),
                    "f:B2: a cell of \"                    …\" (more than 1,000 characters)"));
    EXPECT_EQ(Refusal(Ods(OdsTable(OdsRow(OdsCell("0") + OdsCell("AB<text:s text:c=\"998\"/>")))),
                      TSheetKind::Ods),
              "");
    const std::string number = "<table:table-cell office:value-type=\"float\" office:value=\"" +
                               std::string(1001, '9') + "\"/>";
    EXPECT_TRUE(Has(Refusal(Ods(OdsTable(OdsRow(OdsCell("0") + number))), TSheetKind::Ods),
                    "f:B2: a cell of \"999"));

    EXPECT_EQ(Refusal("slot,vehicle,trailer,notes\n0,A,," + longest + "\n", TSheetKind::Csv), "");
    EXPECT_TRUE(Has(Refusal("slot,vehicle,trailer\n0,\"" + tooLong + "\",\n", TSheetKind::Csv),
                    "f:2:3: a cell of \"NNN"));
}

TEST(HostileSheets, AnOdsCellsParagraphsEachDropTheirLeadingSpaceUpToTheBudget) {
    const std::string cell =
        OdsCell("A</text:p><text:p>  B <text:s text:c=\"2\"/>C</text:p><text:p><text:s/> D");
    EXPECT_EQ(ReadGroupBytes(Ods(OdsTable(OdsRow(OdsCell("0") + cell))), TSheetKind::Ods, "f")
                  .Problems.at(0)
                  .Message,
              "vehicle ID \"A\\x0AB   C\\x0A  D\" holds a control character (U+000A); an ID is "
              "one line of text");
    // Paragraphs count together: two of 600 are one cell too long.
    const std::string two =
        OdsCell(std::string(600, 'x') + "</text:p><text:p>" + std::string(600, 'y'));
    EXPECT_TRUE(Has(Refusal(Ods(OdsTable(OdsRow(OdsCell("0") + two))), TSheetKind::Ods),
                    "f:B2: a cell of \"xxx"));
}

TEST(HostileSheets, RepeatsAreChargedBeforeTheyAreCopied) {
    // A cell repeated past the sheet's last column, and a row of two repeated 60,000
    // times: refused before anything is copied.
    const std::string wide =
        OdsRow(OdsCell("0") + OdsCell("XXXXXXXXXX", " table:number-columns-repeated=\"99990\""));
    EXPECT_TRUE(
        Has(Refusal(Ods(OdsTable(wide)), TSheetKind::Ods), "beyond the last row or column"));
    const std::string tall =
        OdsRow(OdsCell("note") + OdsCell("note"), " table:number-rows-repeated=\"60000\"");
    EXPECT_EQ(Refusal(Ods(OdsTable(tall)), TSheetKind::Ods),
              "f:A2: the sheet has more than 100,000 cells that hold something; a group's sheet "
              "has about 400");
    // Characters: 1,000 of them named by 2,000 cells, beside the header's.
    TXlsxParts many;
    many.Strings = "<si><t>" + std::string(1000, 'n') + "</t></si>";
    std::string rows;
    for (int r = 2; r <= 2002; ++r)
        rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"D" + std::to_string(r) +
                "\" t=\"s\"><v>0</v></c></row>";
    many.Sheet1 = Worksheet(rows);
    EXPECT_EQ(Refusal(Xlsx(many), TSheetKind::Xlsx),
              "f:D2001: the sheet's cells hold more than 2,000,000 characters; a group's sheet "
              "holds a few thousand");
    // Empty repeats cost nothing: a row to the sheet's last column, then rows to its end.
    const std::string padded =
        OdsRow(OdsCell("0") + OdsCell("PADDED") +
               "<table:table-cell table:number-columns-repeated=\"16382\"/>") +
        OdsRow("<table:table-cell table:number-columns-repeated=\"16384\"/>",
               " table:number-rows-repeated=\"1048574\"");
    EXPECT_EQ(ReadGroupBytes(Ods(OdsTable(padded)), TSheetKind::Ods, "f").IDs.Vehicle[0], "PADDED");
}

TEST(HostileSheets, CountersCannotWrapToPutACellWhereItIsNot) {
    // 4,096 empty cells of 1,048,576 each: 2^32 columns, then a slot and an ID.
    const std::string wrapped =
        OdsRow(Repeated("<table:table-cell table:number-columns-repeated=\"1048576\"/>", 4096) +
               OdsCell("5") + OdsCell("WRAPPED"));
    EXPECT_EQ(Refusal(Ods(OdsTable(wrapped)), TSheetKind::Ods),
              "f: a cell with text lies beyond the last row or column a sheet has (row "
              "1,048,576, column 16,384), where no spreadsheet shows it");
    const std::string low = OdsRow("", " table:number-rows-repeated=\"9223372036854775807\"") +
                            Repeated(OdsRow("", " table:number-rows-repeated=\"4294967295\""), 8) +
                            OdsRow(OdsCell("5") + OdsCell("WRAPPED"));
    EXPECT_TRUE(Has(Refusal(Ods(OdsTable(low)), TSheetKind::Ods), "beyond the last row"));
}

TEST(HostileSheets, NoDoctypeNorEntityOfTheFilesOwn) {
    const std::string xxe =
        "<?xml version=\"1.0\"?><!DOCTYPE worksheet [<!ENTITY xxe SYSTEM "
        "\"file:///etc/hostname\">]>";
    TXlsxParts external;
    external.Sheet1 = Worksheet(SlotRow(2, Inline("B2", "AB&xxe;CD")), xxe);
    EXPECT_TRUE(Has(Refusal(Xlsx(external), TSheetKind::Xlsx),
                    "xl/worksheets/sheet1.xml cannot be read (line 1: it declares a DOCTYPE"));
    const std::string laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
        "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>";
    EXPECT_TRUE(Has(
        Refusal(Ods(OdsTable(OdsRow(OdsCell("0") + OdsCell("&b;"))), "", laughs), TSheetKind::Ods),
        "it declares a DOCTYPE"));
    TXlsxParts undeclared;
    undeclared.Sheet1 = Worksheet(SlotRow(2, Inline("B2", "AB&xxe;CD")));
    EXPECT_TRUE(Has(Refusal(Xlsx(undeclared), TSheetKind::Xlsx), "Entity 'xxe' not declared"));
}

TEST(HostileSheets, TheFirstVisibleSheetIsReadAndTheHiddenOnesNamed) {
    TXlsxParts p;
    p.Sheets =
        "<sheet name=\"Secret\" sheetId=\"1\" state=\"hidden\" r:id=\"rId1\"/>"
        "<sheet name=\"Group\" sheetId=\"2\" r:id=\"rId2\"/>";
    p.Sheet1 = Worksheet(SlotRow(2, Inline("B2", "SECRET")));
    p.Sheet2 = Worksheet(SlotRow(2, Inline("B2", "SEEN")));
    TGroupSheet sheet = ReadGroupBytes(Xlsx(p), TSheetKind::Xlsx, "f");
    EXPECT_EQ(sheet.IDs.Vehicle[0], "SEEN");
    EXPECT_EQ(ProblemLines("f", sheet.Warnings),
              "f: note: the hidden sheet \"Secret\" was passed over; the first visible one was "
              "read\nf: note: the column \"notes\" is not read\n");
    p.Sheets = Repeated("<sheet name=\"Old\" state=\"veryHidden\" r:id=\"rId1\"/>", 5) +
               "<sheet name=\"Group\" r:id=\"rId2\"/>";
    EXPECT_TRUE(Has(ProblemLines("f", ReadGroupBytes(Xlsx(p), TSheetKind::Xlsx, "f").Warnings),
                    "the hidden sheets \"Old\", \"Old\", \"Old\" and 2 more were passed over"));
    p.Sheets = "<sheet name=\"Secret\" state=\"hidden\" r:id=\"rId1\"/>";
    EXPECT_TRUE(Has(Refusal(Xlsx(p), TSheetKind::Xlsx), "every sheet of the workbook is hidden"));

    const std::string hiddenStyle =
        "<style:style style:name=\"ta2\" style:family=\"table\"><style:table-properties "
        "table:display=\"false\"/></style:style>";
    const std::string tables = OdsTable(OdsRow(OdsCell("0") + OdsCell("SECRET")), "Secret", "ta2") +
                               OdsTable(OdsRow(OdsCell("0") + OdsCell("SEEN")), "Group", "ta1");
    sheet = ReadGroupBytes(Ods(tables, hiddenStyle), TSheetKind::Ods, "f");
    EXPECT_EQ(sheet.IDs.Vehicle[0], "SEEN");
    EXPECT_EQ(ProblemLines("f", sheet.Warnings),
              "f: note: the hidden sheet \"Secret\" was passed over; the first visible one was "
              "read\n");
    EXPECT_TRUE(Has(Refusal(Ods(OdsTable("", "Secret", "ta2"), hiddenStyle), TSheetKind::Ods),
                    "every table in it is hidden"));
}

TEST(HostileSheets, ACellOrAnEntryGivenTwiceRefusesTheFileWithItsPlace) {
    TXlsxParts twice;
    twice.Sheet1 = Worksheet(SlotRow(2, Inline("B2", "FIRST") + Inline("B2", "SECOND")));
    EXPECT_EQ(Refusal(Xlsx(twice), TSheetKind::Xlsx),
              "f:B2: the cell B2 is given twice in the sheet, so which of the two was meant "
              "cannot be told; save the file again from the spreadsheet program");
    // The same by the row given twice, and cells out of order.
    twice.Sheet1 = Worksheet(SlotRow(2, "") + SlotRow(2, Inline("B2", "SECOND")));
    EXPECT_TRUE(Has(Refusal(Xlsx(twice), TSheetKind::Xlsx), "f:A2: the cell A2 is given twice"));
    twice.Sheet1 = Worksheet(SlotRow(3, "") + SlotRow(2, Inline("B2", "LATE")));
    EXPECT_TRUE(Has(Refusal(Xlsx(twice), TSheetKind::Xlsx), "f:A2: the cell A2 comes after A3"));

    TXlsxParts entries;
    entries.Extra = {{"xl/worksheets/sheet1.xml", Worksheet(SlotRow(2, Inline("B2", "SECOND")))}};
    EXPECT_TRUE(Has(Refusal(Xlsx(entries), TSheetKind::Xlsx),
                    "it holds two entries named xl/worksheets/sheet1.xml"));
    entries.Extra = {{"XL/Worksheets/Sheet1.xml", Worksheet(SlotRow(2, Inline("B2", "SECOND")))}};
    EXPECT_TRUE(Has(Refusal(Xlsx(entries), TSheetKind::Xlsx), "it holds two entries named"));
}

TEST(HostileSheets, AProblemOnManyCharactersIsOneLineThatQuotesTheStart) {
    const std::string dots(1000, '.');
    for (const auto& [bytes, kind] :
         {std::pair{"slot,vehicle,trailer\n0," + dots + ",\n", TSheetKind::Csv},
          std::pair{Ods(OdsTable(OdsRow(OdsCell("0") + OdsCell(dots)))), TSheetKind::Ods}}) {
        const std::string lines = ProblemLines("f", ReadGroupBytes(bytes, kind, "f").Problems);
        EXPECT_EQ(lines.substr(lines.find(": ")),
                  ": vehicle ID \"....................…\" (1,000 characters) is 1000 characters "
                  "long; an ID has at most 16\n");
    }
    // A thousand columns not read are named by the first few.
    std::string header = "slot,vehicle,trailer";
    for (int k = 0; k < 1000; ++k) header += ",note " + std::to_string(k);
    EXPECT_EQ(ProblemLines("f", ReadGroupBytes(header + "\n", TSheetKind::Csv, "f").Warnings),
              "f: note: the columns \"note 0\", \"note 1\", \"note 2\", \"note 3\", \"note 4\" and "
              "995 more are not read\n");
    // One stray quote a field, however many it holds.
    const TGroupSheet quotes = ReadGroupBytes(
        "slot,vehicle,trailer\n0,A" + Repeated("\"", 500) + ",\n", TSheetKind::Csv, "f");
    EXPECT_EQ(
        std::count_if(quotes.Problems.begin(), quotes.Problems.end(),
                      [](const TSheetProblem& p) { return Has(p.Message, "a quote inside"); }),
        1);
}

// The largest file that is taken: 96 slot rows, notes beside them up to 1 MiB.
TSheetTexts LargestSheet() {
    TSheetTexts rows{{"slot", "vehicle", "trailer"}};
    for (int n = 1; n <= 455; ++n) rows[0].push_back("note " + std::to_string(n));
    for (int k = 0; k < 96; ++k) {
        rows.push_back({std::to_string(k), "V-" + std::to_string(k), k < 32 ? "T" : ""});
        for (int n = 1; n <= 455; ++n)
            rows.back().push_back("r" + std::to_string(k) + "c" + std::to_string(n) +
                                  " seen 2026-12-07");
    }
    return rows;
}

TEST(HostileSheets, TheLargestRealFileIsStillTaken) {
    const TSheetTexts rows = LargestSheet();
    const std::pair<std::string, TSheetKind> files[] = {{WriteCsv(rows, {}), TSheetKind::Csv},
                                                        {WriteXlsx(rows), TSheetKind::Xlsx},
                                                        {WriteOds(rows), TSheetKind::Ods}};
    EXPECT_GT(files[0].first.size(), 1000000u);
    EXPECT_LE(files[0].first.size(), 1u << 20);
    for (const auto& [bytes, kind] : files) {
        const TGroupSheet sheet = ReadGroupBytes(bytes, kind, "f");
        EXPECT_TRUE(sheet.Problems.empty()) << ProblemLines("f", sheet.Problems);
        EXPECT_EQ(sheet.IDs.Vehicle[95], "V-95");
        EXPECT_EQ(sheet.IDs.Trailer[31], "T");
    }
}

// ---- what a spreadsheet opening an exported file would run ----

TEST(HostileSheets, CsvExportKeepsASpreadsheetFromRunningACell) {
    TGroupIDs ids;  // what other programs may have stored, and legal IDs that look alike
    ids.Vehicle[0] = "=HYPERLINK(\"http://x\",\"y\")";
    ids.Vehicle[1] = "+1+1";
    ids.Vehicle[2] = "@SUM(A1)";
    ids.Vehicle[3] = "-A1";
    ids.Vehicle[4] = "\tTAB";
    ids.Vehicle[5] = "\rCR";
    ids.Vehicle[6] = "=\"\"";
    ids.Trailer[0] = "A-1";  // a minus inside is no formula
    TCsvFormat forPrograms;
    forPrograms.Plain = true;
    const std::string plain = GroupFileBytes(ids, TSheetKind::Csv, forPrograms);
    EXPECT_TRUE(
        Has(plain,
            "\r\n0,\"=\"\"=HYPERLINK(\"\"\"\"http://x\"\"\"\",\"\"\"\"y\"\"\"\")\"\"\",A-1\r\n"));
    EXPECT_TRUE(Has(plain, "\r\n1,=\"+1+1\",\r\n2,=\"@SUM(A1)\",\r\n3,=\"-A1\",\r\n"));
    EXPECT_TRUE(Has(plain, "\r\n4,=\"\tTAB\",\r\n5,\"=\"\"\rCR\"\"\",\r\n"));
    // Read back as they were stored, in every dialect export writes.
    for (const TCsvFormat format :
         {TCsvFormat{',', TTextEncoding::Utf8}, TCsvFormat{';', TTextEncoding::Windows1252},
          TCsvFormat{'\t', TTextEncoding::Utf8}}) {
        const std::string bytes = GroupFileBytes(ids, TSheetKind::Csv, format);
        const TSheet sheet = ReadCsv(bytes);
        EXPECT_TRUE(sheet.Problems.empty()) << bytes;
        for (int k = 0; k <= 6; ++k) {
            const TSheetCell* cell = sheet.Rows.at(k + 1).CellAt(2);
            ASSERT_TRUE(cell) << k;
            EXPECT_EQ(cell->Text, DecodeUtf8(ids.Vehicle[k])) << bytes;
        }
    }
    // A legal ID goes out and comes back as it was.
    EXPECT_EQ(ReadGroupBytes(plain, TSheetKind::Csv, "f").IDs.Vehicle[3], "-A1");
    // .xlsx and .ods write every cell as text: no formula.
    for (const TSheetKind kind : {TSheetKind::Xlsx, TSheetKind::Ods}) {
        const std::string bytes = GroupFileBytes(ids, kind);
        TZipReader zip(bytes);
        const std::string part =
            zip.Read(kind == TSheetKind::Xlsx ? "xl/worksheets/sheet1.xml" : "content.xml");
        EXPECT_FALSE(Has(part, "<f>") || Has(part, "formula=")) << part;
        const TSheet sheet = kind == TSheetKind::Xlsx ? ReadXlsx(bytes) : ReadOds(bytes);
        EXPECT_EQ(sheet.Rows.at(1).CellAt(2)->Text, DecodeUtf8(ids.Vehicle[0]));
        EXPECT_EQ(sheet.Rows.at(4).CellAt(2)->Text, U"-A1");
    }
}

// ---- files that are not files ----

TEST(HostileSheets, APipeOrALinkIsRefusedAndExportNeverWritesThroughALink) {
    TempHome home;
    const fs::path fifo = home.root() / "x.csv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    try {
        ReadGroupFile(fifo.string());  // would wait for a writer for ever
        ADD_FAILURE() << "a FIFO was read";
    } catch (const EUnreadableFile& e) {
        EXPECT_EQ(
            std::string(e.what()),
            fifo.string() + ": is a named pipe (FIFO), not a file; only regular files are read");
    }
    const fs::path victim = home.root() / "victim.txt";
    std::ofstream(victim) << "my own file";
    fs::create_symlink(victim, home.root() / "l.csv");
    EXPECT_THROW(ReadGroupFile((home.root() / "l.csv").string()), EUnreadableFile);

    // A link planted where the last writer put its partial file, and one at the target.
    fs::create_directory(home.root() / "shared");
    fs::create_symlink(victim, home.root() / "shared" / "fleet.csv.partial");
    TGroupIDs ids;
    ids.Vehicle[0] = "A1";
    WriteGroupFile((home.root() / "shared" / "fleet.csv").string(), ids, TSheetKind::Csv);
    EXPECT_EQ(ReadGroupFile((home.root() / "shared" / "fleet.csv").string()).IDs.Vehicle[0], "A1");
    fs::create_symlink(victim, home.root() / "shared" / "fleet.xlsx");
    EXPECT_THROW(
        WriteGroupFile((home.root() / "shared" / "fleet.xlsx").string(), ids, TSheetKind::Xlsx),
        EUnwritableFile);
    std::ostringstream kept;
    kept << std::ifstream(victim).rdbuf();
    EXPECT_EQ(kept.str(), "my own file");
}

}  // namespace
