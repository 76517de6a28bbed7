// ExcelHost's bulk operations (BulkHost): whole blocks read and written with few round trips.
#include <map>

#include "host/excel/ExcelHostImpl.h"

namespace gridmoor {

using com::Ref;
using com::Variant;
using excel::kGet;
using excel::kMethod;
using excel::kPut;
using excel::kRange;
using excel::Tri;
using Cause = HostError::Cause;

namespace {

// The longest address Range(text) takes, in characters.
constexpr std::size_t kMaxAddress = 255;
// The probe of a multi-area Merge stays small: what it may have to undo is read before it
// and written back cell by cell.
constexpr std::size_t kProbeAreas = 8;
constexpr std::int64_t kProbeCells = 256;

// The relative A1 form, shorter than the absolute one: "B2", "B2:D8".
std::string relative(const A1Area& a) {
    std::string s = columnLetters(a.left) + std::to_string(a.top);
    if (!a.isCell()) s += ":" + columnLetters(a.right) + std::to_string(a.bottom);
    return s;
}

void requireValid(const A1Area& a, const char* what) {
    if (!a.valid())
        throw HostError(Cause::BadArgument, std::string(what) + ": not an area of a sheet");
}

// The values of a Value read of `area`, row by row.
std::vector<CellValue> cellsOf(const RangeValue& v, const A1Area& area) {
    if (!v.isArray()) {
        if (area.cells() != 1)
            throw HostError(Cause::Other, "Value of " + relative(area) + ": one value");
        return {v.single()};
    }
    const ValueArray& a = v.array();
    if (a.rows() != area.rows() || a.columns() != area.columns())
        throw HostError(Cause::Other, "Value of " + relative(area) + ": an array of another size");
    const std::span<const CellValue> all = a.elements();
    return {all.begin(), all.end()};
}

Tri triOf(const Variant& v, const char* what) {
    if (v.type() == VT_BOOL) return v.get().boolVal != VARIANT_FALSE ? Tri::True : Tri::False;
    if (v.type() == VT_NULL) return Tri::Mixed;
    throw HostError(Cause::Other, std::string(what) + ": neither True, False nor Null");
}

bool isEmptyText(const CellValue& v) {
    return v.isText() && v.text().empty();
}

// The cell of `area` at index i of its row-by-row order.
A1Area cellAt(const A1Area& area, std::size_t i) {
    const auto columns = static_cast<std::size_t>(area.columns());
    return A1Area::cell(area.top + static_cast<std::int32_t>(i / columns),
                        area.left + static_cast<std::int32_t>(i % columns));
}

// Merged areas found so far, pairwise disjoint, looked up by a cell they hold.
class KnownAreas {
public:
    const A1Area* holding(std::int32_t row, std::int32_t column) const {
        for (auto it = byCorner_.lower_bound({row - tallest_ + 1, 0});
             it != byCorner_.end() && it->first.first <= row; ++it)
            if (it->second.contains(row, column)) return &it->second;
        return nullptr;
    }
    void add(const A1Area& a) {
        byCorner_.emplace(std::pair{a.top, a.left}, a);
        tallest_ = std::max<std::int32_t>(tallest_, static_cast<std::int32_t>(a.rows()));
    }
    std::vector<A1Area> all() const {
        std::vector<A1Area> out;
        for (const auto& [corner, area] : byCorner_) out.push_back(area);
        return out;
    }

private:
    std::map<std::pair<std::int32_t, std::int32_t>, A1Area> byCorner_;
    std::int32_t tallest_ = 1;
};

// The areas joined by "," as Range(text) reads a range of several areas.
std::string joined(std::span<const A1Area> areas) {
    std::string s;
    for (const A1Area& a : areas) s += (s.empty() ? "" : ",") + relative(a);
    return s;
}

// How many areas from the front fit in one address.
std::size_t packable(std::span<const A1Area> areas) {
    std::size_t n = 0, length = 0;
    for (const A1Area& a : areas) {
        const std::size_t more = relative(a).size() + (n == 0 ? 0 : 1);
        if (length + more > kMaxAddress) break;
        length += more;
        ++n;
    }
    return std::max<std::size_t>(n, 1);
}

// How many areas from the front make a small probe.
std::size_t probeSize(std::span<const A1Area> areas) {
    const std::size_t fit = std::min(packable(areas), kProbeAreas);
    std::size_t n = 1;
    A1Area box = areas.front();
    while (n < fit && box.spanWith(areas[n]).cells() <= kProbeCells) box = box.spanWith(areas[n++]);
    return n;
}

A1Area boxOf(std::span<const A1Area> areas) {
    A1Area box = areas.front();
    for (const A1Area& a : areas) box = box.spanWith(a);
    return box;
}

bool inAnyOf(std::span<const A1Area> areas, const A1Area& cell) {
    return std::any_of(areas.begin(), areas.end(),
                       [&](const A1Area& a) { return cell.inside(a); });
}

}  // namespace

// --- reads ---

CellBlock ExcelHost::Impl::readBlock(Target sheet, const A1Area& area, Tri* anyFormula) {
    CellBlock block{area, {}, {}};
    Tri formulas = Tri::False;
    {
        const Ref<IDispatch> r = range(sheet, relative(area));
        block.values = cellsOf(com::toRangeValue(call({r.get(), kRange}, L"Value", kGet).get()),
                               area);
        formulas = triOf(call({r.get(), kRange}, L"HasFormula", kGet), "HasFormula");
    }
    if (anyFormula) *anyFormula = formulas;
    if (formulas == Tri::True) block.formula.assign(block.values.size(), 1);
    if (formulas != Tri::Mixed) return block;
    // Only a cell that reads as the empty text can hide a formula from the caller (a
    // formula giving ""); an empty cell holds none.
    for (std::size_t i = 0; i < block.values.size(); ++i) {
        if (!isEmptyText(block.values[i])) continue;
        const Ref<IDispatch> cell = range(sheet, relative(cellAt(area, i)));
        if (triOf(call({cell.get(), kRange}, L"HasFormula", kGet), "HasFormula") != Tri::True)
            continue;
        if (block.formula.empty()) block.formula.assign(block.values.size(), 0);
        block.formula[i] = 1;
    }
    return block;
}

Tri ExcelHost::Impl::mergeCells(Target sheet, const A1Area& area) {
    const Ref<IDispatch> r = range(sheet, relative(area));
    return triOf(call({r.get(), kRange}, L"MergeCells", kGet), "MergeCells");
}

A1Area ExcelHost::Impl::mergeAreaOf(Target sheet, std::int32_t row, std::int32_t column) {
    const A1Area cell = A1Area::cell(row, column);
    std::string text;
    {
        const Ref<IDispatch> r = range(sheet, relative(cell));
        const Ref<IDispatch> merged = object({r.get(), kRange}, L"MergeArea");
        text = com::toText(call({merged.get(), kRange}, L"Address", kGet), "MergeArea.Address");
    }
    std::string why;
    const std::optional<A1Address> parsed = A1Address::parse(text, "", &why);
    if (!parsed || parsed->areas().size() != 1 || !parsed->areas().front().contains(row, column))
        throw HostError(Cause::Other, "MergeArea of " + relative(cell) + " is " + text +
                                          (why.empty() ? "" : ": " + why));
    return parsed->areas().front();
}

// Pieces of the region are taken one at a time. A piece whose MergeCells is False holds no
// merged cell; Null (mixed): its halves are asked; True: all its cells are merged, so the
// merged area of its first cell is read and the rest of the piece (below that area, and
// beside it) is known to be merged too. Each merged area costs its MergeArea and the
// pieces cut from it, so the calls grow with the merged areas, not with the cells.
std::vector<A1Area> ExcelHost::Impl::mergedAreasMeeting(Target sheet, const A1Area& region) {
    struct Piece {
        A1Area area;
        bool allMerged;
    };
    KnownAreas known;
    std::vector<Piece> work{{region, false}};
    while (!work.empty()) {
        const Piece p = work.back();
        work.pop_back();
        const A1Area& a = p.area;
        const A1Area* holder = known.holding(a.top, a.left);
        if (holder && a.inside(*holder)) continue;
        if (!p.allMerged) {
            const Tri t = mergeCells(sheet, a);
            if (t == Tri::False) continue;
            if (t == Tri::Mixed && !a.isCell()) {
                A1Area first = a, second = a;
                if (a.rows() >= a.columns()) {
                    first.bottom = a.top + static_cast<std::int32_t>(a.rows() / 2) - 1;
                    second.top = first.bottom + 1;
                } else {
                    first.right = a.left + static_cast<std::int32_t>(a.columns() / 2) - 1;
                    second.left = first.right + 1;
                }
                work.push_back({second, false});
                work.push_back({first, false});
                continue;
            }
        }
        const A1Area m = holder ? *holder : mergeAreaOf(sheet, a.top, a.left);
        if (!holder) known.add(m);
        if (m.bottom < a.bottom) work.push_back({{m.bottom + 1, a.left, a.bottom, a.right}, true});
        if (m.right < a.right)
            work.push_back({{a.top, m.right + 1, std::min(m.bottom, a.bottom), a.right}, true});
    }
    return known.all();
}

// --- changes ---

void ExcelHost::Impl::change(Target sheet, std::string_view address, std::wstring_view method) {
    const Ref<IDispatch> r = range(sheet, address);
    reasoned([&] { return call({r.get(), kRange}, method, kMethod); },
             [&] { return protectedContents({r.get(), kRange}); });
}

void ExcelHost::Impl::write(Target sheet, const A1Area& area, const CellValue& value) {
    const Ref<IDispatch> r = range(sheet, relative(area));
    reasoned([&] { return call({r.get(), kRange}, L"Value", kPut, {excel::valueToPut(value)}); },
             [&] { return protectedContents({r.get(), kRange}); });
}

void ExcelHost::Impl::mergeEach(Target sheet, std::span<const A1Area> areas) {
    for (const A1Area& a : areas) change(sheet, relative(a), L"Merge");
}

void ExcelHost::Impl::mergePacked(Target sheet, std::span<const A1Area> areas) {
    while (!areas.empty()) {
        const std::size_t n = packable(areas);
        change(sheet, joined(areas.first(n)), L"Merge");
        areas = areas.subspan(n);
    }
}

// Whether the probe left each area of the pack merged on its own and every other cell of
// the box as it was.
bool ExcelHost::Impl::mergedAreaByArea(Target sheet, std::span<const A1Area> pack,
                                       const A1Area& box, const std::vector<CellValue>& before) {
    for (const A1Area& a : pack)
        if (mergeAreaOf(sheet, a.top, a.left) != a) return false;
    const std::vector<CellValue> after = readBlock(sheet, box).values;
    for (std::size_t i = 0; i < after.size(); ++i)
        if (!inAnyOf(pack, cellAt(box, i)) && !identical(after[i], before[i])) return false;
    return true;
}

void ExcelHost::Impl::probeMultiMerge(Target sheet, std::span<const A1Area> pack) {
    const A1Area box = boxOf(pack);
    // Undoing the probe must not touch what it cannot restore: a merged area of the box
    // outside the pack's areas, or a formula (written back it would become its value).
    const std::vector<A1Area> existing = mergedAreasMeeting(sheet, box);
    Tri formulas = Tri::False;
    const std::vector<CellValue> before = readBlock(sheet, box, &formulas).values;
    const bool undoable = formulas == Tri::False &&
                          std::all_of(existing.begin(), existing.end(), [&](const A1Area& m) {
                              return std::any_of(pack.begin(), pack.end(),
                                                 [&](const A1Area& a) { return m.inside(a); });
                          });
    if (!undoable) {
        multiMerge = excel::MultiMerge::Single;
        mergeEach(sheet, pack);
        return;
    }
    bool byArea = false;
    try {
        change(sheet, joined(pack), L"Merge");
        byArea = mergedAreaByArea(sheet, pack, box, before);
    } catch (const HostError& e) {
        if (e.cause() != Cause::Other) throw;  // protected, busy, gone: the run fails
    }
    multiMerge = byArea ? excel::MultiMerge::Packed : excel::MultiMerge::Single;
    if (byArea) return;
    // Back to the state before the probe, then one Merge per area.
    change(sheet, relative(box), L"UnMerge");
    const std::vector<CellValue> now = readBlock(sheet, box).values;
    for (std::size_t i = 0; i < now.size(); ++i)
        if (!identical(now[i], before[i])) write(sheet, cellAt(box, i), before[i]);
    mergeEach(sheet, pack);
}

// --- ExcelHost ---

CellBlock ExcelHost::readBlock(SheetHandle sheet, const A1Area& area) {
    requireValid(area, "readBlock");
    return impl_->readBlock(impl_->dispatchOf(sheet, "readBlock"), area);
}

std::vector<A1Area> ExcelHost::mergedAreasMeeting(SheetHandle sheet, const A1Area& region) {
    requireValid(region, "mergedAreasMeeting");
    return impl_->mergedAreasMeeting(impl_->dispatchOf(sheet, "mergedAreasMeeting"), region);
}

void ExcelHost::mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) {
    for (const A1Area& a : areas) requireValid(a, "mergeAreas");
    const Impl::Target s = impl_->dispatchOf(sheet, "mergeAreas");
    if (areas.size() == 1) return impl_->mergeEach(s, areas);
    while (!areas.empty() && impl_->multiMerge == excel::MultiMerge::Unknown) {
        const std::size_t n = probeSize(areas);
        if (n < 2) {
            impl_->mergeEach(s, areas.first(1));  // too far from the next area to probe
        } else {
            impl_->probeMultiMerge(s, areas.first(n));
        }
        areas = areas.subspan(n);
    }
    if (impl_->multiMerge == excel::MultiMerge::Packed)
        impl_->mergePacked(s, areas);
    else
        impl_->mergeEach(s, areas);
}

void ExcelHost::writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) {
    const Impl::Target s = impl_->dispatchOf(sheet, "writeAreas");
    for (const AreaWrite& w : writes) {
        requireValid(w.area, "writeAreas");
        impl_->write(s, w.area, w.value);
    }
}

}  // namespace gridmoor
