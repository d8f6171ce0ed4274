// The table layer: cursor and field semantics, failure texts, files left by the
// sqlite3 tool, refused names, transactions and a full disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/store/FaultVfs.h"
#include "tests/store/StoreSupport.h"

using namespace storetest;

namespace {

class TableTest : public ::testing::Test {
protected:
    TableTest() {
        dir = home.root() / "t";
        fs::create_directories(dir);
        t.SetDatabaseName(dir.string());
        t.SetTableName("T");
    }
    void Make(std::vector<std::string> values) {
        t.CreateTable({{"A", 4}, {"B", 16}});
        t.Open();
        for (const auto& v : values) {
            t.Append();
            t.SetFieldAsString("A", v);
            t.Post();
        }
    }
    std::vector<std::string> ReadA() {
        std::vector<std::string> out;
        for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldAsString("A"));
        return out;
    }
    template <class E, class F>
    static std::string ErrorOf(F f) {
        try {
            f();
        } catch (const E& e) {
            return e.what();
        }
        return "no error";
    }

    TempHome home;
    fs::path dir;
    TTable t{"H"};
};

TEST_F(TableTest, FileFormatIsOneSqlTableOfVarcharColumns) {
    t.CreateTable({{"Group Name", 30}, {"IDListName", 150}}, {"Group Name"});
    EXPECT_EQ(t.FilePath(), (dir / "T.db").string());
    EXPECT_EQ(
        Scalar(dir / "T.db",
               "SELECT group_concat(name || ':' || type, ',') FROM pragma_table_info('records')"),
        "Group Name:VARCHAR(30),IDListName:VARCHAR(150)");
    EXPECT_EQ(
        Scalar(dir / "T.db", "SELECT count(*) FROM pragma_index_list('records') WHERE \"unique\""),
        "1");
    for (const char* name : {"x.db", "x.DB", "x.dB"}) {
        t.SetTableName(name);
        EXPECT_EQ(t.FilePath(), (dir / name).string());
    }
}

TEST_F(TableTest, CursorOrderEofAndPendingEdits) {
    t.CreateTable({{"A", 4}, {"B", 16}});
    t.Open();
    EXPECT_TRUE(t.Eof());  // at once for a table without records
    Make({});
    t.Close();
    Make({"1", "2", "3"});
    EXPECT_EQ(ReadA(), (std::vector<std::string>{"1", "2", "3"}));
    t.First();
    t.Next();
    t.Next();
    EXPECT_FALSE(t.Eof());
    t.Next();
    EXPECT_TRUE(t.Eof());

    t.First();
    t.Edit();
    t.SetFieldAsString("B", "b");
    t.Next();  // posts the edit
    t.Close();
    t.Open();
    EXPECT_EQ(t.FieldAsString("B"), "b");
    t.Edit();
    t.SetFieldAsString("B", "dropped");
    t.Cancel();
    EXPECT_EQ(t.FieldAsString("B"), "b");

    t.Next();
    t.Delete();  // "2" goes, the cursor is on "3"
    EXPECT_EQ(t.FieldAsString("A"), "3");
    t.Delete();
    EXPECT_TRUE(t.Eof());
    t.Close();
    t.Open();
    EXPECT_EQ(ReadA(), (std::vector<std::string>{"1"}));
    EXPECT_EQ(Rows(dir / "T.db").size(), 1u);
}

TEST_F(TableTest, StringFieldsCountCharactersAndCut) {
    Make({"abcdefgh", "ÄÖÜßé", ""});
    t.Close();
    const auto rows = Rows(dir / "T.db");
    EXPECT_EQ(rows[0][0], "abcd");
    EXPECT_EQ(rows[1][0], "ÄÖÜß");  // four characters, eight bytes
    EXPECT_EQ(rows[2][0], "");
    // What the sqlite3 tool may write: NULL, numbers, over-long text, a blob.
    Sql(dir / "T.db",
        "INSERT INTO records VALUES (NULL, NULL); INSERT INTO records VALUES (42, 1.5);"
        "INSERT INTO records VALUES ('éééééé', 'x'); INSERT INTO records VALUES (x'41', 'y')");
    t.Open();
    EXPECT_EQ(ReadA(), (std::vector<std::string>{"abcd", "ÄÖÜß", "", "", "42", "éééé", "A"}));
    t.First();
    for (int i = 0; i < 4; ++i) t.Next();
    EXPECT_EQ(t.FieldAsString("B"), "1.5");
}

