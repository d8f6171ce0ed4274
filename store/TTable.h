#pragma once
// A table handle over one table file: the dataset behaviour the store and the
// transfers use (cursor, field access by name, append/edit/post, locate, create,
// delete). One table is one SQLite file `<name>.db` holding an SQL table `records`.
// An edit or delete acts only on the record as this handle read it (record numbers
// are never reused); a damaged table, or one whose file is a link or not a regular
// file, is refused.
#include <memory>
#include <string>
#include <vector>

#include "store/TableErrors.h"

struct TFieldDef {
    std::string Name;
    int Size = 0;  // characters
};

// The file name of table `tableName`: the name with ".db" added, unless it ends in
// ".db" in any letter case already.
std::string TableFileName(const std::string& tableName);

// The engine's shared control directory; must name an existing directory.
void SetNetFileDir(const std::string& dir);
std::string NetFileDir();

class TTable {
public:
    explicit TTable(std::string handleName);
    ~TTable();
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    const std::string& Name() const;
    void SetDatabaseName(std::string directory);
    const std::string& DatabaseName() const;
    void SetTableName(std::string tableName);
    const std::string& TableName() const;
    // Fields that must be present as string fields when the table opens.
    void SetRequiredFields(std::vector<std::string> fieldNames);

    void Open();
    void Close();  // closing a closed table does nothing
    bool Active() const;

    void First();
    void Next();  // posts a pending edit first
    bool Eof() const;
    int RecordCount() const;

    std::string FieldAsString(const std::string& field) const;  // blank or NULL gives ""
    // The current record's field as the file holds it, not cut to the field's size
    // (another program may have stored a longer text).
    std::string FieldAsStoredText(const std::string& field) const;
    void SetFieldAsString(const std::string& field, const std::string& value);

    void Append();  // a new blank record at the end, in insert state
    void Edit();
    void Post();    // stores a pending append or edit; does nothing otherwise
    void Cancel();  // drops a pending append or edit
    void Delete();  // the current record; the cursor moves to the next one

    // Moves to the first record whose field equals value exactly; false leaves the cursor.
    bool Locate(const std::string& field, const std::string& value);

    // Creates the table with string fields, and an optional unique key over the named
    // fields. A file already there is refused, never replaced: it may be a table
    // another copy has just made. The handle must be closed.
    void CreateTable(const std::vector<TFieldDef>& fields,
                     const std::vector<std::string>& uniqueKey = {});
    // Deletes the table; false when there was none. A table this handle has had open
    // (or made) goes only while its file is still that one: a table made under the
    // same name since, by another copy, is not this one and stays. The handle must be
    // closed.
    bool DeleteTable();
    // Copies the open table into a new table file `tableName` in `directory`, as one
    // consistent state of it while other handles and programs go on writing, and on
    // disk when it returns. A copy that fails is removed; a file already there is
    // refused, never replaced.
    void CopyTo(const std::string& directory, const std::string& tableName) const;

    // One transaction over this table's file; nested calls are refused. Commit ends it
    // either way: one that fails is rolled back. Rolling back gives the handle its
    // records as they were at the start, so a retry is matched against what it read.
    void StartTransaction();
    void Commit();
    void Rollback();

    // Full path of the file behind DatabaseName/TableName; refuses unsafe names.
    std::string FilePath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
