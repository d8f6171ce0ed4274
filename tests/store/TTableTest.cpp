// The table layer: dataset semantics, its error texts, and the files the sqlite3
// tool can leave behind.
#ifndef _WIN32
#include <unistd.h>
#endif

#include "store/TTable.h"
#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;

class EngineTable : public ::testing::Test {
protected:
    fs::path Dir() const { return home.data(); }
    fs::path File(const std::string& name = "T") const { return Dir() / (name + ".db"); }
    // A handle named "T" on table `name` in the data folder.
    std::unique_ptr<TTable> Handle(const std::string& name = "T") {
        auto t = std::make_unique<TTable>("T");
        t->SetDatabaseName(Dir().string());
        t->SetTableName(name);
        return t;
    }
    std::unique_ptr<TTable> Created(const std::vector<TFieldDef>& fields,
                                    const std::vector<std::string>& key = {}) {
        auto t = Handle();
        t->CreateTable(fields, key);
        t->Open();
        return t;
    }
    static std::string ErrorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "no error";
    }

    TempHome home;
};

#define EXPECT_DATA_ERROR(stmt, text)                                      \
    do {                                                                   \
        try {                                                              \
            stmt;                                                          \
            ADD_FAILURE() << #stmt " did not throw";                       \
        } catch (const EDBEngineError& e) {                                \
            ADD_FAILURE() << #stmt " threw an engine error: " << e.what(); \
        } catch (const EDatabaseError& e) {                                \
            EXPECT_EQ(std::string(e.what()), text);                        \
        }                                                                  \
    } while (0)

// An engine error whose text starts with the handle's name and names `what`.
#define EXPECT_ENGINE_ERROR(stmt, needle)                                               \
    do {                                                                                \
        try {                                                                           \
            stmt;                                                                       \
            ADD_FAILURE() << #stmt " did not throw";                                    \
        } catch (const EDBEngineError& e) {                                             \
            const std::string text = e.what();                                          \
            EXPECT_EQ(text.rfind("T: ", 0), 0u) << text;                                \
            EXPECT_NE(text.find(needle), std::string::npos) << text << " / " << needle; \
        }                                                                               \
    } while (0)

TEST_F(EngineTable, ClosedDatasetRefusesEveryRecordOperation) {
    auto t = Created({{"A", 4}});
    t->Close();
    t->Close();  // closing a closed table does nothing
    EXPECT_FALSE(t->Active());
    EXPECT_TRUE(t->Eof());
    const std::string closed = "T: Cannot perform this operation on a closed dataset";
    EXPECT_DATA_ERROR(t->First(), closed);
    EXPECT_DATA_ERROR(t->Next(), closed);
    EXPECT_DATA_ERROR(t->FieldAsString("A"), closed);
    EXPECT_DATA_ERROR(t->SetFieldAsString("A", "x"), closed);
    EXPECT_DATA_ERROR(t->Append(), closed);
    EXPECT_DATA_ERROR(t->Edit(), closed);
    EXPECT_DATA_ERROR(t->Post(), closed);
    EXPECT_DATA_ERROR(t->Delete(), closed);
    EXPECT_DATA_ERROR(t->Locate("A", "x"), closed);
    EXPECT_DATA_ERROR(t->RecordCount(), closed);
    EXPECT_DATA_ERROR(t->StartTransaction(), closed);
}

TEST_F(EngineTable, UnknownFieldAndRequiredFieldTexts) {
    auto t = Created({{"A", 4}});
    t->Append();
    EXPECT_DATA_ERROR(t->SetFieldAsString("B", "x"), "T: Field 'B' not found");
    EXPECT_DATA_ERROR(t->FieldAsString("a"), "T: Field 'a' not found");  // names are exact
    t->Close();

    Sql(File("G1"), "CREATE TABLE records (\"Group Name\" VARCHAR(30))");
    auto g = Handle("G1");
    g->SetRequiredFields({"Group Name", "IDListName"});
    EXPECT_DATA_ERROR(g->Open(), "T: Field 'IDListName' not found");
    EXPECT_FALSE(g->Active());

    Sql(File("G2"), "CREATE TABLE records (\"Group Name\" VARCHAR(30), IDListName INTEGER)");
    g->SetTableName("G2");
    EXPECT_DATA_ERROR(g->Open(),
                      "T: Type mismatch for field 'IDListName', expecting: String actual: Integer");
    EXPECT_FALSE(g->Active());

    // Sizes are not compared.
    Sql(File("G3"), "CREATE TABLE records (\"Group Name\" VARCHAR(3), IDListName TEXT)");
    g->SetTableName("G3");
    EXPECT_NO_THROW(g->Open());
}

