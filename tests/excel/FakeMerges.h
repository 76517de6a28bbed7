// What the fake Excel reads of merged areas (Range.MergeCells, Range.MergeArea), and how it
// merges where Excel documents nothing (see MergeModel in FakeExcel.h). Used by
// FakeExcel.cpp only.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FakeExcel.h"
#include "host/A1Address.h"
#include "host/MergeIndex.h"

namespace gridmoor::fake {

// The merged areas of one sheet (pairwise disjoint), looked up by the cells they hold in the
// host's index of merged areas.
class SheetMerges {
public:
    explicit SheetMerges(const std::vector<A1Area>& areas) {
        for (const A1Area& a : areas) index_.add(a, false);
    }

    // Every merged area sharing a cell with `region`.
    std::vector<A1Area> meeting(const A1Area& region) const {
        std::vector<A1Area> out;
        for (const std::uint32_t id : index_.meeting(region)) out.push_back(index_.get(id).area);
        return out;
    }

    // The merged area holding the cell, or nothing.
    std::optional<A1Area> holding(std::int32_t row, std::int32_t column) const {
        const MergedArea* found = index_.at(row, column);
        if (found == nullptr) return std::nullopt;
        return found->area;
    }

    // Range.MergeCells of one area: True when every cell lies in a merged area, False when
    // none does, Null (nothing here) otherwise.
    std::optional<bool> mergeCells(const A1Area& area) const {
        std::int64_t covered = 0;
        for (const A1Area& m : meeting(area)) {
            const A1Area common{std::max(m.top, area.top), std::max(m.left, area.left),
                                std::min(m.bottom, area.bottom), std::min(m.right, area.right)};
            covered += common.cells();
        }
        if (covered == 0) return false;
        if (covered == area.cells()) return true;
        return std::nullopt;
    }

private:
    MergeIndex index_;
};

// The merge behaviour chosen for the fake, and the merged areas of each sheet served, by
// sheet handle id, as last read from the model. The fake drops them at every change made
// through it; the model must not be changed on its model side while the fake serves it
// (tests build the workbook before, and may read it after).
struct MergeState {
    MergeModel model;
    std::map<std::uint32_t, SheetMerges> sheets;
};

// "AreaByArea+Union" and the like: the form Application.GridmoorMergeModel takes.
inline std::optional<MergeModel> parseMergeModel(std::string_view text) {
    static constexpr std::pair<std::string_view, MergeModel::MultiArea> kMulti[] = {
        {"AreaByArea", MergeModel::MultiArea::AreaByArea},
        {"FirstAreaOnly", MergeModel::MultiArea::FirstAreaOnly},
        {"Refused", MergeModel::MultiArea::Refused},
        {"BoundingBox", MergeModel::MultiArea::BoundingBox}};
    static constexpr std::pair<std::string_view, MergeModel::Overlap> kOverlap[] = {
        {"Union", MergeModel::Overlap::Union}, {"Refused", MergeModel::Overlap::Refused}};
    const std::size_t plus = text.find('+');
    if (plus == std::string_view::npos) return std::nullopt;
    MergeModel m;
    bool multi = false, overlap = false;
    for (const auto& [name, value] : kMulti)
        if (text.substr(0, plus) == name) m.multiArea = value, multi = true;
    for (const auto& [name, value] : kOverlap)
        if (text.substr(plus + 1) == name) m.overlap = value, overlap = true;
    if (!multi || !overlap) return std::nullopt;
    return m;
}

inline std::string mergeModelName(const MergeModel& m) {
    static constexpr const char* kMulti[] = {"AreaByArea", "FirstAreaOnly", "Refused",
                                             "BoundingBox"};
    static constexpr const char* kOverlap[] = {"Union", "Refused"};
    return std::string(kMulti[static_cast<int>(m.multiArea)]) + "+" +
           kOverlap[static_cast<int>(m.overlap)];
}

// The areas one Merge over `areas` merges under `model`; nothing when it refuses the
// range as a whole (several areas under MultiArea::Refused).
inline std::optional<std::vector<A1Area>> mergeTargets(const MergeModel& model,
                                                       const std::vector<A1Area>& areas) {
    if (areas.size() < 2) return areas;
    switch (model.multiArea) {
        case MergeModel::MultiArea::AreaByArea:
            return areas;
        case MergeModel::MultiArea::FirstAreaOnly:
            return std::vector<A1Area>{areas.front()};
        case MergeModel::MultiArea::Refused:
            return std::nullopt;
        case MergeModel::MultiArea::BoundingBox:
            break;
    }
    A1Area box = areas.front();
    for (const A1Area& a : areas) box = box.spanWith(a);
    return std::vector<A1Area>{box};
}

}  // namespace gridmoor::fake
