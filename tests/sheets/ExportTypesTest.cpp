// What a spreadsheet makes of a group's file: the type an export writes, the CSV that
// opens right by a double-click and reads back, number cells named one by one, and the
// tester's padding kept out of the files.
#include <gtest/gtest.h>

#include "base/Utf8.h"
#include "sheets/ExportTypes.h"
#include "sheets/GroupFile.h"
#include "sheets/NumberCells.h"
#include "sheets/SheetErrors.h"
#include "sheets/Zip.h"
#include "store/IDRules.h"

namespace {

TEST(ExportTypes, TheFilterDecidesAndANameThatSaysOtherwiseIsAsked) {
    // Agreeing names, any letter case; .txt is a CSV by another name.
    for (const auto& [path, type] : {std::pair{"a/fleet.xlsx", TExportType::Xlsx},
                                     {"FLEET.ODS", TExportType::Ods},
                                     {"fleet.csv", TExportType::Csv},
                                     {"fleet.Txt", TExportType::ExcelCsv}}) {
        const TExportName name = ExportName(path, type);
        EXPECT_EQ(name.Path, path);
        EXPECT_EQ(name.Question, "") << path;
    }
    // No extension: the filter's is added. A dot that starts the name or a folder's
    // is no extension.
    EXPECT_EQ(ExportName("fleet-excel-chosen", TExportType::Xlsx).Path, "fleet-excel-chosen.xlsx");
    EXPECT_EQ(ExportName("/home/a.b/.fleet", TExportType::Ods).Path, "/home/a.b/.fleet.ods");
    EXPECT_EQ(ExportName("C:\\a.b\\fleet", TExportType::ExcelCsv).Path, "C:\\a.b\\fleet.csv");
    EXPECT_EQ(ExportName("fleet.", TExportType::Csv).Path, "fleet..csv");
    // Another known type is replaced, an unknown extension kept before the filter's;
    // both only after a question.
    const TExportName other = ExportName("/x/fleet.ods", TExportType::Xlsx);
    EXPECT_EQ(other.Path, "/x/fleet.xlsx");
    EXPECT_EQ(other.Question,
              "The name fleet.ods does not end in .xlsx, but the type chosen is an Excel "
              "workbook. Write an Excel workbook named fleet.xlsx?");
    const TExportName pdf = ExportName("fleet.pdf", TExportType::Csv);
    EXPECT_EQ(pdf.Path, "fleet.pdf.csv");
    EXPECT_NE(pdf.Question, "");
    EXPECT_NE(ExportName("fleet.csv", TExportType::Ods).Question, "");
}

TEST(DoubleClickCsv, EveryCellASpreadsheetWouldChangeIsWrittenAsItsText) {
    for (const char* changed :
         {"0012", "12", "0000000000000001", "1E5", "2.5e-3", "12-5", "1 2", "TRUE", "false",
          "MAR 12", "12 Sept", "5 PM", "12 a", "-A1", "=1", "+1", "@A", "£5", " 7 "})
        EXPECT_TRUE(SpreadsheetWouldChange(changed)) << changed;
    for (const char* kept :
         {"AB 12 CD", "TR-0001", "Zoë 7", "1E5X", "E5", "MARS", "TRUE 1", "12 MA", "A", ""})
        EXPECT_FALSE(SpreadsheetWouldChange(kept)) << kept;

    TGroupIDs ids;
    const char* tricky[] = {
        "0012", "1E5", "0000000000000001", "-A1", "TRUE", "JAN 5", "AB 12", " 7", "A  B", "Zoë 7",
        "ÿ—Ä",  "12-5"};
    for (int k = 0; k < 12; ++k) ids.Vehicle[k] = ids.Trailer[k] = tricky[k];
    const std::string bytes = GroupFileBytes(ids, TSheetKind::Csv);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(bytes.find("\r\n=\"1\",=\"1E5\",=\"1E5\"\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\r\n=\"6\",AB 12,AB 12\r\n"), std::string::npos) << bytes;
    const TGroupSheet back = ReadGroupBytes(bytes, TSheetKind::Csv, "f.csv");
    EXPECT_EQ(ProblemLines("f.csv", back.Problems), "");
    EXPECT_EQ(back.IDs.Vehicle, ids.Vehicle);
    EXPECT_EQ(back.IDs.Trailer, ids.Trailer);
    // For programs: no mark, and only what a spreadsheet would run.
    TCsvFormat plain;
    plain.Plain = true;
    const std::string forPrograms = GroupFileBytes(ids, TSheetKind::Csv, plain);
    EXPECT_EQ(forPrograms.substr(0, 20), "slot,vehicle,trailer");
    EXPECT_NE(forPrograms.find("\r\n1,1E5,1E5\r\n"), std::string::npos);
    EXPECT_NE(forPrograms.find("\r\n3,=\"-A1\",=\"-A1\"\r\n"), std::string::npos);
}

// A sheet of one header row and number cells, as the readers give them.
TSheet NumberSheet(const std::vector<std::u32string>& values) {
    TSheet sheet;
    TSheetRow header;
    for (int c = 1; c <= 3; ++c) {
        TSheetCell cell;
        cell.Column = c;
        cell.Text = c == 1 ? U"slot" : c == 2 ? U"vehicle" : U"trailer";
        cell.Start = {1, c, true};
        header.Cells.push_back(cell);
    }
    sheet.Rows.push_back(header);
    for (std::size_t k = 0; k < values.size(); ++k) {
        const int r = static_cast<int>(k) + 2;
        TSheetRow row;
        TSheetCell slot, id;
        slot.Column = 1;
        slot.Text = DecodeUtf8(std::to_string(k));
        slot.IsNumber = true;
        slot.Start = {r, 1, true};
        id.Column = 2;
        id.Text = values[k];
        id.IsNumber = true;
        id.Start = {r, 2, true};
        row.Cells = {slot, id};
        sheet.Rows.push_back(row);
    }
    return sheet;
}

TEST(NumberCells, EachIsNamedWithWhatIsStoredAndOneNoIDCanBeIsRefused) {
    const TGroupSheet taken =
        ReadGroupSheet(NumberSheet({U"100000", U"12", U"1", U"1.0", U"-5", U"1.2E+3"}));
    EXPECT_EQ(ProblemLines("f.xlsx", taken.Problems), "");
    EXPECT_EQ(taken.IDs.Vehicle[0], "100000");
    EXPECT_EQ(taken.IDs.Vehicle[3], "1");
    EXPECT_EQ(taken.IDs.Vehicle[4], "-5");
    EXPECT_EQ(taken.IDs.Vehicle[5], "1200");
    // Every cell by itself, never summed up, the slots' numbers not at all.
    const std::string warned = ProblemLines("f.xlsx", taken.Warnings);
    EXPECT_EQ(std::count(warned.begin(), warned.end(), '\n'), 6) << warned;
    EXPECT_NE(warned.find("f.xlsx:B2: warning: vehicle ID: the sheet holds the number 100000; "
                          "stored as 100000: if the ID was typed otherwise (0012, 1E5), format "
                          "the column as text and type it again\n"),
              std::string::npos)
        << warned;
    EXPECT_NE(warned.find("f.xlsx:B7: warning: vehicle ID: the sheet holds the number 1.2E+3; "
                          "stored as 1200:"),
              std::string::npos);

    const TGroupSheet refused =
        ReadGroupSheet(NumberSheet({U"7", U"1.5", U"1.2345678901234568E+17", U"123456789012345678",
                                    U"1.23456789012346E+017"}));
    EXPECT_EQ(ProblemLines("f.xlsx", refused.Problems),
              "f.xlsx:B3: vehicle ID: the sheet holds the number 1.5, a fraction, which no ID "
              "is (an ID holds no point or comma); if the cell was typed as an ID, format the "
              "column as text and type the ID again\n"
              "f.xlsx:B4: vehicle ID: the sheet holds the number 1.2345678901234568E+17, which "
              "has more digits than a spreadsheet keeps exactly (15), so the last digits typed "
              "may be lost already; format the column as text and type the ID again\n"
              "f.xlsx:B5: vehicle ID: the sheet holds the number 123456789012345678, which has "
              "more digits than a spreadsheet keeps exactly (15), so the last digits typed may "
              "be lost already; format the column as text and type the ID again\n"
              "f.xlsx:B6: vehicle ID: the sheet holds the number 1.23456789012346E+017, which "
              "has more digits than a spreadsheet keeps exactly (15), so the last digits typed "
              "may be lost already; format the column as text and type the ID again\n");
    EXPECT_EQ(ReadNumberCell(U"999999999999999").ID, "999999999999999");
    EXPECT_FALSE(ReadNumberCell(U"1.5.2").ID);
    EXPECT_FALSE(ReadNumberCell(U"1E999999999999").ID);
    EXPECT_EQ(ReadNumberCell(U"0.0").ID, "0");
}

TEST(CellPadding, TheTestersBlanksAreNoIDAndStayOutOfTheFiles) {
    EXPECT_TRUE(IsBlankID(std::string(16, ' ')));
    EXPECT_TRUE(IsBlankID(""));
    EXPECT_FALSE(IsBlankID(" A"));
    EXPECT_EQ(WithoutCellPadding("AB12            "), "AB12");
    EXPECT_EQ(WithoutCellPadding("  AB 12  "), "  AB 12");
    TGroupIDs read;  // as Read IDs stores a tester that holds two IDs
    for (auto& id : read.Vehicle) id = std::string(16, ' ');
    for (auto& id : read.Trailer) id = std::string(16, ' ');
    read.Vehicle[0] = "AB12            ";
    read.Trailer[3] = " T 3            ";
    EXPECT_EQ(CountedIDs(read), "1 vehicle and 1 trailer IDs");
    for (const TSheetKind kind : {TSheetKind::Csv, TSheetKind::Xlsx, TSheetKind::Ods}) {
        const TGroupSheet back = ReadGroupBytes(GroupFileBytes(read, kind), kind, "f");
        EXPECT_EQ(back.IDs.Vehicle[0], "AB12");
        EXPECT_EQ(back.IDs.Vehicle[1], "");
        EXPECT_EQ(back.IDs.Trailer[3], " T 3");
        // Only the leading blank is told: it changes what the tester gets.
        EXPECT_EQ(ProblemLines("f", back.Warnings),
                  "f:" + std::string(kind == TSheetKind::Csv ? "5:7" : "C5") +
                      ": warning: trailer ID \" T 3\" starts with a space, which is kept as it "
                      "is\n");
    }
}

}  // namespace

