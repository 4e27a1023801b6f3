// The shared string table written anew and read back: the continuation rules, the record
// limit and the EXTSST buckets.
#include "xls/bytes.h"
#include "xls/records.h"
#include "xls/shared_string_table.h"

#include <gtest/gtest.h>

namespace engine::xls {
namespace {

SstEntry entry(std::u16string text, std::vector<FormatRun> runs = {}, std::string phonetic = {},
               bool hasPhonetic = false) {
    return {std::move(text), std::move(runs), hasPhonetic, std::move(phonetic)};
}

// Writes the table, checks the records' shape and reads it back.
SharedStrings roundTrip(const SharedStrings& table, WrittenTable& written) {
    written = writeSharedStrings(table);
    auto records = splitRecords(written.records);
    EXPECT_TRUE(records.ok());
    SharedStrings back;
    if (!records) {
        return back;
    }
    for (std::size_t i = 0; i < records.value().size(); ++i) {
        EXPECT_EQ(records.value()[i].type, i == 0 ? rt::kSst : rt::kContinue);
        EXPECT_LE(records.value()[i].size, kMaxRecordData);
    }
    auto read = readSharedStrings(written.records, records.value(), 0);
    EXPECT_TRUE(read.ok());
    return read ? read.value() : back;
}

void expectSame(const SharedStrings& a, const SharedStrings& b) {
    ASSERT_EQ(a.entries.size(), b.entries.size());
    EXPECT_EQ(a.total, b.total);
    for (std::size_t k = 0; k < a.entries.size(); ++k) {
        EXPECT_EQ(a.entries[k].text, b.entries[k].text) << k;
        ASSERT_EQ(a.entries[k].runs.size(), b.entries[k].runs.size()) << k;
        for (std::size_t r = 0; r < a.entries[k].runs.size(); ++r) {
            EXPECT_EQ(a.entries[k].runs[r].ich, b.entries[k].runs[r].ich);
            EXPECT_EQ(a.entries[k].runs[r].ifnt, b.entries[k].runs[r].ifnt);
        }
        EXPECT_EQ(a.entries[k].hasPhonetic, b.entries[k].hasPhonetic);
        EXPECT_EQ(a.entries[k].phonetic, b.entries[k].phonetic);
    }
}

TEST(SharedStringTable, ManyStringsOfEveryKindComeBackAcrossRecords) {
    SharedStrings table;
    for (int k = 0; k < 3000; ++k) {
        std::u16string text(static_cast<std::size_t>(k % 37), static_cast<char16_t>(u'a' + k % 26));
        if (k % 5 == 0) {
            text += u"\u00e9\u4e2d"; // needs the 16-bit form
        }
        if (k % 7 == 0) {
            text += u"\U0001F600";
        }
        std::vector<FormatRun> runs;
        if (k % 3 == 0 && text.size() > 2) {
            runs = {{1, 5}, {2, 6}};
        }
        table.entries.push_back(k % 11 == 0 ? entry(text, runs, std::string(10, '\x01'), true)
                                            : entry(text, runs));
    }
    table.entries.push_back(entry(std::u16string(20000, u'z'))); // longer than two records
    table.total = 5000;
    WrittenTable written;
    expectSame(table, roundTrip(table, written));
    // One bucket per stringsPerBucket strings, each at the start of its string.
    EXPECT_EQ(written.stringsPerBucket, table.entries.size() / 128 + 1);
    ASSERT_EQ(written.buckets.size(),
              (table.entries.size() + written.stringsPerBucket - 1) / written.stringsPerBucket);
    for (std::size_t b = 0; b < written.buckets.size(); ++b) {
        const auto [offset, inRecord] = written.buckets[b];
        const std::uint16_t type = load16(written.records.data() + offset - inRecord);
        EXPECT_TRUE(type == rt::kSst || type == rt::kContinue) << b;
        EXPECT_EQ(load16(written.records.data() + offset),
                  table.entries[b * written.stringsPerBucket].text.size())
            << b;
    }
}

TEST(SharedStringTable, ContinuedCharactersGetAWidthByteAndKeepSurrogatePairsWhole) {
    // The first record holds 8,224 - 8 - 3 bytes of characters: 4,106 16-bit units and a byte.
    // A surrogate pair at units 4,105 and 4,106 would be cut there; it moves on whole.
    std::u16string text(4105, u'\u0100');
    text += u"\U0001F600";
    text += std::u16string(10, u'b');
    SharedStrings table;
    table.entries.push_back(entry(text));
    table.entries.push_back(entry(u"plain"));
    WrittenTable written;
    expectSame(table, roundTrip(table, written));
    auto records = splitRecords(written.records).value();
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[0].size, 8 + 3 + 2 * 4105);
    const char* next = written.records.data() + records[1].dataOffset();
    EXPECT_EQ(next[0], '\1'); // the width of the rest
    EXPECT_EQ(load16(next + 1), 0xD83D);
}

TEST(SharedStringTable, AHeaderNeverEndsARecordWithoutItsFirstCharacter) {
    // Fill the first record so that 3 bytes remain: a header alone would fit, with its first
    // character it does not.
    SharedStrings table;
    table.entries.push_back(entry(std::u16string(8224 - 8 - 3 - 3, u'a')));
    table.entries.push_back(entry(u"next"));
    WrittenTable written;
    expectSame(table, roundTrip(table, written));
    auto records = splitRecords(written.records).value();
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[0].size, 8224 - 3);
    EXPECT_EQ(load16(written.records.data() + records[1].dataOffset()), 4); // "next" starts it
}

TEST(SharedStringTable, FormattingRunsAreNeverSplit) {
    // Characters end 2 bytes before the record's end: the next run goes whole into a CONTINUE.
    std::u16string text(8224 - 8 - 5 - 2, u'a');
    SharedStrings table;
    table.entries.push_back(entry(text, {{1, 2}, {3, 4}}));
    WrittenTable written;
    expectSame(table, roundTrip(table, written));
    auto records = splitRecords(written.records).value();
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[1].size, 8); // both runs, and no width byte before them
}

TEST(SharedStringTable, ATableShorterThanItsCountKeepsTheStringsItHolds) {
    // Some writers count strings they never wrote; readers take the ones there are.
    SharedStrings table;
    table.entries = {entry(u"one"), entry(u"two")};
    WrittenTable written = writeSharedStrings(table);
    store32(written.records.data() + 8, 1761);
    auto records = splitRecords(written.records).value();
    auto read = readSharedStrings(written.records, records, 0);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value().entries.size(), 2U);
    // A string cut inside is damage, not a short count.
    written.records.resize(written.records.size() - 1);
    store16(written.records.data() + 2, static_cast<std::uint16_t>(written.records.size() - 4));
    records = splitRecords(written.records).value();
    EXPECT_EQ(readSharedStrings(written.records, records, 0).error().code, ErrorCode::Corrupt);
}

} // namespace
} // namespace engine::xls
