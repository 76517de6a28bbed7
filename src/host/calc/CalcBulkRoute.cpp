// The bulk route of many merges: the target's values and merged areas written as one
// pattern document, loaded hidden, imported as a sheet and copied onto the target; read back,
// and on any difference the values put back so that the caller merges area by area.
#include <unistd.h>

#include <algorithm>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/ValidationType.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeMovement.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XSpreadsheets2.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XMergeable.hpp>
#include <cstdlib>
#include <filesystem>
#include <osl/file.hxx>
#include <string_view>
#include <system_error>
#include <tuple>

#include "host/calc/CalcImpl.h"

namespace gridmoor {

using calc::fromCalc;
using calc::fromU;
using calc::toU;
using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;
using Cause = HostError::Cause;

namespace {

// The target's cells as the pattern carries them, from its data array (row-major over
// `target`) and its truly empty cells.
std::vector<calc::PatternCell> patternCells(
    const A1Area& target, const uno::Sequence<uno::Sequence<uno::Any>>& data,
    const uno::Sequence<table::CellRangeAddress>& emptyRects) {
    using Kind = calc::PatternCell::Kind;
    const long rows = target.rows(), cols = target.columns();
    std::vector<calc::PatternCell> cells(static_cast<std::size_t>(rows * cols));
    std::vector<char> empty(cells.size(), 0);
    for (const auto& rect : emptyRects) {
        const A1Area e = fromCalc(rect);
        for (long r = e.top; r <= e.bottom; ++r) {
            for (long c = e.left; c <= e.right; ++c) {
                empty[static_cast<std::size_t>((r - target.top) * cols + c - target.left)] = 1;
            }
        }
    }
    for (long r = 0; r < rows; ++r) {
        const auto& line = data[static_cast<sal_Int32>(r)];
        for (long c = 0; c < cols; ++c) {
            const auto i = static_cast<std::size_t>(r * cols + c);
            if (empty[i]) continue;
            const uno::Any& v = line[static_cast<sal_Int32>(c)];
            double d = 0;
            OUString str;
            if (v >>= d) {
                cells[i].kind = Kind::Number;
                cells[i].number = d;
            } else if (v >>= str) {
                cells[i].kind = Kind::Text;
                cells[i].text = fromU(str);
            } else {
                cells[i].kind = Kind::Other;
            }
        }
    }
    return cells;
}

// Writes the pattern document to a new file in the system's temporary directory (TMPDIR,
// else /tmp); its path, or nothing when it cannot be written (the file is gone then).
std::optional<std::string> writePatternFile(const std::string& xml) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) return std::nullopt;
    constexpr std::string_view kSuffix = ".fods";
    std::string name = (dir / "gridmoor-pattern-XXXXXX").string() + std::string(kSuffix);
    const int fd = ::mkstemps(name.data(), static_cast<int>(kSuffix.size()));
    if (fd < 0) return std::nullopt;
    const ScopeExit closeFile([fd] { ::close(fd); });
    if (::write(fd, xml.data(), xml.size()) != static_cast<ssize_t>(xml.size())) {
        ::unlink(name.c_str());
        return std::nullopt;
    }
    return name;
}

}  // namespace

// Whether a cell of the groups of equally formatted cells has a conditional format or a
// validation of its own: neither survives a copy or a clearing of formats, and a format
// paste cannot bring them back.
bool CalcHost::Impl::hasRulesOfItsOwn(const Reference<container::XIndexAccess>& groups) {
    for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
        Reference<beans::XPropertySet> g(groups->getByIndex(i), UNO_QUERY_THROW);
        Reference<container::XIndexAccess> cond(g->getPropertyValue("ConditionalFormat"),
                                                UNO_QUERY);
        if (cond.is() && cond->getCount() > 0) return true;
        Reference<beans::XPropertySet> valid(g->getPropertyValue("Validation"), UNO_QUERY);
        if (valid.is()) {
            sheet::ValidationType type = sheet::ValidationType_ANY;
            valid->getPropertyValue("Type") >>= type;
            if (type != sheet::ValidationType_ANY) return true;
        }
    }
    return false;
}

// Whether the range holds nothing that a copy within Calc could change or duplicate,
// and nothing of a cell's content beyond its plain value: no formula (references move),
// note, text with formatting or fields of its own (rich text, hyperlinks), validation or
// conditional format.
bool CalcHost::Impl::onlyPlainCells(const Reference<table::XCellRange>& range) {
    Reference<sheet::XCellRangesQuery> query(range, UNO_QUERY_THROW);
    if (query
            ->queryContentCells(sheet::CellFlags::FORMULA | sheet::CellFlags::ANNOTATION |
                                sheet::CellFlags::EDITATTR | sheet::CellFlags::FORMATTED)
            ->getRangeAddresses()
            .hasElements()) {
        return false;
    }
    Reference<sheet::XUniqueCellFormatRangesSupplier> sup(range, UNO_QUERY_THROW);
    return !hasRulesOfItsOwn(sup->getUniqueCellFormatRanges());
}