namespace {

std::string Refusal(const std::string& bytes, TSheetKind kind, const std::string& label) {
    try {
        ReadGroupBytes(bytes, kind, label);
    } catch (const EUnreadableFile& e) {
        return e.what();
    }
    return "";
}

// Files that are not what their names say are named for what they are, in one line.
TEST(ForeignFiles, AreNamedForWhatTheyAreNotReadAsColumnsOfJunk) {
    const std::string compound("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0\0\0", 12);
    EXPECT_EQ(Refusal(compound, TSheetKind::Xlsx, "f.xlsx"),
              "f.xlsx: is protected with a password (or is an old .xls workbook): open it in "
              "the spreadsheet program and save it without a password, as .xlsx or .ods");
    std::string utf16;
    for (char c : std::string("slot,vehicle,trailer\r\n0,A,B\r\n")) utf16 += {c, '\0'};
    EXPECT_EQ(Refusal(utf16, TSheetKind::Csv, "f.csv"),
              "f.csv: is UTF-16 text (little-endian) without the byte-order mark that tells "
              "it; save it again as CSV UTF-8, or as Unicode text");
    EXPECT_EQ(Refusal(GroupFileBytes({}, TSheetKind::Xlsx), TSheetKind::Csv, "f.csv"),
              "f.csv: is a zip archive, so a workbook (.xlsx or .ods) named as CSV: give it its "
              "own extension, or save it as CSV");
    // The rest of the file after an unclosed quote is one field: told once, where it opens.
    EXPECT_EQ(Refusal("slot,vehicle,trailer\n0,\"AB,\n1,CD,\n2,EF,\n", TSheetKind::Csv, "f.csv"),
              "f.csv:2:3: the quote that opens this field is never closed; close it, or double "
              "a quote meant inside the field");
}

TEST(Headers, NamesThatLeaveNoDoubtAreTakenNearMissesAreToldWithTheFix) {
    const auto read = [](const std::string& text) {
        return ReadGroupBytes(text, TSheetKind::Csv, "f.csv");
    };
    const TGroupSheet named = read("Slot,Vehicle ID,Trailer IDs\n3,V 3,T 3\n");
    EXPECT_EQ(ProblemLines("f.csv", named.Problems), "");
    EXPECT_EQ(named.IDs.Vehicle[3], "V 3");
    EXPECT_EQ(named.IDs.Trailer[3], "T 3");
    EXPECT_EQ(
        ProblemLines("f.csv", read("slot,vehicle number,trailer\n3,V,T\n").Problems),
        "f.csv:1:1: the first row must name the columns slot, vehicle and trailer (in any "
        "order)\nf.csv:1:6: \"vehicle number\" may be meant as the column vehicle: name it vehicle "
        "(or vehicle ID)\n");
    EXPECT_EQ(ProblemLines("f.csv", read("Fleet A\n\nslot,vehicle,trailer\n3,V,T\n").Problems),
              "f.csv:1:1: the first row must name the columns slot, vehicle and trailer (in any "
              "order)\nf.csv:3:1: this row names the columns slot, vehicle and trailer: delete "
              "the row above it, so that it is the first row\n");
}

}  // namespace

