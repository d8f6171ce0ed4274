#pragma once
// Inside the table layer only: the records of one open table as its handle read
// them, the position in them and the record being edited or appended. Plain memory:
// what reaches the file goes through the record writer.
#include <cstddef>
#include <string>
#include <vector>

#include "store/Records.h"

class TRecordCursor {
public:
    enum class Pending { None, Insert, Update };

    // `handleName` goes in front of the data-access errors.
    explicit TRecordCursor(const std::string& handleName) : name_(handleName) {}

    // The records of a table just opened, at the first of them.
    void Load(std::vector<TColumn> columns, std::vector<TRow> rows);
    void Clear();

    const std::vector<TColumn>& Columns() const { return columns_; }
    std::size_t ColumnIndex(const std::string& field) const;  // refuses an unknown name
    int Count() const { return static_cast<int>(rows_.size()); }
    bool Eof() const { return eof_; }
    bool Empty() const { return rows_.empty(); }

    // Moving gives no pending record: the handle stores it first.
    void First();
    void Next();
    // To the first record whose field equals value exactly; false leaves the position.
    bool Locate(const std::string& field, const std::string& value);

    // The pending record's field while editing or appending, else the current one's.
    std::string Field(const std::string& field) const;
    void SetField(const std::string& field, const std::string& value);  // cut to its size
    const TRow& Current() const { return rows_[position_]; }

    void Append();  // a blank pending record
    void Edit();    // the current record as the pending one (an empty table appends)
    void Cancel();
    // What is pending, given up: a store that fails drops it.
    Pending TakePending();
    const std::vector<std::string>& PendingValues() const { return pending_; }
    const std::vector<bool>& Changed() const { return changed_; }

    // The records as the file now holds them after a write.
    void Inserted(TRow row);
    void Updated(TRow row);
    void Deleted();  // the current record; the position moves to the next one

    // From Keep on, the changes are noted, so that Restore gives back the records as
    // they were then (a transaction undone): until the table is read again, every
    // edit is matched against what the handle read.
    void Keep();
    void Restore();
    void Forget();

private:
    [[noreturn]] void Refuse(const std::string& text) const;
    void ClampPosition();

    const std::string& name_;
    std::vector<TColumn> columns_;
    std::vector<TRow> rows_;
    std::size_t position_ = 0;
    bool eof_ = true;
    Pending state_ = Pending::None;
    std::vector<std::string> pending_;
    std::vector<bool> changed_;
    // What Restore undoes, last change last.
    struct TChange {
        Pending kind;  // Insert, Update, or None for a delete
        std::size_t position;
        TRow before;
    };
    bool keeping_ = false;
    std::vector<TChange> changes_;
    std::size_t keptPosition_ = 0;
    bool keptEof_ = true;
};