TEST_F(EngineTable, MissingAndForeignFilesAreEngineErrorsAndStayAsTheyWere) {
    auto t = Handle("Missing");
    EXPECT_ENGINE_ERROR(t->Open(), File("Missing").string());
    EXPECT_FALSE(fs::exists(File("Missing")));  // opening never creates
    t->SetDatabaseName((Dir() / "nowhere").string());
    EXPECT_ENGINE_ERROR(t->Open(), "nowhere");
    EXPECT_FALSE(fs::exists(Dir() / "nowhere"));

    { std::ofstream(File("Text")) << "Group Name,IDListName\nnot,a database at all\n"; }
    { std::ofstream(File("Empty")); }
    Sql(File("Other"), "CREATE TABLE something (a TEXT)");
    for (const char* name : {"Text", "Empty", "Other"}) {
        const auto before = Snapshot(Dir());
        auto h = Handle(name);
        EXPECT_ENGINE_ERROR(h->Open(), "not a table");
        EXPECT_FALSE(h->Active());
        EXPECT_EQ(Snapshot(Dir()), before) << name;
    }
}

TEST_F(EngineTable, StringFieldsHoldTheirSizeInCharacters) {
    auto t = Created({{"A", 4}, {"B", 16}});
    t->Append();
    t->SetFieldAsString("A", "äöüßx");  // 5 characters, 9 bytes
    t->SetFieldAsString("B", "0123456789abcdefg");
    EXPECT_EQ(t->FieldAsString("A"), "äöüß");
    t->Post();
    t->Close();
    EXPECT_EQ(Query(File(), "SELECT A, B, length(A) FROM records"),
              (RowList{{"äöüß", "0123456789abcdef", "4"}}));
    t->Open();
    EXPECT_EQ(t->FieldAsString("A"), "äöüß");
}

TEST_F(EngineTable, ValuesTheSqliteToolLeavesRead) {
    Sql(File(), "CREATE TABLE records (A VARCHAR(4), B VARCHAR(16))");
    Sql(File(),
        "INSERT INTO records VALUES ('abcdefgh', NULL), ('ééééé', ''), (42, 2.5), "
        "(x'41424344454647', 'ok')");
    auto t = Handle();
    t->Open();
    std::vector<std::pair<std::string, std::string>> seen;
    for (t->First(); !t->Eof(); t->Next())
        seen.emplace_back(t->FieldAsString("A"), t->FieldAsString("B"));
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{
                        {"abcd", ""}, {"éééé", ""}, {"42", "2.5"}, {"ABCD", "ok"}}));
}

TEST_F(EngineTable, AppendEditPostAndPostingOnCursorMoves) {
    auto t = Created({{"A", 8}, {"B", 8}});
    EXPECT_TRUE(t->Eof());  // an empty table is at its end at once
    t->First();
    EXPECT_TRUE(t->Eof());
    for (const char* v : {"one", "two", "three"}) {
        t->Append();  // appending posts the previous append
        t->SetFieldAsString("A", v);
    }
    EXPECT_DATA_ERROR(t->SetFieldAsString("Z", ""), "T: Field 'Z' not found");
    t->First();  // and moving posts the last one
    EXPECT_EQ(t->RecordCount(), 3);

    // An edit stored by Next; B stays as it was.
    Sql(File(), "UPDATE records SET B = 'keep'");
    t->Close();
    t->Open();
    t->Edit();
    t->SetFieldAsString("A", "ONE");
    t->Next();
    EXPECT_EQ(t->FieldAsString("A"), "two");
    // A cancelled edit stores nothing; a Post without an edit does nothing.
    t->Edit();
    t->SetFieldAsString("A", "dropped");
    t->Cancel();
    t->Post();
    // An edit stored by Locate.
    t->Next();
    t->Edit();
    t->SetFieldAsString("B", "b3");
    EXPECT_TRUE(t->Locate("A", "ONE"));
    EXPECT_THROW(t->SetFieldAsString("A", "x"), EDatabaseError);  // not in edit state
    t->Close();
    EXPECT_EQ(Query(File(), "SELECT A, B FROM records ORDER BY rowid"),
              (RowList{{"ONE", "keep"}, {"two", "keep"}, {"three", "b3"}}));

    // Eof comes after a step from the last record.
    t->Open();
    int n = 0;
    for (t->First(); !t->Eof(); t->Next()) ++n;
    EXPECT_EQ(n, 3);
}