namespace {

// A workbook whose group is on its second sheet, behind a sheet of notes.
TEST(Headers, AHeaderOnALaterSheetIsToldWithItsName) {
    TGroupIDs ids;
    ids.Vehicle[3] = "V 3";
    const std::string one = GroupFileBytes(ids, TSheetKind::Xlsx);
    TZipReader parts(one);
    TZipWriter two;
    for (const std::string name : {"[Content_Types].xml", "_rels/.rels", "xl/styles.xml"})
        two.Add(name, parts.Read(name));
    std::string workbook = parts.Read("xl/workbook.xml");
    const std::string sheet = "<sheet name=\"Group\" sheetId=\"1\" r:id=\"rId1\"/>";
    workbook.replace(workbook.find(sheet), sheet.size(),
                     "<sheet name=\"Notes\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Fleet "
                     "A\" sheetId=\"2\" r:id=\"rId9\"/>");
    two.Add("xl/workbook.xml", workbook);
    std::string relations = parts.Read("xl/_rels/workbook.xml.rels");
    const std::string first = relations.substr(relations.find("<Relationship "));
    std::string second = first.substr(0, first.find("/>") + 2);
    second.replace(second.find("rId1"), 4, "rId9");
    second.replace(second.find("sheet1.xml"), 10, "sheet2.xml");
    relations.insert(relations.find("</Relationships>"), second);
    two.Add("xl/_rels/workbook.xml.rels", relations);
    std::string notes = parts.Read("xl/worksheets/sheet1.xml");
    notes = notes.substr(0, notes.find("<sheetData>")) +
            "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Fleet list</t></is></c>"
            "</row></sheetData></worksheet>";
    two.Add("xl/worksheets/sheet1.xml", notes);
    two.Add("xl/worksheets/sheet2.xml", parts.Read("xl/worksheets/sheet1.xml"));
    const TGroupSheet read = ReadGroupBytes(two.Finish(), TSheetKind::Xlsx, "f.xlsx");
    EXPECT_EQ(ProblemLines("f.xlsx", read.Problems),
              "f.xlsx: the sheet \"Fleet A\" names the columns slot, vehicle and trailer, but "
              "only the first visible sheet is read: move that sheet to the front, or save it "
              "alone\nf.xlsx:A1: the first row must name the columns slot, vehicle and trailer "
              "(in any order)\n");
}

}  // namespace