TEST_F(TableTest, LocateIsExactAndCaseSensitive) {
    Make({"abc", "ABC", "ab", "ABC"});
    t.First();
    EXPECT_FALSE(t.Locate("A", "Ab"));
    EXPECT_EQ(t.FieldAsString("A"), "abc");  // a miss leaves the cursor
    EXPECT_TRUE(t.Locate("A", "ab"));
    EXPECT_EQ(t.FieldAsString("A"), "ab");
    EXPECT_TRUE(t.Locate("A", "ABC"));
    t.Next();
    EXPECT_EQ(t.FieldAsString("A"), "ab");  // the first of the two
}

TEST_F(TableTest, DataAccessErrorTexts) {
    const std::string closed = "H: Cannot perform this operation on a closed dataset";
    t.Close();  // closing a closed table does nothing
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.First(); }), closed);
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.Next(); }), closed);
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.FieldAsString("A"); }), closed);
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.Append(); }), closed);
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.Edit(); }), closed);
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.Post(); }), closed);
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.Delete(); }), closed);
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.Locate("A", ""); }), closed);
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.StartTransaction(); }), closed);
    Make({"1"});
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { t.FieldAsString("C"); }), "H: Field 'C' not found");
    t.Close();

    TTable g("IDGroupTable");
    g.SetDatabaseName(dir.string());
    g.SetTableName("G");
    g.SetRequiredFields({"Group Name", "IDListName"});
    struct Case {
        const char* schema;
        const char* error;
    } cases[] = {
        {"\"Group Name\" VARCHAR(30)", "IDGroupTable: Field 'IDListName' not found"},
        {"\"Group Name\" INTEGER, IDListName VARCHAR(150)",
         "IDGroupTable: Type mismatch for field 'Group Name', expecting: String actual: Integer"},
        {"\"Group Name\" VARCHAR(30), IDListName REAL",
         "IDGroupTable: Type mismatch for field 'IDListName', expecting: String actual: Float"},
        {"IDListName TEXT, \"Group Name\" VARCHAR(3)", "no error"},  // sizes are not compared
    };
    for (const Case& c : cases) {
        fs::remove(dir / "G.db");
        Sql(dir / "G.db", std::string("CREATE TABLE records (") + c.schema + ")");
        EXPECT_EQ(ErrorOf<EDatabaseError>([&] { g.Open(); }), c.error) << c.schema;
        EXPECT_EQ(g.Active(), std::string(c.error) == "no error");
        g.Close();
    }
}

TEST_F(TableTest, EngineErrorsForBadFiles) {
    const fs::path file = dir / "T.db";
    EXPECT_EQ(ErrorOf<EDBEngineError>([&] { t.Open(); }),
              "H: Table does not exist: " + file.string());
    EXPECT_FALSE(fs::exists(file));  // opening never creates

    for (const std::string content : {"", "this is not a database at all, just some text"}) {
        { std::ofstream(file) << content; }
        EXPECT_EQ(ErrorOf<EDBEngineError>([&] { t.Open(); }),
                  "H: File is not a table: " + file.string());
        EXPECT_FALSE(t.Active());
    }
    fs::remove(file);
    Sql(file, "CREATE TABLE other (A TEXT)");
    EXPECT_EQ(ErrorOf<EDBEngineError>([&] { t.Open(); }),
              "H: File is not a table: " + file.string());

    Make({"1"});
    t.Close();
    t.CreateTable({{"A", 4}, {"B", 16}}, {"A"});  // replaces, with a key this time
    t.Open();
    EXPECT_EQ(t.RecordCount(), 0);
    t.Append();
    t.SetFieldAsString("A", "k");
    t.Post();
    t.Append();
    t.SetFieldAsString("A", "k");
    EXPECT_EQ(
        ErrorOf<EDBEngineError>([&] { t.Post(); }),
        "H: Key violation: a record with the same key already exists in table " + file.string());
    EXPECT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(Rows(file).size(), 1u);

    EXPECT_THROW(t.DeleteTable(), EDatabaseError);  // open tables stay
    t.Close();
    t.DeleteTable();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(ErrorOf<EDBEngineError>([&] { t.DeleteTable(); }),
              "H: Table does not exist: " + file.string());

    EXPECT_THROW(SetNetFileDir((dir / "missing").string()), EDBEngineError);
    Make({});
    SetNetFileDir(dir.string());
    SetNetFileDir(dir.string());  // again while a handle is open
    EXPECT_EQ(NetFileDir(), dir.string());
}