TEST_F(EngineTable, DeleteRemovesTheCurrentRecordAndMovesOn) {
    auto t = Created({{"A", 8}});
    for (const char* v : {"a", "b", "c"}) {
        t->Append();
        t->SetFieldAsString("A", v);
    }
    t->First();
    t->Delete();
    EXPECT_EQ(t->FieldAsString("A"), "b");
    t->Next();
    t->Delete();  // the last one
    EXPECT_EQ(t->RecordCount(), 1);
    t->First();
    t->Delete();
    EXPECT_TRUE(t->Eof());
    EXPECT_THROW(t->Delete(), EDatabaseError);
    t->Close();
    EXPECT_TRUE(Query(File(), "SELECT * FROM records").empty());
}

TEST_F(EngineTable, LocateIsExactAndCaseSensitive) {
    Sql(File(), "CREATE TABLE records (A VARCHAR(8), N VARCHAR(4))");
    Sql(File(),
        "INSERT INTO records VALUES ('Alpha', '1'), ('alpha', '2'), ('Alpha ', '3'), "
        "('Alpha', '4')");
    auto t = Handle();
    t->Open();
    EXPECT_TRUE(t->Locate("A", "alpha"));
    EXPECT_EQ(t->FieldAsString("N"), "2");
    EXPECT_TRUE(t->Locate("A", "Alpha"));  // the first of two in table order
    EXPECT_EQ(t->FieldAsString("N"), "1");
    t->Next();
    for (const char* miss : {"ALPHA", "Alp", "Alpha  ", ""}) {
        EXPECT_FALSE(t->Locate("A", miss)) << miss;
        EXPECT_EQ(t->FieldAsString("N"), "2") << "a miss leaves the cursor";
    }
    EXPECT_TRUE(t->Locate("A", "Alpha "));
    EXPECT_EQ(t->FieldAsString("N"), "3");
}

TEST_F(EngineTable, CreateTableNeverReplacesAndKeepsTheFileFormat) {
    Sql(File("Old"), "CREATE TABLE records (Old TEXT)");
    const auto before = Snapshot(Dir());
    EXPECT_ENGINE_ERROR(Handle("Old")->CreateTable({{"A", 1}}),
                        "Table already exists: " + File("Old").string());
    EXPECT_EQ(Snapshot(Dir()), before);

    auto t = Handle();
    t->CreateTable({{"Trailer ID", 16}, {"Vehicle ID", 16}});
    EXPECT_EQ(Query(File(), "SELECT name, type FROM pragma_table_info('records') ORDER BY cid"),
              (RowList{{"Trailer ID", "VARCHAR(16)"}, {"Vehicle ID", "VARCHAR(16)"}}));
    EXPECT_TRUE(Query(File(), "SELECT * FROM records").empty());

    t->Open();
    EXPECT_THROW(t->CreateTable({{"A", 1}}), EDatabaseError);  // not while open
    EXPECT_THROW(t->DeleteTable(), EDatabaseError);
    t->Close();
    EXPECT_TRUE(t->DeleteTable());
    EXPECT_FALSE(fs::exists(File()));
    EXPECT_FALSE(t->DeleteTable());

    // A name ending in .db in any case is the file name itself.
    auto upper = Handle("Groups.DB");
    upper->CreateTable({{"A", 1}});
    EXPECT_TRUE(fs::exists(Dir() / "Groups.DB"));
    EXPECT_FALSE(fs::exists(Dir() / "Groups.DB.db"));

    auto nowhere = Handle();
    nowhere->SetDatabaseName((Dir() / "nowhere").string());
    EXPECT_THROW(nowhere->CreateTable({{"A", 1}}), EDBEngineError);
    EXPECT_FALSE(fs::exists(Dir() / "nowhere"));
}

TEST_F(EngineTable, UniqueKeyRefusesADuplicateAndStoresNothing) {
    auto t = Created({{"K", 8}, {"V", 8}}, {"K"});
    t->Append();
    t->SetFieldAsString("K", "a");
    t->Post();
    t->Append();
    t->SetFieldAsString("K", "a");
    t->SetFieldAsString("V", "second");
    EXPECT_ENGINE_ERROR(t->Post(), File().string());
    EXPECT_EQ(t->RecordCount(), 1);
    t->Append();
    t->SetFieldAsString("K", "A");  // keys are case-sensitive
    t->Post();
    t->Close();
    EXPECT_EQ(Query(File(), "SELECT K, V FROM records"), (RowList{{"a", ""}, {"A", ""}}));
}

