#include "host/calc/PatternDocument.h"

#include <algorithm>
#include <charconv>
#include <cstddef>

namespace gridmoor::calc {

std::vector<PatternBand> patternBands(const A1Area& target, const std::vector<A1Area>& wanted) {
    const long rows = target.rows(), cols = target.columns();
    // open[r] > 0: some merged area goes on from target row r to row r + 1.
    std::vector<long> open(static_cast<std::size_t>(rows) + 1, 0);
    for (const auto& a : wanted) {
        ++open[static_cast<std::size_t>(a.top - target.top)];
        --open[static_cast<std::size_t>(a.bottom - target.top)];
    }
    for (std::size_t r = 1; r < open.size(); ++r) open[r] += open[r - 1];
    std::vector<PatternBand> bands;
    const auto maxBands = static_cast<std::size_t>(std::max(1L, kPatternColumns / cols));
    for (long r0 = 0; r0 < rows;) {
        long r1 = bands.size() + 1 >= maxBands ? rows - 1 : std::min(rows, r0 + kBandRows) - 1;
        while (r1 < rows - 1 && open[static_cast<std::size_t>(r1)] > 0) ++r1;
        bands.push_back({r0, r1});
        r0 = r1 + 1;
    }
    return bands;
}

namespace {

// Room for the shortest text of any double or long (std::to_chars needs at most 24 bytes).
constexpr std::size_t kNumberText = 64;
// A guess at the text's length, reserved before it is written: a cell's element with a
// short value takes about kCellTextGuess bytes, the document's frame about kFrameText.
constexpr std::size_t kCellTextGuess = 64;
constexpr std::size_t kFrameText = 1024;

// The file format folds runs of blanks and has no plain line breaks.
bool carriedExactly(const std::string& t) {
    return !(t.empty() || t.front() == ' ' || t.back() == ' ' ||
             t.find("  ") != std::string::npos ||
             std::any_of(t.begin(), t.end(), [](char ch) { return ch >= 0 && ch < 0x20; }));
}

void appendEscaped(std::string& xml, const std::string& t) {
    for (const char ch : t) {
        switch (ch) {
            case '&':
                xml += "&amp;";
                break;
            case '<':
                xml += "&lt;";
                break;
            case '>':
                xml += "&gt;";
                break;
            default:
                xml += ch;
        }
    }
}

template <class T>
void appendNumber(std::string& xml, T value) {
    char num[kNumberText];
    const auto end = std::to_chars(num, num + sizeof num, value).ptr;
    xml.append(num, end);
}

// By position in the target: the merged area anchored at each cell, and which cells are
// covered by an area anchored elsewhere.
struct Spans {
    std::vector<const A1Area*> anchorAt;
    std::vector<char> covered;
};

Spans spansOf(const A1Area& target, const std::vector<A1Area>& wanted) {
    const long cols = target.columns();
    const auto n = static_cast<std::size_t>(target.cells());
    Spans s{std::vector<const A1Area*>(n, nullptr), std::vector<char>(n, 0)};
    for (const auto& a : wanted) {
        s.anchorAt[static_cast<std::size_t>((a.top - target.top) * cols + a.left - target.left)] =
            &a;
        for (long r = a.top; r <= a.bottom; ++r) {
            for (long c = a.left; c <= a.right; ++c) {
                if (r != a.top || c != a.left) {
                    s.covered[static_cast<std::size_t>((r - target.top) * cols + c - target.left)] =
                        1;
                }
            }
        }
    }
    return s;
}

// Appends one cell; false when its value cannot be carried exactly.
bool appendCell(std::string& xml, const PatternCell& cell, const A1Area* span, bool isCovered) {
    xml += isCovered ? "<table:covered-table-cell" : "<table:table-cell";
    if (span && !isCovered) {
        xml += " table:number-rows-spanned=\"";
        appendNumber(xml, span->rows());
        xml += "\" table:number-columns-spanned=\"";
        appendNumber(xml, span->columns());
        xml += '"';
    }
    switch (cell.kind) {
        case PatternCell::Kind::Empty:
            xml += "/>";
            return true;
        case PatternCell::Kind::Number:
            // The shortest form that reads back as the same double.
            xml += " office:value-type=\"float\" office:value=\"";
            appendNumber(xml, cell.number);
            xml += "\"/>";
            return true;
        case PatternCell::Kind::Text:
            if (!carriedExactly(cell.text)) return false;
            xml += " office:value-type=\"string\"><text:p>";
            appendEscaped(xml, cell.text);
            xml +=
                isCovered ? "</text:p></table:covered-table-cell>" : "</text:p></table:table-cell>";
            return true;
        case PatternCell::Kind::Other:
            break;
    }
    return false;
}

}  // namespace

std::optional<std::string> patternDocument(const A1Area& target, const std::vector<A1Area>& wanted,
                                           const std::vector<PatternBand>& bands,
                                           const std::vector<PatternCell>& cells) {
    const long cols = target.columns();
    const Spans spans = spansOf(target, wanted);
    long height = 0;
    for (const auto& b : bands) height = std::max(height, b.last - b.first + 1);

    std::string xml;
    xml.reserve(static_cast<std::size_t>(target.cells()) * kCellTextGuess + kFrameText);
    xml +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body>"
        "<office:spreadsheet><table:table table:name=\"";
    xml += kPatternTable;
    xml += "\">";
    for (long p = 0; p < height; ++p) {
        xml += "<table:table-row>";
        for (const auto& band : bands) {
            const long r = band.first + p;
            if (r > band.last) {
                xml += "<table:table-cell table:number-columns-repeated=\"";
                appendNumber(xml, cols);
                xml += "\"/>";
                continue;
            }
            for (long c = 0; c < cols; ++c) {
                const auto i = static_cast<std::size_t>(r * cols + c);
                if (!appendCell(xml, cells[i], spans.anchorAt[i], spans.covered[i] != 0))
                    return std::nullopt;
            }
        }
        xml += "</table:table-row>";
    }
    xml += "</table:table></office:spreadsheet></office:body></office:document>\n";
    return xml;
}

}  // namespace gridmoor::calc
