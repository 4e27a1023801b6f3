// The compound file rewritten with one stream changed: everything else keeps its bytes, the
// stream reads back, and the allocation table grows when the file does.
#include "../corpus_files.h"
#include "xls/bytes.h"
#include "xls/compound_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace engine::xls {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CompoundFileRewrite : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const auto path = corpus::folder() / GetParam();
        if (!std::filesystem::exists(path)) {
            GTEST_SKIP() << "corpus file missing";
        }
        m_original = readFile(path);
        auto file = CompoundFile::parse(m_original);
        ASSERT_TRUE(file.ok()) << file.error().message();
        m_file = std::move(file.value());
        m_workbook = m_file.findRootChild("workbook");
        ASSERT_GE(m_workbook, 0);
    }
    // Writes data as the Workbook stream and checks that it reads back and that every other
    // stream and directory entry (but the Workbook entry's start and size) is unchanged.
    CompoundFile rewrite(const std::string& data) {
        auto bytes = m_file.withStream(static_cast<std::size_t>(m_workbook), data);
        EXPECT_TRUE(bytes.ok());
        auto back = CompoundFile::parse(bytes.value());
        EXPECT_TRUE(back.ok());
        EXPECT_EQ(back.value().readStream(static_cast<std::size_t>(m_workbook)).value(), data);
        EXPECT_EQ(bytes.value().size() % 512, 0U);
        const auto& before = m_file.entries();
        const auto& after = back.value().entries();
        EXPECT_EQ(before.size(), after.size());
        for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
            EXPECT_EQ(before[i].name, after[i].name);
            if (static_cast<long>(i) != m_workbook && before[i].type == 2) {
                EXPECT_EQ(m_file.readStream(i).value(), back.value().readStream(i).value())
                    << before[i].name;
            }
        }
        return std::move(back.value());
    }
    std::string m_original;
    CompoundFile m_file;
    long m_workbook = -1;
};

TEST_P(CompoundFileRewrite, TheSameStreamGivesTheSameFile) {
    const std::string data = m_file.readStream(static_cast<std::size_t>(m_workbook)).value();
    if (data.size() < 4096 || m_original.size() % 512 != 0) {
        GTEST_SKIP() << "a stream in the mini stream, or a file cut inside a sector";
    }
    EXPECT_TRUE(m_file.withStream(static_cast<std::size_t>(m_workbook), data).value() ==
                m_original);
}

TEST_P(CompoundFileRewrite, GrowingAndShrinkingKeepsTheOtherStreams) {
    std::string data = m_file.readStream(static_cast<std::size_t>(m_workbook)).value();
    data.resize(std::max<std::size_t>(data.size(), 4096), '\0');
    rewrite(data + std::string(5000, 'g'));
    // Past 128 sectors more the allocation table needs a sector of its own.
    const CompoundFile big = rewrite(data + std::string(200000, 'h'));
    EXPECT_GT(load32(big.bytes().data() + 0x2C), load32(m_original.data() + 0x2C));
    rewrite(std::string(4096, 's'));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CompoundFileRewrite,
                         ::testing::Values("poi/SimpleMacro.xls", "poi/27852.xls", "poi/15556.xls",
                                           "poi/45761.xls"));

TEST(CompoundFile, DamagedHeadersAndChainsAreCorrupt) {
    std::string header("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.resize(512, '\0');
    EXPECT_EQ(CompoundFile::parse(header).error().code, ErrorCode::Corrupt); // no sector size
    store16(header.data() + 0x1E, 9);
    store32(header.data() + 0x2C, 1);
    store32(header.data() + 0x4C, 7); // a FAT sector past the end
    EXPECT_EQ(CompoundFile::parse(header + std::string(512, '\0')).error().code,
              ErrorCode::Corrupt);
    EXPECT_FALSE(CompoundFile::parse("not a compound file").ok());
}

} // namespace
} // namespace engine::xls