TEST_F(EngineTable, TransactionsCommitRollBackAndCloseRollsBack) {
    auto t = Created({{"A", 8}});
    t->StartTransaction();
    EXPECT_THROW(t->StartTransaction(), EDBEngineError);
    t->Append();
    t->SetFieldAsString("A", "gone");
    t->Post();
    t->Append();
    t->SetFieldAsString("A", "pending");
    t->Rollback();
    EXPECT_EQ(t->RecordCount(), 0);
    EXPECT_TRUE(t->Eof());

    t->StartTransaction();
    t->Append();
    t->SetFieldAsString("A", "kept");  // posted by Commit
    t->Commit();
    EXPECT_THROW(t->Commit(), EDBEngineError);

    t->StartTransaction();
    t->First();
    t->Edit();
    t->SetFieldAsString("A", "changed");
    t->Post();
    EXPECT_EQ(Query(File(), "SELECT A FROM records"), (RowList{{"kept"}}));  // others see the old
    t->Close();
    EXPECT_EQ(Query(File(), "SELECT A FROM records"), (RowList{{"kept"}}));
    EXPECT_FALSE(fs::exists(File().string() + "-journal"));
}

TEST_F(EngineTable, NamesThatReachOutsideAreRefusedBeforeAnyFileIsTouched) {
    const fs::path inner = Dir() / "inner";
    fs::create_directories(inner);
    Sql(Dir() / "victim.db", "CREATE TABLE records (A VARCHAR(1))");
    const auto before = Snapshot(home.root());
    for (const std::string& name :
         {std::string(""), std::string("."), std::string(".."), std::string("../victim"),
          std::string("../victim.db"), std::string("a/b"), std::string("..\\victim"),
          std::string("/tmp/x"), std::string("vic\0tim", 7)}) {
        TTable t("T");
        t.SetDatabaseName(inner.string());
        t.SetTableName(name);
        EXPECT_THROW(t.FilePath(), EDBEngineError);
        EXPECT_THROW(t.Open(), EDBEngineError);
        EXPECT_THROW(t.CreateTable({{"A", 1}}), EDBEngineError);
        EXPECT_THROW(t.DeleteTable(), EDBEngineError);
        EXPECT_EQ(Snapshot(home.root()), before) << name;
    }
}

TEST_F(EngineTable, EditsAndDeletesActOnlyOnTheRecordAsReadAndNumbersNeverComeBack) {
    // A file as an earlier version or the sqlite3 tool left it: no record number kept.
    Sql(File(), "CREATE TABLE records (A VARCHAR(8), B VARCHAR(8))");
    Sql(File(), "INSERT INTO records VALUES ('a', NULL), ('b', 'x'), ('c', 'x')");
    auto mine = Handle();
    auto other = Handle();
    mine->Open();
    other->Open();
    // The other deletes the last record and appends its twin, which gets a new number.
    other->Locate("A", "c");
    other->Delete();
    other->Append();
    other->SetFieldAsString("A", "c");
    other->SetFieldAsString("B", "x");
    other->Post();
    ASSERT_TRUE(mine->Locate("A", "c"));
    EXPECT_ENGINE_ERROR(mine->Delete(), "Record was deleted by another user: " + File().string());
    // NULL and '' both show as blank, yet a record changed from one to the other is changed.
    Sql(File(), "UPDATE records SET B = '' WHERE A = 'a'");
    mine->First();
    mine->Edit();
    mine->SetFieldAsString("A", "mine");
    EXPECT_ENGINE_ERROR(mine->Post(), "Record was changed by another user: " + File().string());
    EXPECT_EQ(Query(File(), "SELECT rowid, * FROM records"),
              (RowList{{"1", "a", ""}, {"2", "b", "x"}, {"4", "c", "x"}}));
}

