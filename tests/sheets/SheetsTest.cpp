// Groups in and out of spreadsheet files: the files LibreOffice made, the dialects of
// CSV, faults refused where they stand, round trips through every kind.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "sheets/GroupFile.h"
#include "sheets/SheetErrors.h"
#include "sheets/Zip.h"
#include "tests/sheets/SheetsSupport.h"
#include "tests/store/StoreSupport.h"

namespace {

using sheetstest::Fleet;

using namespace storetest;

const std::string kFiles = HG_SHEET_FILES;

TGroupSheet Csv(const std::string& text) {
    return ReadGroupSheet(ReadCsv(text));
}

std::vector<std::string> Places(const std::vector<TSheetProblem>& problems) {
    std::vector<std::string> out;
    for (const TSheetProblem& p : problems) out.push_back(PlaceText(p.At));
    return out;
}

TEST(SheetFiles, LibreOfficeFilesImportExactlyAndItsMojibakeIsRefused) {
    for (const std::string name : {"fleet.xlsx", "fleet.ods", "fleet-semicolon-1252.csv"}) {
        const TGroupSheet sheet = ReadGroupFile(kFiles + "/" + name);
        EXPECT_EQ(ProblemLines(name, sheet.Problems), "") << name;
        EXPECT_EQ(sheet.IDs.Vehicle, Fleet().Vehicle) << name;
        EXPECT_EQ(sheet.IDs.Trailer, Fleet().Trailer) << name;
        EXPECT_EQ(ProblemLines(name, sheet.Warnings),
                  name + ": note: the column \"Notes\" is not read\n");
    }
    // Typed with the spreadsheet's default types: a number warned of, a date refused.
    for (const std::string name : {"typed.xlsx", "typed.ods"}) {
        const TGroupSheet typed = ReadGroupFile(kFiles + "/" + name);
        EXPECT_EQ(Places(typed.Problems), (std::vector<std::string>{"C2"})) << name;
        ASSERT_FALSE(typed.Problems.empty());
        EXPECT_NE(typed.Problems[0].Message.find(" ID is a date or time in the sheet ("),
                  std::string::npos);
        EXPECT_EQ(Places(typed.Warnings), (std::vector<std::string>{"B2"})) << name;
    }
    const TGroupSheet bad = ReadGroupFile(kFiles + "/fleet-mojibake.csv");
    EXPECT_EQ(Places(bad.Problems), (std::vector<std::string>{"3:4", "4:3", "5:2", "5:6", "7:2"}));
    EXPECT_EQ(
        ProblemLines("f.csv", bad.Problems, 2),
        "f.csv:3:4: \"ZoÃ« 7\" looks like UTF-8 text read as Windows-1252 on its way here "
        "(\"ë\" shown as \"Ã«\"); open the original file again as UTF-8 (Unicode), or move "
        "the group as .xlsx or .ods\n"
        "f.csv:4:3: \"MÃ¼ller-StraÃŸe\" looks like UTF-8 text read as Windows-1252 on its way "
        "here (\"ü\" shown as \"Ã¼\"); open the original file again as UTF-8 (Unicode), or "
        "move the group as .xlsx or .ods\nand 3 more problems\n");
}

// Text as UTF-16 little-endian bytes with the byte-order mark.
std::string Utf16Le(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) out += {char(c & 0xFF), char(c >> 8)};
    return out;
}

TEST(SheetFiles, ReadsTheDialectsSpreadsheetsWrite) {
    const std::string dialects[] = {
        "\xEF\xBB\xBFSlot;Vehicle;Trailer\r\n1;Zoë;T\r\n",              // BOM, semicolons, CRLF
        "slot\tvehicle\ttrailer\r1\tZo\xEB\tT\r",                       // tabs, Windows-1252, CR
        " Trailer , notes ,VEHICLE,slot\n\"T\",x,\"Zoe\xCC\x88\",1\n",  // order, names, NFC
        "sep=;\r\nslot;vehicle;trailer\r\n1;Zoë;T\r\n",                 // Excel's separator line
        Utf16Le(u"slot\tvehicle\ttrailer\r\n1\tZoë\tT\r\n"),            // "Unicode text"
        "slot,vehicle,trailer\n1,=\"Zoë\",\"=\"\"T\"\"\"\n",            // ="…", bare and quoted
    };
    for (const std::string& text : dialects) {
        const TGroupSheet sheet = Csv(text);
        EXPECT_TRUE(sheet.Problems.empty()) << text << ProblemLines("f", sheet.Problems);
        EXPECT_EQ(sheet.IDs.Vehicle[1], "Zoë") << text;
        EXPECT_EQ(sheet.IDs.Trailer[1], "T") << text;
    }
    const TGroupSheet spaced = Csv("slot,vehicle,trailer\n4, SP,\n");
    EXPECT_EQ(spaced.IDs.Vehicle[4], " SP");
    EXPECT_EQ(ProblemLines("f.csv", spaced.Warnings),
              "f.csv:2:3: warning: vehicle ID \" SP\" starts with a space, which is kept as it "
              "is\n");
}

