// The set list model: one row per set in both columns, and the 32,767-set limit.
#include "sets/set_list.h"

#include <gtest/gtest.h>

namespace {

using sets::Set;
using sets::SetList;

QString cell(const SetList& list, int row, int column) {
    return list.data(list.index(row, column)).toString();
}

TEST(SetList, AppendPutsFindAndReplaceInOneRow) {
    SetList list;
    EXPECT_EQ(list.append("top", "summit"), SetList::AppendResult::Appended);
    EXPECT_EQ(list.append("top", "summit"), SetList::AppendResult::Appended);
    EXPECT_EQ(list.append("", " b  "), SetList::AppendResult::Appended);
    ASSERT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.columnCount(), 2);
    EXPECT_EQ(cell(list, 1, SetList::kFindColumn), "top");
    EXPECT_EQ(cell(list, 1, SetList::kReplaceColumn), "summit");
    EXPECT_EQ(cell(list, 2, SetList::kFindColumn), "");
    EXPECT_EQ(cell(list, 2, SetList::kReplaceColumn), " b  ");
    EXPECT_EQ(list.at(0), list.at(1)) << "duplicates are kept";
}

TEST(SetList, FullListAddsNothingMore) {
    SetList list;
    for (int i = 0; i < SetList::kMaxSets; ++i) {
        ASSERT_EQ(list.append(QString::number(i), "r"), SetList::AppendResult::Appended);
    }
    EXPECT_TRUE(list.isFull());
    EXPECT_EQ(list.append("one", "more"), SetList::AppendResult::Full);
    EXPECT_EQ(list.count(), 32767);
    EXPECT_FALSE(list.insertRows(list.count(), 1)) << "the model's insert obeys the limit too";
    EXPECT_EQ(list.at(32766).find, "32766");
}

// A combo box's own addItem inserts a row, then sets the text of its column: the other
// column gains an empty text in the same row, so the counts still agree.
TEST(SetList, ModelInsertKeepsBothColumnsTheSameLength) {
    SetList list;
    list.append("a", "b");
    ASSERT_TRUE(list.insertRows(1, 1));
    ASSERT_TRUE(list.setData(list.index(1, SetList::kFindColumn), "typed"));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(1), (Set{"typed", ""}));
    EXPECT_FALSE(list.insertRows(5, 1));
}

TEST(SetList, RemoveAndClear) {
    SetList list;
    for (const char* find : {"a", "b", "c"}) {
        list.append(find, QString(find).toUpper());
    }
    list.remove(1);
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(1), (Set{"c", "C"})) << "the pairs behind the removed one keep partners";
    list.remove(-1);
    list.remove(2);
    EXPECT_EQ(list.count(), 2) << "an index out of range removes nothing";
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.rowCount(), 0);
}

} // namespace
