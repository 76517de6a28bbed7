// Copy with and without a destination, and the formats-only paste: what travels, what
// stays, and what the application refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostFixture.h"

namespace gridmoor::testing {
namespace {

using Areas = std::vector<std::string>;

constexpr PasteSpecialArgs kFormats{xlPasteFormats, xlPasteSpecialOperationNone, false, false};

CellFormat bold() {
    CellFormat f;
    f.bold = true;
    f.numberFormat = "@";
    return f;
}
CellFormat filled() {
    CellFormat f;
    f.fill = 0xFFCC00;
    f.borders = CellFormat::Left | CellFormat::Bottom;
    return f;
}

TEST_F(HostFixture, CopyToDestinationCarriesValuesFormatsAndMergedAreas) {
    host.setCells("Sheet1", "B2:B4",
                  {txt("a longer text than sixteen bytes"), {}, CellValue::currency(12345)});
    host.setFormat("Sheet1", "B2:B3", bold());
    host.setFormat("Sheet1", "B4", filled());
    host.mergeCells("Sheet1", "B2:B3");
    host.setCells("Sheet2", "A1:A4", {txt("old"), txt("old"), txt("old"), txt("keep")});
    host.setFormat("Sheet2", "A1:A4", filled());

    host.Copy(range("B2:B4"), Destination{range("A1", "Sheet2")});

    EXPECT_TRUE(sameValues(
        host.cells("Sheet2", "A1:A4"),
        {txt("a longer text than sixteen bytes"), {}, CellValue::currency(12345), txt("keep")}));
    EXPECT_EQ(host.format("Sheet2", "A1"), bold());
    EXPECT_EQ(host.format("Sheet2", "A2"), bold());
    EXPECT_EQ(host.format("Sheet2", "A3"), filled());
    EXPECT_EQ(host.format("Sheet2", "A4"), filled());
    EXPECT_EQ(host.mergedAreas("Sheet2"), Areas{"$A$1:$A$2"});
    EXPECT_EQ(host.mergedAreas("Sheet1"), Areas{"$B$2:$B$3"});
    EXPECT_EQ(host.clipboard(), std::nullopt);  // a copy to a destination bypasses it
}

TEST_F(HostFixture, FormatPasteBringsMergedAreasAndKeepsEveryValue) {
    host.setCells("Sheet2", "A1:A4", {txt("a"), {}, txt("b"), {}});
    host.setFormat("Sheet2", "A1:A2", filled());
    host.mergeCells("Sheet2", "A1:A2");
    host.mergeCells("Sheet2", "A3:A4");
    const std::vector<CellValue> values = {txt("a"), txt("a"), txt("b"), txt("b")};
    host.setCells("Sheet1", "B2:B5", values);
    host.setFormat("Sheet1", "B5", bold());
    host.mergeCells("Sheet1", "B3:B4");

    host.Copy(range("A1:A4", "Sheet2"));
    EXPECT_EQ(host.clipboard(), "Sheet2!$A$1:$A$4");
    host.PasteSpecial(range("B2:B5"), kFormats);

    EXPECT_EQ(host.mergedAreas("Sheet1"), (Areas{"$B$2:$B$3", "$B$4:$B$5"}));
    EXPECT_TRUE(sameValues(host.cells("Sheet1", "B2:B5"), values));
    EXPECT_EQ(host.format("Sheet1", "B2"), filled());
    EXPECT_EQ(host.format("Sheet1", "B3"), filled());
    EXPECT_EQ(host.format("Sheet1", "B5"), CellFormat{});
    EXPECT_TRUE(host.prompts().empty());

    // The covered values are still there: splitting the areas shows them.
    host.UnMerge(range("B2:B5"));
    EXPECT_TRUE(sameValues(host.cells("Sheet1", "B2:B5"), values));
}

struct TileCase {
    const char* name;
    const char* target;
    Areas merged;
};

class TileTest : public HostFixture, public ::testing::WithParamInterface<TileCase> {};

TEST_P(TileTest, TilesExactMultiplesElsePastesOneBlock) {
    const auto& c = GetParam();
    host.mergeCells("Sheet2", "A1:A2");
    host.setFormat("Sheet2", "A1", bold());
    const std::vector<CellValue> values(12, txt("v"));
    host.setCells("Sheet1", "C1:D6", values);
    host.Copy(range("A1:A2", "Sheet2"));
    host.PasteSpecial(range(c.target), kFormats);
    EXPECT_EQ(host.mergedAreas("Sheet1"), c.merged);
    EXPECT_TRUE(sameValues(host.cells("Sheet1", "C1:D6"), values));
    for (const auto& area : c.merged) {
        const std::string topLeft = area.substr(0, area.find(':'));
        EXPECT_EQ(host.format("Sheet1", topLeft), bold()) << topLeft;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TileTest,
    ::testing::Values(
        TileCase{"SameSize", "C1:C2", {"$C$1:$C$2"}},
        TileCase{"ThreeDown", "C1:C6", {"$C$1:$C$2", "$C$3:$C$4", "$C$5:$C$6"}},
        TileCase{"TwoByTwo", "C1:D4", {"$C$1:$C$2", "$D$1:$D$2", "$C$3:$C$4", "$D$3:$D$4"}},
        TileCase{"NotAMultiple", "C1:C5", {"$C$1:$C$2"}}, TileCase{"OneCell", "D3", {"$D$3:$D$4"}}),
    [](const ::testing::TestParamInfo<TileCase>& p) { return std::string(p.param.name); });

struct RefusalCase {
    const char* name;
    bool copyFirst;
    const char* target;
    PasteSpecialArgs args;
    HostError::Cause cause;
    bool protect = false;
};

class PasteRefusalTest : public HostFixture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PasteRefusalTest, RefusesAndChangesNothing) {
    const auto& c = GetParam();
    host.mergeCells("Sheet2", "A1:A2");
    host.setFormat("Sheet2", "A1:A2", bold());
    host.mergeCells("Sheet1", "C2:C3");
    host.setFormat("Sheet1", "C1:C3", filled());
    if (c.copyFirst) host.Copy(range("A1:A2", "Sheet2"));
    host.protectSheet("Sheet1", c.protect);