TEST(SheetFiles, RefusesEveryFaultWhereItStandsAndARepeatOnce) {
    const TGroupSheet four =
        Csv("slot,vehicle,trailer\n0,ABCDEFGHIJKLMNOPQ,\n1,AB.C,\n2,Ω1,\n1,OK,\n");
    EXPECT_EQ(Places(four.Problems), (std::vector<std::string>{"2:3", "3:5", "4:3", "5:1"}));
    EXPECT_EQ(four.Problems[3].Message, "slot 1 is given twice (first at 3:1)");
    const std::pair<std::string, std::string> oneFault[] = {
        {"", ""},                                                 // nothing in it
        {"slot,vehicle\n0,A\n", "1:1"},                           // a column missing
        {"slot,vehicle,trailer\n96,A,\n", "2:1"},                 // slot out of range
        {"slot,vehicle,trailer\n 1,A,\n", "2:1"},                 // not a whole number
        {"slot,vehicle,trailer\n32,A,B\n", "2:6"},                // a trailer from 32 on
        {"slot,vehicle,trailer\n0,\"A\nB\",\n", "2:5"},           // a line break inside quotes
        {"slot,vehicle,trailer\n0,\"A\"B,\n", "2:6"},             // text after the closing quote
        {"slot,vehicle,trailer\n0,\xE2\x80\x94-\x7F,\n", "2:5"},  // 151 taken, 127 not
        {"slot,vehicle,trailer\n0,Â\xC2\xA0,\n", "2:3"},          // mojibake of a no-break space
    };
    for (const auto& [text, place] : oneFault) {
        const TGroupSheet sheet = Csv(text);
        ASSERT_FALSE(sheet.Problems.empty()) << text;
        EXPECT_EQ(Places(sheet.Problems)[0], place) << text << ": " << sheet.Problems[0].Message;
    }
    std::string many = "slot,vehicle,trailer\n";
    for (int k = 0; k < 40; ++k) many += std::to_string(k) + ",AB.C,\n";
    EXPECT_EQ(ProblemLines("f.csv", Csv(many).Problems),
              "f.csv:2:5: vehicle ID \"AB.C\" holds \".\", which the ID boxes do not take; the "
              "same on 39 more lines, the last at 41:6\n");
}

TEST(SheetFiles, EveryKindRoundTripsAndADamagedFileIsRefused) {
    TGroupIDs ids = Fleet();
    ids.Vehicle[5] = " SP";
    ids.Trailer[5] = "A  B";
    const std::pair<TSheetKind, TCsvFormat> kinds[] = {
        {TSheetKind::Xlsx, {}},
        {TSheetKind::Ods, {}},
        {TSheetKind::Csv, {';', TTextEncoding::Windows1252}},
        {TSheetKind::Csv, {'\t', TTextEncoding::Utf8}},
    };
    for (const auto& [kind, format] : kinds) {
        const std::string bytes = GroupFileBytes(ids, kind, format);
        const TGroupSheet back = ReadGroupBytes(bytes, kind, "f");
        EXPECT_TRUE(back.Problems.empty()) << ProblemLines("f", back.Problems);
        EXPECT_EQ(back.IDs.Vehicle, ids.Vehicle);
        EXPECT_EQ(back.IDs.Trailer, ids.Trailer);
    }
    EXPECT_NE(GroupFileBytes(ids, TSheetKind::Csv, {';', TTextEncoding::Windows1252})
                  .find("\r\n=\"1\";Zo\xEB 7;\r\n"),
              std::string::npos);

    const std::string xlsx = GroupFileBytes(ids, TSheetKind::Xlsx);
    // The same file with B2 as a date written out, the way some programs write dates.
    TZipReader parts(xlsx);
    TZipWriter dated;
    for (const std::string name : {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml",
                                   "xl/_rels/workbook.xml.rels", "xl/styles.xml"})
        dated.Add(name, parts.Read(name));
    std::string sheet = parts.Read("xl/worksheets/sheet1.xml");
    const std::size_t b2 = sheet.find("<c r=\"B2\"");
    sheet.replace(b2, sheet.find("</c>", b2) + 4 - b2, "<c r=\"B2\" t=\"d\"><v>2026-12-07</v></c>");
    dated.Add("xl/worksheets/sheet1.xml", sheet);
    EXPECT_EQ(Places(ReadGroupBytes(dated.Finish(), TSheetKind::Xlsx, "f").Problems),
              (std::vector<std::string>{"B2"}));

    try {
        ReadGroupBytes(xlsx.substr(0, xlsx.size() / 2), TSheetKind::Xlsx, "f.xlsx");
        ADD_FAILURE() << "a cut zip was read";
    } catch (const EUnreadableFile& e) {
        EXPECT_STREQ(e.what(),
                     "f.xlsx: not an .xlsx file that can be read: it is not a zip archive; save "
                     "it again from the spreadsheet program");
    }
    EXPECT_THROW(ReadGroupBytes(xlsx, TSheetKind::Ods, "f.ods"), EUnreadableFile);
    TempHome home;
    const auto before = FilesUnder(home.root());
    EXPECT_THROW(WriteGroupFile((home.root() / "none" / "f.ods").string(), ids, TSheetKind::Ods),
                 EUnwritableFile);
    EXPECT_EQ(FilesUnder(home.root()), before);
}

}  // namespace
