// The cursor alone, without a file: what a transaction undone gives back.
#include <gtest/gtest.h>

#include "store/RecordCursor.h"

namespace {

TRow Record(std::int64_t rowid, const std::string& value) {
    return {rowid, {value}, {{TStoredValue::Kind::Text, 0, 0, value}}};
}

std::vector<std::string> Shown(TRecordCursor& cursor) {
    std::vector<std::string> out;
    for (cursor.First(); !cursor.Eof(); cursor.Next()) out.push_back(cursor.Field("A"));
    return out;
}

TEST(RecordCursor, RestoreGivesBackTheRecordsAndPositionAsKept) {
    const std::string name = "T";
    TRecordCursor cursor(name);
    cursor.Load({{"A", "String", 4}}, {Record(1, "a"), Record(2, "b"), Record(3, "c")});
    cursor.Next();
    cursor.Keep();
    cursor.Updated(Record(2, "B"));
    cursor.Deleted();  // b, now at c
    cursor.Inserted(Record(4, "d"));
    cursor.First();
    cursor.Deleted();
    EXPECT_EQ(Shown(cursor), (std::vector<std::string>{"c", "d"}));
    cursor.Next();
    cursor.Restore();
    EXPECT_EQ(cursor.Field("A"), "b");
    EXPECT_EQ(cursor.Current().stored[0].bytes, "b");
    EXPECT_EQ(Shown(cursor), (std::vector<std::string>{"a", "b", "c"}));
    // A second Restore has nothing left to undo; changes after Forget are kept.
    cursor.Restore();
    cursor.Inserted(Record(5, "e"));
    cursor.Restore();
    EXPECT_EQ(Shown(cursor), (std::vector<std::string>{"a", "b", "c", "e"}));
}

}  // namespace
