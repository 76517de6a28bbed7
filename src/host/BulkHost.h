// BulkHost: the few operations on whole blocks that a backend offers so that the batching
// layer (BatchingHost) can carry out the commands' many small calls in few round trips.
//
// Each operation has the same effect as a sequence of ordinary SpreadsheetHost calls that
// it names, and the same failure contract: it has its whole effect or throws HostError with
// a readable reason and the cause the ordinary calls would carry (NotFound for an unset,
// released or deleted sheet, Protected for a change on a protected sheet, Gone, Busy,
// Other). A refusal comes before any change; a failure under way may leave some areas done,
// and the caller treats the whole operation as failed. Like those calls, mergeAreas may be
// deferred (SpreadsheetHost::flush); a deferred merge is sent before any later call that
// needs it, so every operation sees the effects of the calls before it. None of them shows
// anything to the user beyond what those calls would (mergeAreas over values while
// DisplayAlerts is on).
//
// Sheets are the backend's own sheet handles; areas are areas of that sheet, inside its
// bounds (a backend may refuse one outside them: BadArgument).
#pragma once

#include <span>
#include <vector>

#include "host/A1Address.h"
#include "host/CellValue.h"
#include "host/SpreadsheetHost.h"

namespace gridmoor {

// One area of a sheet as one read returns it.
struct CellBlock {
    A1Area area;
    // Each cell's value row by row, exactly as Value reads that cell on its own.
    std::vector<CellValue> values;
    // Per cell, row by row: 1 where the cell holds a formula. Exact for every cell whose
    // value is empty or the empty text (the cells a fill would write); a backend may leave
    // 0 for other cells. Empty when no such cell holds a formula.
    std::vector<char> formula;

    bool isFormula(std::size_t i) const { return !formula.empty() && formula[i] != 0; }
};

// One value written over one area.
struct AreaWrite {
    A1Area area;
    CellValue value;
};

class BulkHost : public SpreadsheetHost {
public:
    // The values of every cell of `area` and which cells hold formulas. Same values as
    // Value of each cell; reads only. A backend may refuse an area of more than 4,194,304
    // cells (Other), as Value may; the batching layer reads no larger one.
    virtual CellBlock readBlock(SheetHandle sheet, const A1Area& area) = 0;

    // Every merged area of the sheet that shares a cell with `region`, whole (an area may
    // reach outside the region), in any order. Reads only.
    virtual std::vector<A1Area> mergedAreasMeeting(SheetHandle sheet, const A1Area& region) = 0;

    // Makes each area one merged area, with Merge's effect on the cells' values. The caller
    // guarantees that the areas are pairwise disjoint, that none is a single cell and that
    // every merged area of the sheet meeting one of them lies wholly inside it, so the
    // result never depends on how the application grows a merge that meets another.
    // Same effect as Merge(Range(sheet, area)) for each area in turn.
    virtual void mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) = 0;

    // Each area takes its value: same effect as setValue(Range(sheet, area), value) for
    // each write in turn.
    virtual void writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) = 0;
};

}  // namespace gridmoor