    EXPECT_EQ(causeOf([&] { host.PasteSpecial(range(c.target), c.args); }), c.cause);

    EXPECT_EQ(host.mergedAreas("Sheet1"), Areas{"$C$2:$C$3"});
    for (const char* cell : {"C1", "C2", "C3", "E5"})
        EXPECT_EQ(host.format("Sheet1", cell), std::string(cell) == "E5" ? CellFormat{} : filled())
            << cell;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PasteRefusalTest,
    ::testing::Values(
        RefusalCase{"EmptyClipboard", false, "E5", kFormats, HostError::Cause::Other},
        RefusalCase{
            "PasteAll", true, "E5", {-4104, -4142, false, false}, HostError::Cause::BadArgument},
        RefusalCase{
            "OperationAdd", true, "E5", {-4122, 2, false, false}, HostError::Cause::BadArgument},
        RefusalCase{"SeveralAreas", true, "E5,G5", kFormats, HostError::Cause::BadArgument},
        RefusalCase{"PartOfAMergedArea", true, "C1", kFormats, HostError::Cause::BadArgument},
        RefusalCase{"BeyondTheLastRow", true, "E1048576", kFormats, HostError::Cause::BadArgument},
        RefusalCase{"ProtectedSheet", true, "E5", kFormats, HostError::Cause::Protected, true}),
    [](const ::testing::TestParamInfo<RefusalCase>& p) { return std::string(p.param.name); });

TEST_F(HostFixture, CopyOfSeveralAreasClosesTheGapsWhenTheyLineUp) {
    host.setCells("Sheet1", "A1:C2",
                  {txt("a1"), txt("b1"), txt("c1"), txt("a2"), txt("b2"), txt("c2")});
    host.mergeCells("Sheet1", "C1:C2");
    host.Copy(range("C1:C2,A1:A2"), Destination{range("E1")});
    EXPECT_TRUE(sameValues(host.cells("Sheet1", "E1:G2"),
                           {txt("a1"), txt("c1"), {}, txt("a2"), txt("c2"), {}}));
    EXPECT_EQ(host.mergedAreas("Sheet1"), (Areas{"$C$1:$C$2", "$F$1:$F$2"}));

    for (const char* bad : {"A1,B2", "A1:A2,A2:A3", "A1:A2,C1:C3"})
        EXPECT_EQ(causeOf([&] { host.Copy(range(bad)); }), HostError::Cause::BadArgument) << bad;
    EXPECT_EQ(host.clipboard(), std::nullopt);
}

TEST_F(HostFixture, CopyRefusesToCutThroughAMergedAreaOrAProtectedSheet) {
    host.setCells("Sheet1", "A1:A2", {txt("x"), txt("y")});
    host.setCell("Sheet2", "A2", txt("covered"));
    host.mergeCells("Sheet2", "A2:A3");
    EXPECT_EQ(causeOf([&] { host.Copy(range("A1:A2"), Destination{range("A1", "Sheet2")}); }),
              HostError::Cause::BadArgument);
    EXPECT_EQ(causeOf([&] { host.Copy(range("A1:A2"), Destination{range("A1:B1,C1", "Sheet2")}); }),
              HostError::Cause::BadArgument);
    host.protectSheet("Sheet2", true);
    EXPECT_EQ(causeOf([&] { host.Copy(range("A1:A2"), Destination{range("C1", "Sheet2")}); }),
              HostError::Cause::Protected);
    EXPECT_TRUE(sameValues(host.cells("Sheet2", "A1:A3"), {{}, txt("covered"), {}}));
    EXPECT_TRUE(host.cell("Sheet2", "C1").isEmpty());
    EXPECT_EQ(host.mergedAreas("Sheet2"), Areas{"$A$2:$A$3"});
    // Copying from a protected sheet is allowed.
    host.Copy(range("A2:A3", "Sheet2"));
    EXPECT_EQ(host.clipboard(), "Sheet2!$A$2:$A$3");
}

}  // namespace
}  // namespace gridmoor::testing