TEST_F(TableTest, NamesReachingOutsideAreRefusedBeforeAnyFileIsTouched) {
    fs::create_directories(dir / "inner");
    Sql(dir / "IDGroup.db", "CREATE TABLE records (A VARCHAR(4))");
    t.SetDatabaseName((dir / "inner").string());
    const auto before = FilesUnder(home.root());
    for (const std::string name :
         {std::string(""), std::string("."), std::string(".."), std::string("../IDGroup"),
          std::string("a/b"), std::string("a\\b"), std::string("a\0b", 3), std::string("/x")}) {
        t.SetTableName(name);
        for (auto op : {+[](TTable& x) { x.Open(); }, +[](TTable& x) { x.DeleteTable(); },
                        +[](TTable& x) {
                            x.CreateTable({{"A", 4}});
                        }}) {
            const std::string e = ErrorOf<EDBEngineError>([&] { op(t); });
            EXPECT_EQ(e.rfind("H: Table name", 0), 0u) << e;
        }
    }
    EXPECT_EQ(FilesUnder(home.root()), before);
}

TEST_F(TableTest, TransactionsCommitOrLeaveTheTableAsItWas) {
    Make({"1", "2"});
    t.StartTransaction();
    EXPECT_THROW(t.StartTransaction(), EDBEngineError);
    t.First();
    t.Edit();
    t.SetFieldAsString("A", "x");
    t.Append();  // posts the edit
    t.SetFieldAsString("A", "3");
    t.Rollback();
    EXPECT_EQ(ReadA(), (std::vector<std::string>{"1", "2"}));
    t.StartTransaction();
    t.Append();
    t.SetFieldAsString("A", "3");
    t.Commit();
    t.Close();
    EXPECT_EQ(Rows(dir / "T.db").size(), 3u);

    // Another handle removed the record this one is about to change.
    t.Open();
    Sql(dir / "T.db", "DELETE FROM records WHERE A = '1'");
    t.Edit();
    t.SetFieldAsString("B", "lost?");
    EXPECT_EQ(ErrorOf<EDBEngineError>([&] { t.Post(); }),
              "H: Record was deleted by another user: " + (dir / "T.db").string());
}

TEST_F(TableTest, FullDiskFailsTheWriteAndLeavesTheTableIntact) {
    Make({"1", "2"});
    t.StartTransaction();
    FaultVfs::FailWritesAfter("/t/T.db", 0);
    std::string error;
    try {
        for (int i = 0; i < 2000; ++i) {  // more than the page cache holds
            t.Append();
            t.SetFieldAsString("B", std::string(16, 'x'));
            t.Post();
        }
        t.Commit();
    } catch (const EDBEngineError& e) {
        error = e.what();
        t.Rollback();
    }
    FaultVfs::Off();
    EXPECT_EQ(error.rfind("H: Disk is full while writing table " + (dir / "T.db").string(), 0), 0u)
        << error;
    EXPECT_EQ(ReadA(), (std::vector<std::string>{"1", "2"}));
    t.Close();
    EXPECT_EQ(IntegrityCheck(dir / "T.db"), "ok");
    EXPECT_EQ(Rows(dir / "T.db").size(), 2u);
}

TEST_F(TableTest, FilesStayReadableByTheSqlite3Tool) {
    if (std::system("command -v sqlite3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no sqlite3 tool";
    Make({"1", "2"});
    t.Close();
    const std::string cmd = "sqlite3 -readonly '" + (dir / "T.db").string() +
                            "' 'PRAGMA integrity_check; SELECT group_concat(A) FROM records'";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[256] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, p);
    pclose(p);
    EXPECT_EQ(std::string(buf, n), "ok\n1,2\n");
}

}  // namespace
