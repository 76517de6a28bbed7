// Merged areas: reading those that meet a region, sending a change of them with the object
// model's effect (checked, as Calc ignores a merge it does not like), and the merges kept
// pending on a sheet until a call needs them.
#include <algorithm>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/util/XMergeable.hpp>

#include "host/calc/CalcImpl.h"

namespace gridmoor {

using calc::fromCalc;
using uno::Reference;
using uno::UNO_QUERY_THROW;
using Cause = HostError::Cause;

std::optional<std::uint32_t> CalcHost::Impl::pendingFor(const void* identity) {
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (sheets.at(pending[i].sheet, "worksheet").identity == identity)
            return static_cast<std::uint32_t>(i);
    }
    return std::nullopt;
}

// The region grown by every merged area it meets.
A1Area CalcHost::Impl::grownOverMergedAreas(const Sheet& s, const A1Area& region) {
    Reference<sheet::XSheetCellRange> r(cellRange(s, region), UNO_QUERY_THROW);
    Reference<sheet::XSheetCellCursor> cursor = s.sheet->createCursorByRange(r);
    cursor->collapseToMergedArea();
    Reference<sheet::XCellRangeAddressable> ca(cursor, UNO_QUERY_THROW);
    return region.spanWith(fromCalc(ca->getRangeAddress()));
}

// The merged areas meeting `region`, and the region grown so that no merged area crosses
// its edge. One probe per group of equally formatted cells: merged areas of one size share
// a group. `groupsRead`: where to keep those groups (of the grown region), for a caller that
// needs them too: Calc takes time out of proportion to the rows to list them.
std::vector<A1Area> CalcHost::Impl::mergedAreas(const Sheet& s, A1Area& region,
                                                Reference<container::XIndexAccess>* groupsRead) {
    region = grownOverMergedAreas(s, region);
    std::vector<A1Area> out;
    Reference<sheet::XUniqueCellFormatRangesSupplier> sup(cellRange(s, region), UNO_QUERY_THROW);
    Reference<container::XIndexAccess> groups = sup->getUniqueCellFormatRanges();
    if (groupsRead != nullptr) *groupsRead = groups;
    const sal_Int32 n = groups->getCount();
    for (sal_Int32 i = 0; i < n; ++i) {
        Reference<sheet::XSheetCellRanges> g(groups->getByIndex(i), UNO_QUERY_THROW);
        const uno::Sequence<table::CellRangeAddress> rects = g->getRangeAddresses();
        if (!rects.hasElements()) continue;
        const A1Area anchor = fromCalc(rects[0]).topLeft();
        Reference<util::XMergeable> m(cellRange(s, anchor), UNO_QUERY_THROW);
        if (!m->getIsMerged()) continue;
        Reference<sheet::XSheetCellRange> ar(cellRange(s, anchor), UNO_QUERY_THROW);
        Reference<sheet::XSheetCellCursor> c = s.sheet->createCursorByRange(ar);
        c->collapseToMergedArea();
        Reference<sheet::XCellRangeAddressable> caa(c, UNO_QUERY_THROW);
        const A1Area size = fromCalc(caa->getRangeAddress());
        const std::int32_t down = size.bottom - size.top, across = size.right - size.left;
        for (const auto& rect : rects) {
            const A1Area ra = fromCalc(rect);
            for (std::int32_t row = ra.top; row <= ra.bottom; ++row) {
                for (std::int32_t col = ra.left; col <= ra.right; ++col) {
                    out.push_back({row, col, row + down, col + across});
                }
            }
        }
    }
    return out;
}

