// The state CalcHost keeps over one connection to Calc, shared by the files of the backend,
// each of which defines the members of one job:
//   CalcConnection.cpp  the connection to soffice: bootstrap, connect, stale state, liveness
//   CalcEditProbe.cpp   the refusal of a run while the user edits a cell
//   CalcHandles.cpp     the objects handed out in a run (books, sheets, ranges), protection
//   CalcUndo.cpp        the run's undo groups on each document
//   CalcValues.cpp      reading and writing values with the object model's typing
//   CalcMerges.cpp      merged areas: reading them, sending changes, the pending merges
//   CalcBulkRoute.cpp   many merges at once through a generated pattern document
//   CalcFormats.cpp     format pastes: the groups of equal formatting and their transfer
// CalcHost.cpp is the SpreadsheetHost/BulkHost surface over these. Every UNO reference is
// held by a Reference, which releases it. Internal to the Calc backend.
#pragma once

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/document/XUndoManager.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <rtl/ustring.hxx>
#include <string>
#include <utility>
#include <vector>

#include "host/A1Address.h"
#include "host/Failure.h"
#include "host/HandleTable.h"
#include "host/MergeIndex.h"
#include "host/ScopeExit.h"
#include "host/calc/CalcHost.h"
#include "host/calc/CellTyping.h"
#include "host/calc/PatternDocument.h"
#include "host/calc/UndoTree.h"
#include "host/calc/UnoSupport.h"

namespace gridmoor {

namespace uno = com::sun::star::uno;
namespace lang = com::sun::star::lang;
namespace beans = com::sun::star::beans;
namespace container = com::sun::star::container;
namespace document = com::sun::star::document;
namespace frame = com::sun::star::frame;
namespace sheet = com::sun::star::sheet;
namespace table = com::sun::star::table;
namespace util = com::sun::star::util;

namespace calc {

// Calc counts rows and columns from 0, the object model from 1; both fit sal_Int32.
inline table::CellRangeAddress toCalc(const A1Area& a, sal_Int16 sheetIndex) {
    return {sheetIndex, a.left - 1, a.top - 1, a.right - 1, a.bottom - 1};
}

inline A1Area fromCalc(const table::CellRangeAddress& a) {
    return {a.StartRow + 1, a.StartColumn + 1, a.EndRow + 1, a.EndColumn + 1};
}

}  // namespace calc

struct CalcHost::Impl {
    using Cause = HostError::Cause;
    using OUString = rtl::OUString;
    template <class T>
    using Reference = uno::Reference<T>;
    using Typing = calc::Typing;
    using UndoTree = calc::UndoTree;

    Options options;

    // --- the connection; it outlives runs and is checked at each attach ---
    Reference<uno::XComponentContext> local;
    Reference<uno::XComponentContext> remote;
    Reference<frame::XDesktop2> desktop;

    // --- objects handed out in the current run ---
    struct Book {
        Reference<sheet::XSpreadsheetDocument> doc;
    };
    // One Calc sheet as this run knows it. Calc hands out a new UNO object for every access
    // to a sheet, so sheets are told apart by document and name; an object of a deleted
    // sheet may silently act on another sheet, so a deleted sheet is never touched again.
    struct SheetEntry {
        Reference<uno::XInterface> doc;
        OUString name;
        bool deleted = false;
    };
    struct Sheet {
        Reference<sheet::XSpreadsheetDocument> doc;
        Reference<sheet::XSpreadsheet> sheet;
        const void* identity = nullptr;  // the SheetEntry
    };
    std::vector<std::unique_ptr<SheetEntry>> sheetEntries;
    struct RangeObj {
        std::uint32_t sheet = 0;  // the id of its sheet's handle
        A1Area first;
        std::vector<A1Area> more;  // areas after the first
    };
    struct SheetEnum {
        std::vector<std::uint32_t> sheets;  // ids of sheet handles
        std::size_t next = 0;
    };
    // A walk over the cells the range had when the walk began.
    struct CellEnum {
        std::uint32_t sheet = 0;
        std::vector<A1Area> areas;
        std::size_t area = 0;
        std::int64_t index = 0;  // row-major position within the area
    };
    // Ids start from 1 in every run; a released range's id goes to the next range, so a walk
    // that releases each cell keeps the table small.
    HandleTable<Book, IdReuse::Reuse> books;
    HandleTable<Sheet, IdReuse::Reuse> sheets;
    HandleTable<RangeObj, IdReuse::Reuse> ranges;
    HandleTable<SheetEnum, IdReuse::Reuse> sheetEnums;
    HandleTable<CellEnum, IdReuse::Reuse> cellEnums;

    // Per document touched in the run: its undo group (see UndoTree) and controller lock.
    struct DocState {
        Reference<sheet::XSpreadsheetDocument> doc;
        // Set once the run's undo group is open on the document; kept so that each change
        // does not ask Calc for it again.
        Reference<document::XUndoManager> undo;
        UndoTree groups;
        bool lockedForUser = false;  // ScreenUpdating(false)
        std::map<sal_Int32, Typing> typings;
        long nullDateOffset = 0;  // days from 1899-12-30 to the document's null date
        bool nullDateKnown = false;
    };
    std::vector<DocState> docs;