// Bulk route for splitting the many merged areas that lie inside `area`: Calc's own split
// of a long column of merged areas costs time that grows with the square of their number
// when merged and single cells alternate (64 times the time for 10 times the rows, at
// 1,000,000 rows), while clearing the range's formats, which takes its merged areas with
// them, stays linear. Every cell's formatting is read first and given back where the
// clearing changed it, and checked (applyFormats); values are never touched. Not taken,
// and nothing touched, when a cell has a conditional format or validation, which the
// clearing would lose. `groups`: the range's groups of equally formatted cells, as just read.
bool CalcHost::Impl::splitInBulk(const Sheet& s, const A1Area& area,
                                 const Reference<container::XIndexAccess>& groups) {
    if (!options.bulkRoute) return false;
    Reference<table::XCellRange> range = cellRange(s, area);
    if (hasRulesOfItsOwn(groups)) return false;
    const std::vector<FormatGroup> formats = formatGroupsOf(groups);
    changing(s.doc);
    const auto unlock = lockControllers(s.doc);
    Reference<sheet::XSheetOperation>(range, UNO_QUERY_THROW)
        ->clearContents(sheet::CellFlags::HARDATTR | sheet::CellFlags::STYLES);
    applyFormats(formats, area, s, area);
    if (Reference<util::XMergeable>(range, UNO_QUERY_THROW)->getIsMerged())
        fail(Cause::Other,
             "unmerge: Calc did not split every merged area of " + absoluteAddress(area));
    ++bulkSplits;
    return true;
}

CalcHost::Impl::Contents CalcHost::Impl::contentsOf(const Reference<table::XCellRange>& range) {
    return {Reference<sheet::XCellRangeData>(range, UNO_QUERY_THROW)->getDataArray(),
            Reference<sheet::XCellRangesQuery>(range, UNO_QUERY_THROW)
                ->queryEmptyCells()
                ->getRangeAddresses()};
}

// Puts back the contents read by contentsOf; the range holds no merged area afterwards.
void CalcHost::Impl::restoreContents(const Sheet& s, const Reference<table::XCellRange>& range,
                                     const Contents& was) {
    constexpr sal_Int32 kContent = sheet::CellFlags::VALUE | sheet::CellFlags::DATETIME |
                                   sheet::CellFlags::STRING | sheet::CellFlags::FORMULA;
    Reference<util::XMergeable>(range, UNO_QUERY_THROW)->merge(false);
    Reference<sheet::XSheetOperation>(range, UNO_QUERY_THROW)->clearContents(kContent);
    Reference<sheet::XCellRangeData>(range, UNO_QUERY_THROW)->setDataArray(was.data);
    for (const auto& rect : was.empty) {
        Reference<sheet::XSheetOperation>(cellRange(s, fromCalc(rect)), UNO_QUERY_THROW)
            ->clearContents(kContent);
    }
}

// Bulk route for many merges onto `target`: Calc builds the whole merge pattern in one
// load of a generated flat ODS (hidden), the pattern is imported as a sheet and copied onto
// the target in one call, together with the target's own values. The copy also lays the
// pattern's plain formatting over the target: the format paste that always follows gives
// every cell its own back, all of it (pasteFormats). Only taken when nothing but plain
// values and formatting can be lost that way: no formula, note, rich text, hyperlink,
// validation or conditional format in the target, and texts that the file format carries
// exactly. The result is read back; on any difference the values are written back and
// false returned, so the caller takes the one-area-at-a-time route. Returns false without
// touching anything when a precondition fails.
bool CalcHost::Impl::bulkMerges(Sheet& dst, const A1Area& target, std::vector<A1Area> wanted) {
    if (!options.bulkRoute || wanted.size() < kBulkMinimum) return false;
    Reference<table::XCellRange> range = cellRange(dst, target);
    if (!onlyPlainCells(range)) return false;
    const Contents was = contentsOf(range);
    const std::vector<calc::PatternBand> bands = calc::patternBands(target, wanted);
    const std::optional<std::string> xml =
        calc::patternDocument(target, wanted, bands, patternCells(target, was.data, was.empty));
    if (!xml) return false;

    const std::optional<std::string> path = writePatternFile(*xml);
    if (!path) return false;
    const ScopeExit removeFile([&path] { ::unlink(path->c_str()); });
    OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(toU(*path), url) != osl::FileBase::E_None)
        return false;

    const Reference<sheet::XSpreadsheetDocument> pattern = loadPattern(url);
    const ScopeExit closePattern([doc = Reference<util::XCloseable>(pattern, UNO_QUERY)] {
        tryQuietly([&] {
            if (doc.is()) doc->close(true);
        });
    });
    if (!pattern.is()) return false;

    Reference<sheet::XSpreadsheets2> sheets2(dst.doc->getSheets(), UNO_QUERY_THROW);
    Reference<container::XIndexAccess> indexed(dst.doc->getSheets(), UNO_QUERY_THROW);
    const sal_Int32 tab = sheets2->importSheet(
        pattern, OUString::createFromAscii(calc::kPatternTable), indexed->getCount());
    Reference<container::XNamed> imported(indexed->getByIndex(tab), UNO_QUERY_THROW);
    const ScopeExit dropImported([sheets = dst.doc->getSheets(), name = imported->getName()] {
        tryQuietly([&] { sheets->removeByName(name); });
    });

    copyBands(dst, target, range, static_cast<sal_Int16>(tab), bands);
    if (readBackMatches(dst, target, range, was, std::move(wanted))) return true;
    // Put every value back as it was; the caller then merges area by area.
    restoreContents(dst, range, was);
    return false;
}

