#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/calc/PatternDocument.h"

namespace gridmoor::calc {
namespace {

struct BandCase {
    const char* name;
    A1Area target;
    std::vector<A1Area> wanted;
    std::vector<PatternBand> bands;
};

class PatternBandsTest : public ::testing::TestWithParam<BandCase> {};

TEST_P(PatternBandsTest, LaysOutTheRows) {
    const BandCase& c = GetParam();
    const std::vector<PatternBand> bands = patternBands(c.target, c.wanted);
    EXPECT_EQ(bands, c.bands);
    // Whatever the case: the bands cover the rows in order, and no band edge cuts an area.
    long next = 0;
    for (const auto& b : bands) {
        EXPECT_EQ(b.first, next);
        next = b.last + 1;
        for (const auto& a : c.wanted) {
            const long top = a.top - c.target.top, bottom = a.bottom - c.target.top;
            EXPECT_FALSE(top <= b.last && bottom > b.last) << "band ending at " << b.last;
        }
    }
    EXPECT_EQ(next, c.target.rows());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternBandsTest,
    ::testing::Values(BandCase{"OneColumnInBandsOf5000",
                               {1, 1, 12000, 1},
                               {},
                               {{0, 4999}, {5000, 9999}, {10000, 11999}}},
                      BandCase{"AnAreaAcrossAnEdgeStretchesTheBand",
                               {1, 1, 12000, 1},
                               {{4999, 1, 5002, 1}},
                               {{0, 5001}, {5002, 10001}, {10002, 11999}}},
                      BandCase{"TargetBelowRowOne",
                               {3, 2, 5003, 2},
                               {{5001, 2, 5002, 2}},
                               {{0, 4999}, {5000, 5000}}},
                      BandCase{"WideTargetTakesTheRestInItsLastBand",
                               {1, 1, 12000, 400},
                               {},
                               {{0, 4999}, {5000, 11999}}},
                      BandCase{"AsWideAsTheSheetIsOneBand", {1, 1, 6000, 1024}, {}, {{0, 5999}}},
                      BandCase{"Short", {1, 1, 10, 2}, {{1, 1, 10, 1}}, {{0, 9}}}),
    [](const auto& p) { return std::string(p.param.name); });

PatternCell number(double d) {
    return {PatternCell::Kind::Number, d, {}};
}
PatternCell text(std::string t) {
    return {PatternCell::Kind::Text, 0, std::move(t)};
}

// The rows of the document's table, each from <table:table-row> to its end.
std::vector<std::string> rowsOf(const std::string& xml) {
    std::vector<std::string> rows;
    for (auto at = xml.find("<table:table-row>"); at != std::string::npos;
         at = xml.find("<table:table-row>", at + 1)) {
        const auto end = xml.find("</table:table-row>", at);
        rows.push_back(xml.substr(at + 17, end - at - 17));
    }
    return rows;
}

TEST(PatternDocument, CarriesValuesSpansAndEscapes) {
    const A1Area target{2, 2, 3, 3};  // B2:C3
    const std::vector<A1Area> wanted{{2, 2, 3, 2}};
    const auto xml =
        patternDocument(target, wanted, {{0, 1}}, {number(1.5), text("a<b&c>"), {}, text("x y")});
    ASSERT_TRUE(xml);
    EXPECT_NE(xml->find("table:name=\"gmpattern\""), std::string::npos);
    EXPECT_EQ(rowsOf(*xml),
              (std::vector<std::string>{
                  "<table:table-cell table:number-rows-spanned=\"2\" "
                  "table:number-columns-spanned=\"1\" office:value-type=\"float\" "
                  "office:value=\"1.5\"/><table:table-cell office:value-type=\"string\">"
                  "<text:p>a&lt;b&amp;c&gt;</text:p></table:table-cell>",
                  "<table:covered-table-cell/><table:table-cell office:value-type=\"string\">"
                  "<text:p>x y</text:p></table:table-cell>"}));
}

TEST(PatternDocument, PadsShorterBands) {
    const auto xml =
        patternDocument({1, 1, 3, 1}, {}, {{0, 1}, {2, 2}}, {number(1), number(2), number(3)});
    ASSERT_TRUE(xml);
    EXPECT_EQ(rowsOf(*xml),
              (std::vector<std::string>{
                  "<table:table-cell office:value-type=\"float\" office:value=\"1\"/>"
                  "<table:table-cell office:value-type=\"float\" office:value=\"3\"/>",
                  "<table:table-cell office:value-type=\"float\" office:value=\"2\"/>"
                  "<table:table-cell table:number-columns-repeated=\"1\"/>"}));
}

TEST(PatternDocument, DeclinesWhatTheFileFormatWouldChange) {
    for (const char* t : {"", " a", "a ", "a  b", "a\nb", "a\tb"}) {
        EXPECT_FALSE(patternDocument({1, 1, 1, 1}, {}, {{0, 0}}, {text(t)})) << '"' << t << '"';
    }
    EXPECT_FALSE(patternDocument({1, 1, 1, 1}, {}, {{0, 0}}, {{PatternCell::Kind::Other, 0, {}}}));
    EXPECT_TRUE(patternDocument({1, 1, 1, 1}, {}, {{0, 0}}, {text("\xc3\xa9t\xc3\xa9")}));
}

}  // namespace
}  // namespace gridmoor::calc