    // Areas given to mergeAreas, per sheet identity, not yet sent: a format paste from the
    // sheet carries them without their ever reaching it (the smart merge's scratch sheet is
    // deleted right after), any call that needs them sends them first, and flush sends the
    // rest.
    struct PendingMerges {
        std::uint32_t sheet = 0;  // the id of a handle of the sheet
        std::vector<A1Area> merges;
    };
    std::vector<PendingMerges> pending;

    // The range on the clipboard: a live reference, as the object model's copy mode is.
    std::optional<std::pair<std::uint32_t, A1Area>> clipboard;

    bool inRun = false;
    long bulkPastes = 0;
    long bulkMergeCalls = 0;
    long bulkSplits = 0;
    // Whether the user was editing a cell when the run's first call came (asked once a run).
    std::optional<bool> userEditing;
    // Protection of the sheets written in this run (it does not change within a run).
    std::map<const void*, bool> protectedSheets;

    explicit Impl(Options o) : options(std::move(o)) {}
    // Releases every document and disposes of the local context: see CalcConnection.cpp.
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // ---------------------------------------------------------------- errors
    [[noreturn]] void fail(Cause cause, const std::string& why) { throw HostError(cause, why); }

    // Runs one operation and turns every UNO exception into HostError.
    // `editCheck`: refuse the call while the user edits a cell (every call but the attach,
    // which finds the application whatever it is doing).
    template <class F>
    auto guarded(const char* what, F&& f, bool editCheck = true) -> decltype(f()) {
        using calc::fromU;
        try {
            if (editCheck) refuseWhileUserEdits(what);
            return f();
        } catch (const HostError&) {
            throw;
        } catch (const ValueError&) {
            throw;
        } catch (const lang::DisposedException& e) {
            dropConnection();
            fail(Cause::Gone,
                 std::string(what) + ": Calc has gone away (" + fromU(e.Message) + ")");
        } catch (const lang::IllegalArgumentException& e) {
            fail(Cause::BadArgument, std::string(what) + ": " + fromU(e.Message));
        } catch (const lang::IndexOutOfBoundsException& e) {
            fail(Cause::BadArgument, std::string(what) + ": out of bounds " + fromU(e.Message));
        } catch (const container::NoSuchElementException& e) {
            fail(Cause::NotFound, std::string(what) + ": no such element " + fromU(e.Message));
        } catch (const uno::RuntimeException& e) {
            // A lost bridge shows as a plain RuntimeException on some paths.
            if (!alive()) {
                dropConnection();
                fail(Cause::Gone,
                     std::string(what) + ": Calc has gone away (" + fromU(e.Message) + ")");
            }
            fail(Cause::Other, std::string(what) + ": " + fromU(e.Message));
        } catch (const uno::Exception& e) {
            fail(Cause::Other, std::string(what) + ": " + fromU(e.Message));
        }
    }

    // ---------------------------------------------------------------- connection
    void dropConnection() noexcept;
    bool alive() noexcept;
    void bootstrapLocal();
    bool tryConnect();
    void clearStaleState();
    std::optional<AppHandle> attach();

    // ---------------------------------------------------------------- edit mode
    void refuseWhileUserEdits(const char* what);
    bool userIsEditing();

    // ---------------------------------------------------------------- handles
    void checkApp(AppHandle app);
    SheetHandle addSheet(Reference<sheet::XSpreadsheetDocument> doc,
                         Reference<sheet::XSpreadsheet> s);
    RangeHandle addRange(std::uint32_t sheetId, std::vector<A1Area> areas);
    RangeObj& rangeOf(RangeHandle h, const char* what);
    std::vector<A1Area> areasOf(const RangeObj& r) const;
    Reference<sheet::XSpreadsheetDocument> activeDocument();
    DocState& docState(const Reference<sheet::XSpreadsheetDocument>& doc);
    Sheet& sheetOf(SheetHandle h);
    static SheetEntry& entryOf(const Sheet& s);
    Sheet& liveSheet(std::uint32_t id);
    sal_Int16 sheetIndex(const Sheet& s);
    Reference<table::XCellRange> cellRange(const Sheet& s, const A1Area& a);
    bool sheetProtected(const Sheet& s);
    void refuseIfStructureProtected(const Reference<sheet::XSpreadsheetDocument>& doc,
                                    const char* what);
    void refuseIfSheetProtected(const Sheet& s, const char* what);
    void refuseLockedWrite(const Sheet& s, const A1Area& a);
    static A1Area checkedArea(const A1Area& a, const char* what);
    void forgetRun() noexcept;

    // ---------------------------------------------------------------- undo and locks
    void changing(const Reference<sheet::XSpreadsheetDocument>& doc);
    static void closeUndoGroup(DocState& d);