// Loads the pattern document at `url` hidden; nothing when Calc does not load it.
uno::Reference<sheet::XSpreadsheetDocument> CalcHost::Impl::loadPattern(const OUString& url) {
    uno::Sequence<beans::PropertyValue> load(2);
    load.getArray()[0].Name = "Hidden";
    load.getArray()[0].Value <<= true;
    load.getArray()[1].Name = "FilterName";
    load.getArray()[1].Value <<= OUString("OpenDocument Spreadsheet Flat XML");
    Reference<frame::XComponentLoader> loader(desktop, UNO_QUERY_THROW);
    return Reference<sheet::XSpreadsheetDocument>(
        loader->loadComponentFromURL(url, "_blank", 0, load), UNO_QUERY);
}

// Splits every merged area of `range` (the target), then copies each band of the pattern
// sheet `tab` to its place in the target.
void CalcHost::Impl::copyBands(Sheet& dst, const A1Area& target,
                               const Reference<table::XCellRange>& range, sal_Int16 tab,
                               const std::vector<calc::PatternBand>& bands) {
    const long cols = target.columns();
    const sal_Int16 dstTab = sheetIndex(dst);
    Reference<util::XMergeable>(range, UNO_QUERY_THROW)->merge(false);
    Reference<sheet::XCellRangeMovement> move(dst.sheet, UNO_QUERY_THROW);
    for (std::size_t j = 0; j < bands.size(); ++j) {
        const auto column = static_cast<long>(j) * cols;
        changing(dst.doc);
        move->copyRange(
            table::CellAddress{dstTab, static_cast<sal_Int32>(target.left - 1),
                               static_cast<sal_Int32>(target.top - 1 + bands[j].first)},
            table::CellRangeAddress{tab, static_cast<sal_Int32>(column), 0,
                                    static_cast<sal_Int32>(column + cols - 1),
                                    static_cast<sal_Int32>(bands[j].last - bands[j].first)});
    }
}

// Whether the target reads back as it should after the copy: every value as `was`, and
// exactly the `wanted` merged areas.
bool CalcHost::Impl::readBackMatches(Sheet& dst, const A1Area& target,
                                     const Reference<table::XCellRange>& range, const Contents& was,
                                     std::vector<A1Area> wanted) {
    if (!(contentsOf(range) == was)) return false;
    A1Area region = target;
    std::vector<A1Area> now = mergedAreas(dst, region);
    auto order = [](const A1Area& x, const A1Area& y) {
        return std::tie(x.top, x.left, x.bottom, x.right) <
               std::tie(y.top, y.left, y.bottom, y.right);
    };
    std::sort(now.begin(), now.end(), order);
    std::sort(wanted.begin(), wanted.end(), order);
    return now == wanted && !options.failBulkReadBack;
}

// The bulk route over `region`, whose merged areas are to be `wanted`. The cells keep
// their formatting, which the route's pattern overlays, also when its read-back differs
// and it returns false with the values put back. Declines at once where a merged area
// crosses the region's edge, as splitting the region would cut it.
bool CalcHost::Impl::mergeInBulk(Sheet& s, const A1Area& region, std::vector<A1Area> wanted) {
    if (grownOverMergedAreas(s, region) != region) return false;
    const std::vector<FormatGroup> formats = formatGroups(s, region);
    // Opens the run's undo group before the route's first change (the pattern sheet).
    changing(s.doc);
    const bool merged = bulkMerges(s, region, std::move(wanted));
    applyFormats(formats, region, s, region);
    return merged;
}

}  // namespace gridmoor
