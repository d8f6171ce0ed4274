#include "store/TTable.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "store/PlainFileVfs.h"
#include "store/PlainFiles.h"
#include "store/RecordCursor.h"
#include "store/RecordWriter.h"
#include "store/SqliteValues.h"
#include "store/TableFile.h"

namespace fs = std::filesystem;

namespace {

std::string g_netFileDir;

}  // namespace

void SetNetFileDir(const std::string& dir) {
    std::error_code ec;
    if (!fs::is_directory(NativePath(dir), ec))
        throw ENoSuchTable("Network control directory does not exist: " + dir);
    g_netFileDir = dir;
}

std::string NetFileDir() {
    return g_netFileDir;
}

// A handle: where its table is, the file, the records as read and the writes.
struct TTable::Impl {
    explicit Impl(std::string handleName)
        : name(std::move(handleName)), file(name), cursor(name), writer(file, cursor.Columns()) {}

    [[noreturn]] void DataError(const std::string& text) const {
        throw EDatabaseError(name + ": " + text);
    }
    void CheckActive() const {
        if (!file.IsOpen()) DataError("Cannot perform this operation on a closed dataset");
    }
    void CheckClosed() const {
        if (file.IsOpen()) DataError("Cannot perform this operation on an open dataset");
    }
    void CheckDirectory(const std::string& dir) const {
        std::error_code ec;
        if (!fs::is_directory(NativePath(dir), ec))
            file.EngineError("Directory does not exist: " + dir);
    }
    // Stores a pending append or edit; does nothing otherwise.
    void Post() {
        switch (cursor.TakePending()) {
            case TRecordCursor::Pending::None:
                return;
            case TRecordCursor::Pending::Insert:
                cursor.Inserted(writer.Insert(cursor.PendingValues()));
                return;
            case TRecordCursor::Pending::Update: {
                TRow stored;
                if (writer.Update(cursor.Current(), cursor.PendingValues(), cursor.Changed(),
                                  stored))
                    cursor.Updated(std::move(stored));
                return;
            }
        }
    }
    // Undoes a transaction: the records as they were at its start, or none once the
    // file had to be closed. Gives a failed undo's result.
    int Undo() {
        const int rc = writer.Rollback();
        if (file.IsOpen())
            cursor.Restore();
        else
            cursor.Clear();
        return rc;
    }

    const std::string name;
    std::string directory;
    std::string tableName;
    std::vector<std::string> required;
    TTableFile file;
    TRecordCursor cursor;
    TRecordWriter writer;
    // The file this handle last had open or made, for DeleteTable.
    std::string openedPath;
    TFileIdentity opened;
};

TTable::TTable(std::string handleName) : d(std::make_unique<Impl>(std::move(handleName))) {
    InstallPlainFileVfs();
}

TTable::~TTable() = default;

const std::string& TTable::Name() const {
    return d->name;
}
void TTable::SetDatabaseName(std::string directory) {
    d->directory = std::move(directory);
}
const std::string& TTable::DatabaseName() const {
    return d->directory;
}
void TTable::SetTableName(std::string tableName) {
    d->tableName = std::move(tableName);
}
const std::string& TTable::TableName() const {
    return d->tableName;
}
void TTable::SetRequiredFields(std::vector<std::string> fieldNames) {
    d->required = std::move(fieldNames);
}

std::string TableFileName(const std::string& tableName) {
    if (tableName.size() >= 3 && Upper(tableName.substr(tableName.size() - 3)) == ".DB")
        return tableName;
    return tableName + ".db";
}

std::string TTable::FilePath() const {
    const std::string& t = d->tableName;
    if (t.empty()) d->file.EngineError("Table name is empty");
    if (t.find_first_of(std::string("/\\\0", 3)) != std::string::npos || t == "." || t == "..")
        d->file.EngineError("Table name refused (it would reach outside its directory): " + t);
    const std::u8string path = (NativePath(d->directory) / NativePath(TableFileName(t))).u8string();
    return std::string(path.begin(), path.end());
}

void TTable::Open() {
    if (d->file.IsOpen()) return;
    const std::string path = FilePath();
    d->file.Open(path);
    try {
        std::vector<TColumn> columns = d->file.ReadColumns();
        for (const std::string& f : d->required) {
            const auto c = std::find_if(columns.begin(), columns.end(),
                                        [&f](const TColumn& column) { return column.name == f; });
            if (c == columns.end()) d->DataError("Field '" + f + "' not found");
            if (c->typeName != "String")
                d->DataError("Type mismatch for field '" + f +
                             "', expecting: String actual: " + c->typeName);
        }
        std::vector<TRow> rows = d->file.ReadRows(columns);
        d->cursor.Load(std::move(columns), std::move(rows));
    } catch (...) {
        d->file.Close();
        throw;
    }
    d->openedPath = path;
    d->opened = IdentityOf(path);
}

void TTable::Close() {
    d->file.Close();
    d->writer.Forget();
    d->cursor.Clear();
}

