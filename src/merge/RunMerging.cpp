#include "merge/RunMerging.h"

#include <span>
#include <vector>

#include "host/Failure.h"
#include "merge/EqualRuns.h"

namespace gridmoor {

namespace {

long count(const CellValue& v) {
    if (!v.isNumber()) throw ValueError("the range's size is unknown");
    return static_cast<long>(v.number());
}

// Whether every cell of the source range lies on the compared line of n cells.
bool lineCoversRange(const RangeCorners& corners, bool vertical, long n) {
    if (!corners.hostAddress || corners.hostAddress->find(',') != std::string::npos) return false;
    const long rows = count(corners.RowCount);
    const long columns = count(corners.ColumnCount);
    return vertical ? columns == 1 && rows == n : rows == 1 && columns == n;
}

const PasteSpecialArgs kFormatsOnly{.Paste = xlPasteFormats,
                                    .Operation = xlPasteSpecialOperationNone,
                                    .SkipBlanks = false,
                                    .Transpose = false};

}  // namespace

std::optional<Line> lineOf(StepRunner& runner, const RangeCorners& c) {
    const bool vertical =
        runner.test("vertical test", [&] { return valuesEqual(c.LastColumn, c.FirstColumn); });
    if (!vertical &&
        !runner.test("horizontal test", [&] { return valuesEqual(c.LastRow, c.FirstRow); }))
        return std::nullopt;

    // Loop head: the number of cells on the line.
    long n = 0;
    if (!runner.run("line length", [&] {
            n = vertical ? rowNumber(c.LastRow) - rowNumber(c.FirstRow) + 1 : count(c.ColumnCount);
        }))
        return std::nullopt;  // a line whose length is unknown is not merged
    bool covers = false;
    runner.run("line covers range", [&] { covers = lineCoversRange(c, vertical, n); });
    if (!covers) return std::nullopt;
    return Line{vertical, n};
}

RunMergingResult mergeRunsAndTransferFormats(StepRunner& runner, SpreadsheetHost& host,
                                             const RunMergingInput& in) {
    const RangeCorners& c = in.corners;
    const bool vertical = in.line.vertical;
    const long n = in.line.cells;
    if (!in.ready) return RunMergingResult::NotReady;

    // The line of cells, read from the snapshot only: the merges below discard values on
    // the scratch sheet, and no comparison may see that. A one-row or one-column array
    // holds the line contiguously, so it is used in place.
    std::span<const CellValue> line;
    const bool lineRead = runner.run("read line", [&] {
        if (n < 2) return;
        const ValueArray& a = in.snapshot.array();
        if (a.rows() * a.columns() != n || (vertical ? a.columns() : a.rows()) != 1)
            throw ValueError("the values read do not match the range's shape");
        line = a.elements();
    });
    if (!lineRead) return RunMergingResult::NotReady;

    // One two-cell Merge per joined pair, from the last pair to the first, so each merge
    // meets the area the previous one made and the host grows it into one area per run.
    const std::vector<RunSpan> runs = findEqualRuns(line);
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        for (long k = run->last; k > run->first; --k) {
            runner.run(kStepPairMerge, [&] {
                const RangeHandle before =
                    vertical ? host.Cells(in.scratch, k - 1, 1) : host.Cells(in.scratch, 1, k - 1);
                const RangeHandle at =
                    vertical ? host.Cells(in.scratch, k, 1) : host.Cells(in.scratch, 1, k);
                host.Merge(host.Range(in.scratch, before, at));
            });
        }
    }

    const bool copied = runner.run(kStepBlockCopy, [&] {
        std::string block;
        if (vertical) {
            block = "A1:A" + c.RowCount.textForm();
        } else {
            const RangeHandle a1 = host.Range(in.scratch, "A1");
            block = "A1:" + host.address(host.offset(a1, std::nullopt, count(c.ColumnCount) - 1));
        }
        host.Copy(host.Range(in.scratch, block));
    });
    // Without the scratch block on the clipboard the paste would bring whatever the
    // clipboard held before onto the user's range.
    if (!copied) return RunMergingResult::Failed;

    const bool pasted = runner.run(kStepFormatPaste, [&] {
        host.PasteSpecial(host.Range(in.source, in.view.Text1()), kFormatsOnly);
    });
    return pasted ? RunMergingResult::Pasted : RunMergingResult::Failed;
}

}  // namespace gridmoor
