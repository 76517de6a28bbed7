// The commands change what they are for and nothing else of any cell: every property Calc
// reports (Asian and complex-script font attributes included), rich text, hyperlinks and
// notes stay as they were, on each route a format paste can take in Calc.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "CalcFixture.h"
#include "texts/Texts.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "support/RecordingView.h"

namespace gridmoor::calctest {
namespace {

using Strings = std::vector<std::string>;

struct AttributeCase {
    const char* name;
    long rows;      // in runs of two equal names: rows / 2 merged areas
    bool richText;  // a text with a bold first character and a hyperlink
    bool note;
    bool failBulkReadBack;  // the bulk route meets a read-back that differs
    long bulkPastes;        // whether the bulk route is expected to have done the paste
};

void PrintTo(const AttributeCase& c, std::ostream* os) {
    *os << c.name;
}

class CalcAttributeTest : public CalcTest, public ::testing::WithParamInterface<AttributeCase> {
protected:
    bool failBulkReadBack() const override { return GetParam().failBulkReadBack; }
};

TEST_P(CalcAttributeTest, SmartMergeChangesNothingButMergedAreas) {
    const AttributeCase& c = GetParam();
    const std::string column = "B1:B" + std::to_string(c.rows);
    const char* const regions[] = {"华北", "华东", "华南", "西南", "东北"};
    Strings names;
    for (long i = 0; i < c.rows; ++i) names.push_back(regions[(i / 2) % 5]);
    probe().enterColumn("Sheet1", "B1", names);
    // As Calc formats Chinese text: bold 14 pt in the Asian font attributes.
    probe().setNumberProperty("Sheet1", column, "CharWeightAsian", 150);
    probe().setNumberProperty("Sheet1", column, "CharHeightAsian", 14);
    probe().setNumberProperty("Sheet1", "B1:B10", "CharWeightComplex", 150);
    probe().setNumberProperty("Sheet1", "B3:B8", "CellBackColor", 0xFFCC00);
    probe().setNumberProperty("Sheet1", "B5:B6", "IsTextWrapped", 1);
    probe().setBorders("Sheet1", "B2:B7");
    if (c.richText) {
        probe().enterRichText("Sheet1", "B11", regions[0], 1);
        probe().enterHyperlink("Sheet1", "B13", regions[1], "https://example.com/");
    }
    if (c.note) probe().addNote("Sheet1", "B15", "区域负责人");
    const auto before = probe().recordCells("Sheet1", column);

    testing::RecordingView view(column);
    Command3_Click(commands(), view);

    ASSERT_EQ(view.messages, Strings{std::string(texts::kMergeDone)});
    EXPECT_EQ(host().bulkPastes(), c.bulkPastes);
    EXPECT_EQ(probe().mergedAreas("Sheet1", c.rows + 5).size(),
              static_cast<std::size_t>(c.rows / 2));
    EXPECT_EQ(calc::CalcProbe::differences(*before, *probe().recordCells("Sheet1", column)),
              Strings{});
}

INSTANTIATE_TEST_SUITE_P(
    Routes, CalcAttributeTest,
    ::testing::Values(AttributeCase{"bulk", 400, false, false, false, 1},
                      AttributeCase{"fewMergesOneByOne", 40, false, true, false, 0},
                      AttributeCase{"bulkFallback", 400, false, false, true, 0},
                      AttributeCase{"richTextOneByOne", 400, true, false, false, 0}),
    [](const ::testing::TestParamInfo<AttributeCase>& p) { return std::string(p.param.name); });

// The unmerge changes merged areas and the values of blank cells, nothing else: what differs
// afterwards is the content of the cells it filled, and every property of every cell stays.
TEST_F(CalcTest, UnmergeChangesNothingButMergedAreasAndBlankCells) {
    const long rows = 200;
    const std::string column = "B1:B" + std::to_string(rows);
    Strings cells;
    for (long i = 0; i < rows; ++i) cells.push_back(i % 2 == 0 ? "华北" + std::to_string(i) : "");
    probe().enterColumn("Sheet1", "B1", cells);
    probe().setNumberProperty("Sheet1", column, "CharWeightAsian", 150);
    probe().setNumberProperty("Sheet1", "B3:B8", "CellBackColor", 0xFFCC00);
    probe().setBorders("Sheet1", "B2:B7");
    probe().enterRichText("Sheet1", "B11", "华东", 1);
    for (long r = 1; r < rows; r += 2)
        probe().merge("Sheet1", "B" + std::to_string(r) + ":B" + std::to_string(r + 1));
    const auto before = probe().recordCells("Sheet1", column);

    testing::RecordingView view(column);
    Command4_Click(commands(), view);

    ASSERT_EQ(view.messages, Strings{std::string(texts::kUnmergeDone)});
    EXPECT_EQ(probe().mergedAreas("Sheet1", rows + 5), Strings{});
    Strings expected;
    for (long r = 2; r <= rows; r += 2) expected.push_back("$B$" + std::to_string(r) + " content");
    // Each difference without what the content was and became.
    Strings found;
    for (const auto& d :
         calc::CalcProbe::differences(*before, *probe().recordCells("Sheet1", column))) {
        const auto content = d.find(" content ");
        found.push_back(content == std::string::npos ? d : d.substr(0, content + 8));
    }
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace gridmoor::calctest