bool TTable::Active() const {
    return d->file.IsOpen();
}

void TTable::First() {
    d->CheckActive();
    d->Post();
    d->cursor.First();
}

void TTable::Next() {
    d->CheckActive();
    d->Post();
    d->cursor.Next();
}

bool TTable::Eof() const {
    return !d->file.IsOpen() || d->cursor.Eof();
}

int TTable::RecordCount() const {
    d->CheckActive();
    return d->cursor.Count();
}

std::string TTable::FieldAsString(const std::string& field) const {
    d->CheckActive();
    return d->cursor.Field(field);
}

std::string TTable::FieldAsStoredText(const std::string& field) const {
    d->CheckActive();
    const std::size_t i = d->cursor.ColumnIndex(field);
    if (d->cursor.Empty()) return {};
    return StoredText(d->cursor.Current().stored[i]);
}

void TTable::SetFieldAsString(const std::string& field, const std::string& value) {
    d->CheckActive();
    d->cursor.SetField(field, value);
}

void TTable::Append() {
    d->CheckActive();
    d->Post();
    d->cursor.Append();
}

void TTable::Edit() {
    d->CheckActive();
    d->cursor.Edit();
}

void TTable::Post() {
    d->CheckActive();
    d->Post();
}

void TTable::Cancel() {
    d->CheckActive();
    d->cursor.Cancel();
}

void TTable::Delete() {
    d->CheckActive();
    d->cursor.Cancel();
    if (d->cursor.Empty()) d->DataError("Cannot perform this operation on an empty dataset");
    d->writer.Delete(d->cursor.Current());
    d->cursor.Deleted();
}

bool TTable::Locate(const std::string& field, const std::string& value) {
    d->CheckActive();
    d->Post();
    return d->cursor.Locate(field, value);
}

void TTable::CreateTable(const std::vector<TFieldDef>& fields,
                         const std::vector<std::string>& uniqueKey) {
    d->CheckClosed();
    const std::string path = FilePath();
    d->CheckDirectory(d->directory);
    std::string sql = "CREATE TABLE records (";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) sql += ", ";
        sql += QuoteIdentifier(fields[i].Name) + " VARCHAR(" + std::to_string(fields[i].Size) + ")";
    }
    if (!uniqueKey.empty()) {
        sql += ", UNIQUE (";
        for (std::size_t i = 0; i < uniqueKey.size(); ++i)
            sql += (i ? ", " : "") + QuoteIdentifier(uniqueKey[i]);
        sql += ")";
    }
    sql += ")";
    d->file.Create(path);
    try {
        d->file.Exec(sql, "creating");
    } catch (...) {
        d->file.DiscardMade();
        throw;
    }
    d->file.Close();
    d->openedPath = path;
    d->opened = IdentityOf(path);
}

void TTable::CopyTo(const std::string& directory, const std::string& tableName) const {
    d->CheckActive();
    TTable copy(d->name);
    copy.SetDatabaseName(directory);
    copy.SetTableName(tableName);
    TTableFile& to = copy.d->file;
    const std::string path = copy.FilePath();
    d->CheckDirectory(directory);
    to.Create(path);
    try {
        d->file.CopyInto(to);
    } catch (...) {
        // The copy is whole or not there.
        to.DiscardMade();
        throw;
    }
    to.Close();
}

bool TTable::DeleteTable() {
    d->CheckClosed();
    const std::string path = FilePath();
    std::error_code ec;
    const fs::file_status there = fs::symlink_status(NativePath(path), ec);
    if (ec == std::errc::permission_denied)
        d->file.EngineError("Table cannot be deleted: " + path + ": " +
                            OpenFailureCause(path, ec.value()));
    if (!fs::exists(there)) return false;
    if (!fs::is_regular_file(there))
        d->file.EngineError("Table is a link or not a regular file: " + path);
    if (path == d->openedPath && IdentityOf(path) != d->opened) return false;
    const bool removed = fs::remove(NativePath(path), ec);
    if (ec) d->file.EngineError("Table cannot be deleted: " + path + ": " + ec.message());
    fs::remove(NativePath(path + "-journal"), ec);
    return removed;
}

void TTable::StartTransaction() {
    d->CheckActive();
    d->writer.Begin();
    d->cursor.Keep();
}

void TTable::Commit() {
    d->CheckActive();
    if (!d->writer.InTransaction())
        d->file.EngineError("No transaction is active on " + d->file.Path());
    try {
        d->Post();
        // A table deleted or moved by another program while the transaction ran would
        // take the records with it: that is no save.
        if (d->file.HasMoved())
            d->file.EngineError("Table was deleted or moved by another program: " + d->file.Path());
        d->writer.Commit();
    } catch (...) {
        d->Undo();
        throw;
    }
    d->cursor.Forget();
}

void TTable::Rollback() {
    d->CheckActive();
    if (!d->writer.InTransaction()) return;
    if (const int rc = d->Undo(); rc != SQLITE_OK) d->file.Fail(rc, "writing");
}