    // Locks the document's views (no repaint while many changes are made) until the returned
    // guard goes, whatever ends its scope. Calc counts locks, so they nest.
    [[nodiscard]] static auto lockControllers(const Reference<sheet::XSpreadsheetDocument>& doc) {
        Reference<frame::XModel> model(doc, uno::UNO_QUERY_THROW);
        model->lockControllers();
        return ScopeExit([model] { tryQuietly([&] { model->unlockControllers(); }); });
    }

    // ---------------------------------------------------------------- values
    struct Read {
        std::vector<CellValue> values;
        std::vector<Typing> typing;
        std::vector<char> formula;
        bool hasFormulas = false;
    };
    Typing typingOfKey(DocState& d, sal_Int32 key);
    long nullDateOffset(DocState& d);
    sal_Int32 standardFormat(DocState& d, Typing t);
    Read readArea(const Sheet& s, const A1Area& a);
    void readTypings(DocState& d, const Reference<table::XCellRange>& range, const A1Area& a,
                     std::vector<Typing>& typing);
    uno::Any calcDatum(DocState& d, const CellValue& v);
    void writeArea(const Sheet& s, const A1Area& a, const CellValue& v, bool setFormat);

    // ---------------------------------------------------------------- merged areas
    std::optional<std::uint32_t> pendingFor(const void* identity);
    A1Area grownOverMergedAreas(const Sheet& s, const A1Area& region);
    std::vector<A1Area> mergedAreas(const Sheet& s, A1Area& region,
                                    Reference<container::XIndexAccess>* groupsRead = nullptr);
    void applyMerges(Sheet& s, const std::vector<A1Area>& removed, const std::vector<A1Area>& added,
                     A1Area region, const A1Area* splitAll = nullptr);
    MergeProjection projectedMerges(Sheet& s, A1Area& region);
    void flushMerges(std::uint32_t sheetId);
    void deferMerges(std::uint32_t sheetId, std::vector<A1Area> merges);
    void flushAllMerges();
    void sendMerges(Sheet& s, const std::vector<A1Area>& mine, bool viaBulk);

    // ---------------------------------------------------------------- bulk route
    static constexpr std::size_t kBulkMinimum = 64;  // merged areas below which it never pays
    // The contents of a range of plain cells, enough to tell whether a copy kept them and to
    // put them back: the data array and the truly empty cells.
    struct Contents {
        uno::Sequence<uno::Sequence<uno::Any>> data;
        uno::Sequence<table::CellRangeAddress> empty;
        bool operator==(const Contents&) const = default;
    };
    static bool hasRulesOfItsOwn(const Reference<container::XIndexAccess>& groups);
    static bool onlyPlainCells(const Reference<table::XCellRange>& range);
    bool splitInBulk(const Sheet& s, const A1Area& area,
                     const Reference<container::XIndexAccess>& groups);
    static Contents contentsOf(const Reference<table::XCellRange>& range);
    void restoreContents(const Sheet& s, const Reference<table::XCellRange>& range,
                         const Contents& was);
    bool bulkMerges(Sheet& dst, const A1Area& target, std::vector<A1Area> wanted);
    Reference<sheet::XSpreadsheetDocument> loadPattern(const OUString& url);
    void copyBands(Sheet& dst, const A1Area& target, const Reference<table::XCellRange>& range,
                   sal_Int16 tab, const std::vector<calc::PatternBand>& bands);
    bool readBackMatches(Sheet& dst, const A1Area& target,
                         const Reference<table::XCellRange>& range, const Contents& was,
                         std::vector<A1Area> wanted);
    bool mergeInBulk(Sheet& s, const A1Area& region, std::vector<A1Area> wanted);

    // ---------------------------------------------------------------- formats
    // Each group of equally formatted cells of an area, with its formatting.
    struct FormatGroup {
        uno::Any style;
        uno::Sequence<uno::Any> values;  // formatNames, in order
        uno::Sequence<table::CellRangeAddress> rects;
    };
    // What a group of `groups` (read from `from`) needs so that every one of its cells in
    // `target` has its formatting: its style, when some cell's differs (setting a style
    // resets what was set by hand, so every property then goes again), and the properties
    // that differ. Properties the group has no value for are never sent (a void value).
    struct FormatChange {
        std::size_t group;
        bool style = false;
        std::vector<sal_Int32> properties;  // indices into formatNames
    };
    // Every formatting property of a cell that a format paste carries (see
    // formatPropertyNames); learnt once.
    uno::Sequence<OUString> formatNames;
    const uno::Sequence<OUString>& formatPropertyNames(const Reference<beans::XPropertySet>& g);
    std::vector<FormatGroup> formatGroups(const Sheet& s, const A1Area& a);
    std::vector<FormatGroup> formatGroupsOf(const Reference<container::XIndexAccess>& groups);
    void pasteFormats(const Sheet& src, const A1Area& from, const Sheet& dst, const A1Area& target);
    void applyFormats(const std::vector<FormatGroup>& groups, const A1Area& from, const Sheet& dst,
                      const A1Area& target);
    std::vector<FormatChange> formatsDiffering(const std::vector<FormatGroup>& groups,
                                               const A1Area& from, const Sheet& dst,
                                               const A1Area& target);
};

}  // namespace gridmoor
