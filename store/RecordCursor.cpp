#include "store/RecordCursor.h"

#include <utility>

#include "store/TableErrors.h"

void TRecordCursor::Load(std::vector<TColumn> columns, std::vector<TRow> rows) {
    Clear();
    columns_ = std::move(columns);
    rows_ = std::move(rows);
    eof_ = rows_.empty();
}

void TRecordCursor::Clear() {
    columns_.clear();
    rows_.clear();
    Forget();
    position_ = 0;
    eof_ = true;
    state_ = Pending::None;
}

void TRecordCursor::Refuse(const std::string& text) const {
    throw EDatabaseError(name_ + ": " + text);
}

std::size_t TRecordCursor::ColumnIndex(const std::string& field) const {
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].name == field) return i;
    Refuse("Field '" + field + "' not found");
}

void TRecordCursor::First() {
    position_ = 0;
    eof_ = rows_.empty();
}

void TRecordCursor::Next() {
    if (position_ + 1 < rows_.size())
        ++position_;
    else
        eof_ = true;
}

bool TRecordCursor::Locate(const std::string& field, const std::string& value) {
    const std::size_t i = ColumnIndex(field);
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        if (rows_[r].values[i] == value) {
            position_ = r;
            eof_ = false;
            return true;
        }
    }
    return false;
}

std::string TRecordCursor::Field(const std::string& field) const {
    const std::size_t i = ColumnIndex(field);
    if (state_ != Pending::None) return pending_[i];
    if (rows_.empty()) return {};
    return rows_[position_].values[i];
}

void TRecordCursor::SetField(const std::string& field, const std::string& value) {
    const std::size_t i = ColumnIndex(field);
    if (state_ == Pending::None) Refuse("Dataset not in edit or insert mode");
    pending_[i] = CutToCharacters(value, columns_[i].size);
    changed_[i] = true;
}

void TRecordCursor::Append() {
    pending_.assign(columns_.size(), std::string());
    changed_.assign(columns_.size(), true);
    state_ = Pending::Insert;
}

void TRecordCursor::Edit() {
    if (state_ != Pending::None) return;
    if (rows_.empty()) return Append();
    pending_ = rows_[position_].values;
    changed_.assign(columns_.size(), false);
    state_ = Pending::Update;
}

void TRecordCursor::Cancel() {
    state_ = Pending::None;
}

TRecordCursor::Pending TRecordCursor::TakePending() {
    return std::exchange(state_, Pending::None);
}

void TRecordCursor::Inserted(TRow row) {
    if (keeping_) changes_.push_back({Pending::Insert, rows_.size(), {}});
    rows_.push_back(std::move(row));
    position_ = rows_.size() - 1;
    eof_ = false;
}

void TRecordCursor::Updated(TRow row) {
    if (keeping_) changes_.push_back({Pending::Update, position_, std::move(rows_[position_])});
    rows_[position_] = std::move(row);
}

void TRecordCursor::Deleted() {
    if (keeping_) changes_.push_back({Pending::None, position_, std::move(rows_[position_])});
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(position_));
    eof_ = false;
    ClampPosition();
}

void TRecordCursor::ClampPosition() {
    if (rows_.empty()) {
        position_ = 0;
        eof_ = true;
    } else if (position_ >= rows_.size()) {
        position_ = rows_.size() - 1;
        eof_ = true;
    }
}

void TRecordCursor::Keep() {
    Forget();
    keeping_ = true;
    keptPosition_ = position_;
    keptEof_ = eof_;
}

void TRecordCursor::Restore() {
    state_ = Pending::None;
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
        const auto at = rows_.begin() + static_cast<std::ptrdiff_t>(change->position);
        switch (change->kind) {
            case Pending::Insert:
                rows_.erase(at);
                break;
            case Pending::Update:
                *at = std::move(change->before);
                break;
            case Pending::None:
                rows_.insert(at, std::move(change->before));
                break;
        }
    }
    Forget();
    position_ = keptPosition_;
    eof_ = keptEof_;
}

void TRecordCursor::Forget() {
    keeping_ = false;
    changes_.clear();
}