TEST_F(EngineTable, LinksAndSpecialFilesAreRefusedAndNothingOutsideIsTouched) {
#ifdef _WIN32
    GTEST_SKIP() << "links need rights on Windows that a user's data folders do not give";
#endif
    const fs::path outside = home.root() / "outside";
    fs::create_directories(outside);
    Sql(outside / "x.db", "CREATE TABLE records (A VARCHAR(4))");
    fs::create_symlink(outside / "x.db", File("Link"));
    fs::create_symlink(outside / "new.db", File("Dangling"));
    fs::create_directory(File("Dir"));
    Sql(File("J"), "CREATE TABLE records (A VARCHAR(4))");
    fs::create_symlink(outside / "x.db-journal", File("J").string() + "-journal");
    const auto before = Snapshot(outside);
    for (const char* name : {"Link", "Dangling", "Dir"}) {
        auto t = Handle(name);
        EXPECT_ENGINE_ERROR(t->Open(), "link or not a regular file");
        EXPECT_ENGINE_ERROR(t->CreateTable({{"A", 4}}), "link or not a regular file");
        EXPECT_ENGINE_ERROR(t->DeleteTable(), "link or not a regular file");
    }
    EXPECT_ENGINE_ERROR(Handle("J")->Open(), "link or not a regular file");
    // Below the table layer too, SQLite itself is kept from following the link.
    EXPECT_THROW(Query(File("Link"), "SELECT * FROM records"), std::runtime_error);
    EXPECT_EQ(Snapshot(outside), before);
    // The folders themselves may be links (data kept on another disk).
    fs::create_directory_symlink(outside, Dir() / "elsewhere");
    TTable there("T");
    there.SetDatabaseName((Dir() / "elsewhere").string());
    there.SetTableName("x");
    there.Open();
    EXPECT_EQ(there.RecordCount(), 0);
}

TEST_F(EngineTable, ATableMovedAwayWhileOpenSaysSoAndStoresNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows lets no program move or delete a table that is open";
#endif
    auto t = Created({{"A", 4}});
    t->Append();
    t->Post();
    fs::rename(File(), File("Moved"));
    t->Edit();
    t->SetFieldAsString("A", "lost");
    EXPECT_ENGINE_ERROR(t->Post(),
                        "Table was deleted or moved by another program: " + File().string());
}

TEST_F(EngineTable, NetFileDirMustExistAndMaySetAgainWhileOpen) {
    EXPECT_THROW(SetNetFileDir((Dir() / "nowhere").string()), EDBEngineError);
    SetNetFileDir(Dir().string());
    auto t = Created({{"A", 1}});
    EXPECT_NO_THROW(SetNetFileDir(Dir().string()));
    EXPECT_EQ(NetFileDir(), Dir().string());
    EXPECT_TRUE(t->Active());
}

#ifndef _WIN32
// POSIX only: the checks need file modes, and a process without root's rights.
// Runs `f` as an unprivileged user: root writes through file modes.
std::string AsUnprivileged(const std::function<void()>& f) {
    return InChild(
        [] {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        },
        f);
}

TEST_F(EngineTable, FilesThisUserMayNotUseAreEngineErrorsNamingTheCause) {
    for (fs::path p = Dir(); p != home.root().parent_path(); p = p.parent_path())
        chmod(p.c_str(), 0755);
    Sql(File("RO"), "CREATE TABLE records (A VARCHAR(4)); INSERT INTO records VALUES ('ro')");
    chmod(File("RO").c_str(), 0444);
    const std::string readOnly = "engine|T: Table is read-only: " + File("RO").string();
    const auto writeTo = [&](const std::string& name) {
        return [this, name] {
            auto t = Handle(name);
            t->Open();
            if (t->FieldAsString("A") != "ro") throw std::runtime_error("unreadable");
            t->First();
            t->Delete();
        };
    };
    EXPECT_EQ(AsUnprivileged(writeTo("RO")), readOnly);
    EXPECT_EQ(AsUnprivileged([&] {
                  auto t = Handle("RO");
                  t->Open();
                  t->Append();
                  t->Post();
              }),
              readOnly);
    EXPECT_EQ(RowList{{"ro"}}, Query(File("RO"), "SELECT A FROM records"));

    Sql(File("Unreadable"), "CREATE TABLE records (A VARCHAR(4))");
    chown(File("Unreadable").c_str(), geteuid() == 0 ? 65534 : geteuid(), -1);
    chmod(File("Unreadable").c_str(), 0);
    EXPECT_EQ(AsUnprivileged(writeTo("Unreadable")),
              "engine|T: Table cannot be opened: " + File("Unreadable").string() +
                  ": permission denied (this user may not read the file)");

    const fs::path closed = Dir() / "closed";
    fs::create_directory(closed);
    Sql(closed / "T.db", "CREATE TABLE records (A VARCHAR(4))");
    chmod(closed.c_str(), 0600);
    EXPECT_EQ(AsUnprivileged([&] {
                  TTable t("T");
                  t.SetDatabaseName(closed.string());
                  t.SetTableName("T");
                  t.Open();
              }),
              "engine|T: Table cannot be opened: " + (closed / "T.db").string() +
                  ": permission denied (this user may not enter the folder " + closed.string() +
                  ")");
    chmod(closed.c_str(), 0755);
}
#endif

}  // namespace