// Sends Calc the change from `before` to `after` (unmerge what was taken in, merge the new
// areas) and reads the result back.
// `splitAll`: a block in which one call splits every area whose top-left cell lies in it
// (the removed areas anchored there need no call of their own).
void CalcHost::Impl::applyMerges(Sheet& s, const std::vector<A1Area>& removed,
                                 const std::vector<A1Area>& added, A1Area region,
                                 const A1Area* splitAll) {
    if (removed.empty() && added.empty()) return;
    changing(s.doc);
    const auto unlock = lockControllers(s.doc);
    if (splitAll) {
        Reference<util::XMergeable>(cellRange(s, *splitAll), UNO_QUERY_THROW)->merge(false);
    }
    for (const auto& a : removed) {
        if (splitAll && splitAll->contains(a.top, a.left)) continue;
        changing(s.doc);
        Reference<util::XMergeable> m(cellRange(s, a.topLeft()), UNO_QUERY_THROW);
        m->merge(false);
    }
    for (const auto& a : added) {
        changing(s.doc);
        Reference<util::XMergeable> m(cellRange(s, a), UNO_QUERY_THROW);
        m->merge(true);
    }
    // Calc ignores a merge it does not like without saying so: check.
    for (const auto& a : added) region = region.spanWith(a);
    std::vector<A1Area> now = mergedAreas(s, region);
    for (const auto& a : added) {
        if (std::find(now.begin(), now.end(), a) == now.end()) {
            fail(Cause::Other, "merge: Calc did not merge " + absoluteAddress(a));
        }
    }
    for (const auto& a : removed) {
        const bool kept = std::find(added.begin(), added.end(), a) != added.end();
        if (!kept && std::find(now.begin(), now.end(), a) != now.end()) {
            fail(Cause::Other, "merge: Calc did not split " + absoluteAddress(a));
        }
    }
}

// The merged areas the sheet has once its pending merges apply, within `region` (grown
// as mergedAreas grows it).
MergeProjection CalcHost::Impl::projectedMerges(Sheet& s, A1Area& region) {
    std::vector<A1Area> mine;
    if (auto p = pendingFor(s.identity)) mine = pending[*p].merges;
    for (const auto& m : mine) region = region.spanWith(m);
    MergeProjection set(mergedAreas(s, region));
    for (const auto& m : mine) set.merge(m);
    return set;
}

// Sends the sheet's pending merges (those of a deleted sheet went with it).
void CalcHost::Impl::flushMerges(std::uint32_t sheetId) {
    Sheet& s = sheets.at(sheetId, "worksheet");
    auto p = pendingFor(s.identity);
    if (!p) return;
    const std::vector<A1Area> mine = std::move(pending[*p].merges);
    pending.erase(pending.begin() + *p);
    if (!entryOf(s).deleted) sendMerges(s, mine, true);
}

// Keeps `merges` pending on the sheet, after those already pending there.
void CalcHost::Impl::deferMerges(std::uint32_t sheetId, std::vector<A1Area> merges) {
    auto p = pendingFor(sheets.at(sheetId, "worksheet").identity);
    if (!p) {
        pending.push_back({sheetId, {}});
        p = static_cast<std::uint32_t>(pending.size() - 1);
    }
    auto& mine = pending[*p].merges;
    mine.insert(mine.end(), merges.begin(), merges.end());
}

void CalcHost::Impl::flushAllMerges() {
    while (!pending.empty()) flushMerges(pending.front().sheet);
}

// Merges over `mine`, in order, with the object model's effect (each takes in the merged
// areas it meets), sent as the difference to what the sheet has: one call per changed
// area, or with `viaBulk` and many new areas the bulk route where it accepts the cells.
void CalcHost::Impl::sendMerges(Sheet& s, const std::vector<A1Area>& mine, bool viaBulk) {
    if (mine.empty()) return;
    A1Area region = mine.front();
    for (const auto& m : mine) region = region.spanWith(m);
    MergeProjection set(mergedAreas(s, region));
    for (const auto& m : mine) set.merge(m);
    const auto d = set.diff();
    if (viaBulk && options.bulkRoute && d.added.size() >= kBulkMinimum &&
        mergeInBulk(s, region, set.current())) {
        ++bulkMergeCalls;
        return;
    }
    applyMerges(s, d.removed, d.added, region);
}

}  // namespace gridmoor
