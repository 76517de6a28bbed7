#include "host/calc/CalcHost.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <com/sun/star/beans/Property.hpp>
#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XActionLockable.hpp>
#include <com/sun/star/document/XUndoManager.hpp>
#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/FeatureStateEvent.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XDispatch.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStatusListener.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/ValidationType.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeMovement.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XSpreadsheets2.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/CellProtection.hpp>
#include <com/sun/star/util/Date.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/URL.hpp>
#include <com/sun/star/util/URLTransformer.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XMergeable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <com/sun/star/util/XURLTransformer.hpp>
#include <cppuhelper/implbase1.hxx>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <osl/file.hxx>
#include <rtl/ref.hxx>
#include <rtl/uri.hxx>
#include <rtl/ustring.hxx>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "host/A1Address.h"
#include "host/Failure.h"
#include "host/ScopeExit.h"
#include "host/Texts.h"
#include "host/calc/CalcArea.h"
#include "host/calc/MergeSet.h"
#include "host/calc/OfficeProcess.h"
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
using calc::Area;
using calc::fromU;
using calc::MergeSet;
using calc::toU;
using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;
using Cause = HostError::Cause;

namespace {

// How a cell's number format makes the object model type its number.
enum class Typing : std::uint8_t { Plain, Date, Boolean, Currency };

Typing typingOf(sal_Int16 formatType) {
    if (formatType & util::NumberFormat::LOGICAL) return Typing::Boolean;
    if (formatType & (util::NumberFormat::DATE | util::NumberFormat::TIME)) return Typing::Date;
    if (formatType & util::NumberFormat::CURRENCY) return Typing::Currency;
    return Typing::Plain;
}

Typing typingFor(const CellValue& v) {
    if (!v.isNumber()) return Typing::Plain;
    switch (v.numberKind()) {
        case NumberKind::Date:
            return Typing::Date;
        case NumberKind::Boolean:
            return Typing::Boolean;
        case NumberKind::Currency:
            return Typing::Currency;
        default:
            return Typing::Plain;
    }
}

// Calc's error numbers to the object model's (xlErrDiv0 = 2007, ...).
std::int32_t objectModelError(sal_Int32 calcError) {
    switch (calcError) {
        case 532:
            return 2007;  // #DIV/0!
        case 524:
            return 2023;  // #REF!
        case 525:
            return 2029;  // #NAME?
        case 503:
        case 523:
            return 2036;  // #NUM!
        case 521:
            return 2000;  // #NULL!
        case 32767:
            return 2042;  // #N/A
        default:
            return 2015;  // #VALUE! and everything Calc has beyond the object model's set
    }
}

// A formula that gives the object model's error `code`, for writing an error value.
OUString errorFormula(std::int32_t code) {
    switch (code) {
        case 2007:
            return "=1/0";
        case 2023:
            return "=INDIRECT(\"#\")";
        case 2036:
            return "=SQRT(-1)";
        case 2042:
            return "=NA()";
        default:
            return "=\"\"+\"a\"";
    }
}

long daysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

table::CellRangeAddress toCalc(const Area& a, sal_Int16 sheetIndex) {
    return {sheetIndex, static_cast<sal_Int32>(a.firstColumn - 1),
            static_cast<sal_Int32>(a.firstRow - 1), static_cast<sal_Int32>(a.lastColumn - 1),
            static_cast<sal_Int32>(a.lastRow - 1)};
}

Area fromCalc(const table::CellRangeAddress& a) {
    return {a.StartRow + 1L, a.StartColumn + 1L, a.EndRow + 1L, a.EndColumn + 1L};
}

// Hears the state of one command of Calc's user interface, as a menu entry would.
class CommandState final : public cppu::WeakImplHelper1<com::sun::star::frame::XStatusListener> {
public:
    void SAL_CALL statusChanged(const com::sun::star::frame::FeatureStateEvent& e) override {
        heard = true;
        enabled = e.IsEnabled;
    }
    void SAL_CALL disposing(const com::sun::star::lang::EventObject&) override {}

    bool heard = false;
    bool enabled = true;
};

// Cell properties a format paste never carries, though Calc lets them be set. Read-only
// properties and objects are never carried either.
const char* const kNotCarried[] = {
    // Content, never formatting: writing it would overwrite values.
    "FormulaLocal",
    // The outline of a range as a whole: it would draw a group's outline around each of
    // its rectangles.
    "TableBorder",
    "TableBorder2",
    // Set first and on its own: setting a style resets what is set by hand.
    "CellStyle",
    // Calc's name for the group of equally formatted cells a cell is in, not a format.
    "FormatID",
    // The horizontal alignment seen as a paragraph's: it has no "standard" and would turn
    // it into "left"; HoriJustify carries it.
    "ParaAdjust",
    "ParaLastLineAdjust",
    // Descriptions of conditional formats and validation: a paste that would have to bring
    // those is not taken where they exist.
    "ConditionalFormat",
    "ConditionalFormatLocal",
    "ConditionalFormatXML",
    "Validation",
    "ValidationLocal",
    "ValidationXML",
};

}  // namespace

struct CalcHost::Impl {
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
        std::uint32_t sheet = 0;  // index into sheets
        Area first;
        std::vector<Area> more;  // areas after the first
        bool released = false;   // its slot waits in freeRanges for the next range
    };
    struct SheetEnum {
        std::vector<std::uint32_t> sheets;
        std::size_t next = 0;
    };
    struct CellEnum {
        std::uint32_t range = 0;
        std::size_t area = 0;
        long index = 0;  // row-major position within the area
    };
    std::vector<Book> books;
    std::vector<Sheet> sheets;
    std::vector<RangeObj> ranges;
    std::vector<std::uint32_t> freeRanges;  // handles of released ranges, to be reused
    std::vector<SheetEnum> sheetEnums;
    std::vector<CellEnum> cellEnums;

    // Per document touched in the run: its undo group and controller lock.
    // Calc keeps at most its number of undo steps (100 unless the user set fewer) of the
    // actions inside one undo group and silently drops the oldest beyond that, so one group
    // holding a long command would not be undone whole. The run's group therefore holds its
    // first kUndoFanOut actions directly and then one nested tree of groups after another,
    // of depth 1, 2, 3, ...; every group holds at most kUndoFanOut (or, for the run's own
    // group, kUndoFanOut plus the number of trees) entries, and Ctrl+Z still takes back the
    // whole run in one step.
    static constexpr long kUndoFanOut = 16;
    struct UndoTree {
        long depth = 0;   // depth of the tree being filled; 0: the run's group itself
        long filled = 0;  // actions in that tree
        long capacity = kUndoFanOut;
        long open = 0;  // groups open inside the run's group
    };

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
        std::uint32_t sheet = 0;
        std::vector<Area> merges;
    };
    std::vector<PendingMerges> pending;

    // The range on the clipboard: a live reference, as the object model's copy mode is.
    std::optional<std::pair<std::uint32_t, Area>> clipboard;

    bool inRun = false;
    long bulkPastes = 0;
    long bulkMergeCalls = 0;
    // Whether the user was editing a cell when the run's first call came (asked once a run).
    std::optional<bool> userEditing;
    // Protection of the sheets written in this run (it does not change within a run).
    std::map<const void*, bool> protectedSheets;

    explicit Impl(Options o) : options(std::move(o)) {}

    // ---------------------------------------------------------------- errors
    [[noreturn]] void fail(Cause cause, const std::string& why) { throw HostError(cause, why); }

    void dropConnection() noexcept {
        desktop.clear();
        remote.clear();
        books.clear();
        sheets.clear();
        ranges.clear();
        freeRanges.clear();
        docs.clear();
        pending.clear();
        clipboard.reset();
    }

    // Runs one operation and turns every UNO exception into HostError.
    template <class F>
    // `editCheck`: refuse the call while the user edits a cell (every call but the attach,
    // which finds the application whatever it is doing).
    auto guarded(const char* what, F&& f, bool editCheck = true) -> decltype(f()) {
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

    // While the user edits a cell, the object model refuses every call. Calc lets API calls
    // through, and the user's Enter then overwrites what they wrote; so a run that finds the
    // user editing is refused as a whole. Calc exposes no such state, but its user interface
    // disables "Clone Formatting" exactly while a cell (or the input line) is being edited,
    // and in print preview, where changing the document behind the user is no better.
    void refuseWhileUserEdits(const char* what) {
        if (!inRun || !desktop.is()) return;
        if (!userEditing) userEditing = userIsEditing();
        if (*userEditing) {
            fail(Cause::Busy, std::string(what) + ": the user is editing a cell in Calc");
        }
    }

    bool userIsEditing() {
        Reference<frame::XModel> model(desktop->getCurrentComponent(), UNO_QUERY);
        if (!model.is() || !Reference<sheet::XSpreadsheetDocument>(model, UNO_QUERY).is())
            return false;
        Reference<frame::XController> controller = model->getCurrentController();
        if (!controller.is()) return false;
        Reference<frame::XDispatchProvider> provider(controller->getFrame(), UNO_QUERY);
        if (!provider.is()) return false;
        util::URL url;
        url.Complete = ".uno:FormatPaintbrush";
        util::URLTransformer::create(remote)->parseStrict(url);
        Reference<frame::XDispatch> dispatch = provider->queryDispatch(url, OUString(), 0);
        if (!dispatch.is()) return false;
        // The dispatch tells a new listener the current state at once.
        rtl::Reference<CommandState> state(new CommandState);
        const Reference<frame::XStatusListener> listener(state.get());
        dispatch->addStatusListener(listener, url);
        dispatch->removeStatusListener(listener, url);
        return state->heard && !state->enabled;
    }

    bool alive() noexcept {
        if (!desktop.is()) return false;
        try {
            desktop->getCurrentFrame();
            return true;
        } catch (...) {
            return false;
        }
    }

    // ---------------------------------------------------------------- connection
    void bootstrapLocal() {
        if (local.is()) return;
        // A call whose write meets a dropped pipe then throws, which becomes Cause::Gone.
        local = calc::bootstrapLocalContext();
    }

    bool tryConnect() {
        try {
            remote = calc::connectToOffice(local, options.pipeName);
            desktop = frame::Desktop::create(remote);
            return true;
        } catch (const com::sun::star::connection::NoConnectException&) {
            return false;
        }
    }

    // A client that died in a run leaves its locks and undo groups behind; a fresh
    // connection clears them so the user's Calc is not left frozen.
    void clearStaleState() {
        Reference<container::XEnumerationAccess> all = desktop->getComponents();
        if (!all.is()) return;
        Reference<container::XEnumeration> it = all->createEnumeration();
        while (it.is() && it->hasMoreElements()) {
            Reference<frame::XModel> model(it->nextElement(), UNO_QUERY);
            if (!model.is()) continue;
            for (int i = 0; i < 64 && model->hasControllersLocked(); ++i)
                model->unlockControllers();
            Reference<document::XUndoManagerSupplier> us(model, UNO_QUERY);
            if (us.is()) {
                Reference<document::XUndoManager> undo = us->getUndoManager();
                // Leaving a context when none is open throws: that ends the loop.
                try {
                    for (int i = 0; i < 64 && undo.is(); ++i) undo->leaveUndoContext();
                } catch (const uno::Exception&) {
                }
            }
            Reference<document::XActionLockable> lockable(model, UNO_QUERY);
            if (lockable.is()) lockable->resetActionLocks();
        }
    }

    std::optional<AppHandle> attach() {
        bootstrapLocal();
        if (alive()) return AppHandle{1};
        dropConnection();
        // A listener that is busy may refuse for a moment: while its pipe file exists, try a
        // few times before concluding that nothing listens.
        const std::string unoPipe =
            "/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" + options.pipeName;
        for (int i = 0; i < 20; ++i) {
            if (tryConnect()) {
                clearStaleState();
                return AppHandle{1};
            }
            if (::access(unoPipe.c_str(), F_OK) != 0 || !calc::officeRunsForThisUser()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        // Nothing listens. Only a Calc that already runs is asked to listen; the hand-off goes
        // over the instance's own pipe and cannot start one.
        if (!calc::officeRunsForThisUser()) return std::nullopt;
        const std::string accept =
            "--accept=pipe,name=" + options.pipeName + ";urp;StarOffice.ComponentContext";
        // An instance that is still starting (or restarting after creating its profile) may
        // drop the request: ask again for a few seconds while it runs.
        const std::string instancePipe = calc::singleInstancePipePath();
        for (int i = 0; i < 100; ++i) {
            // No pipe file for a second: the running soffice belongs to another profile, not to
            // this user's ordinary start.
            if (instancePipe.empty() || (::access(instancePipe.c_str(), F_OK) != 0 && i >= 10)) {
                break;
            }
            if (i % 10 == 0 && !calc::handOffToRunningOffice(accept) && i >= 50) break;
            if (tryConnect()) {
                clearStaleState();
                return AppHandle{1};
            }
            if (!calc::officeRunsForThisUser()) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return std::nullopt;
    }

    // ---------------------------------------------------------------- handles
    template <class T, class H>
    T& lookup(std::vector<T>& table, H h, const char* what) {
        if (!h || h.id > table.size())
            fail(Cause::NotFound, std::string(what) + ": object not set");
        return table[h.id - 1];
    }
    void checkApp(AppHandle app) {
        if (app.id != 1 || !desktop.is()) fail(Cause::NotFound, "application: object not set");
    }
    SheetHandle addSheet(Reference<sheet::XSpreadsheetDocument> doc,
                         Reference<sheet::XSpreadsheet> s) {
        Reference<uno::XInterface> docId(doc, UNO_QUERY);
        const OUString name = Reference<container::XNamed>(s, UNO_QUERY_THROW)->getName();
        SheetEntry* entry = nullptr;
        for (auto& e : sheetEntries) {
            if (!e->deleted && e->doc == docId && e->name == name) entry = e.get();
        }
        if (!entry) {
            sheetEntries.push_back(std::make_unique<SheetEntry>(SheetEntry{docId, name, false}));
            entry = sheetEntries.back().get();
        }
        sheets.push_back({std::move(doc), std::move(s), entry});
        return SheetHandle{static_cast<std::uint32_t>(sheets.size())};
    }
    RangeHandle addRange(std::uint32_t sheetIndex, std::vector<Area> areas) {
        RangeObj r;
        r.sheet = sheetIndex;
        r.first = areas.front();
        r.more.assign(areas.begin() + 1, areas.end());
        if (!freeRanges.empty()) {
            const std::uint32_t id = freeRanges.back();
            freeRanges.pop_back();
            ranges[id - 1] = std::move(r);
            return RangeHandle{id};
        }
        ranges.push_back(std::move(r));
        return RangeHandle{static_cast<std::uint32_t>(ranges.size())};
    }
    RangeObj& rangeOf(RangeHandle h, const char* what) {
        RangeObj& r = lookup(ranges, h, what);
        if (r.released) fail(Cause::NotFound, std::string(what) + ": the range was released");
        return r;
    }
    std::vector<Area> areasOf(const RangeObj& r) const {
        std::vector<Area> all{r.first};
        all.insert(all.end(), r.more.begin(), r.more.end());
        return all;
    }

    // ---------------------------------------------------------------- documents
    Reference<sheet::XSpreadsheetDocument> activeDocument() {
        Reference<sheet::XSpreadsheetDocument> doc(desktop->getCurrentComponent(), UNO_QUERY);
        if (doc.is()) return doc;
        // The current component is the Start Center or a document of another kind, or no
        // Calc window ever had the focus: take a spreadsheet that is open.
        Reference<container::XEnumerationAccess> all = desktop->getComponents();
        Reference<container::XEnumeration> it = all.is() ? all->createEnumeration() : nullptr;
        while (it.is() && it->hasMoreElements()) {
            Reference<sheet::XSpreadsheetDocument> d(it->nextElement(), UNO_QUERY);
            if (d.is()) return d;
        }
        fail(Cause::NotFound, "no workbook is open");
    }

    DocState& docState(const Reference<sheet::XSpreadsheetDocument>& doc) {
        for (auto& d : docs) {
            if (d.doc == doc) return d;
        }
        DocState fresh;
        fresh.doc = doc;
        docs.push_back(std::move(fresh));
        return docs.back();
    }

    // Called before each call that changes the document (each records one undo action):
    // opens the run's undo group before the first, so that one undo in Calc takes back
    // everything the command did, and places the action in the group tree (see UndoTree).
    void changing(const Reference<sheet::XSpreadsheetDocument>& doc) {
        DocState& d = docState(doc);
        // Converted once: this runs before every change, one per merge on the one-area route.
        static const OUString title = toU(texts::kMessageTitle);
        if (!d.undo.is()) {
            Reference<document::XUndoManagerSupplier> us(doc, UNO_QUERY);
            if (!us.is()) return;
            Reference<document::XUndoManager> undo = us->getUndoManager();
            undo->enterUndoContext(title);
            d.undo = undo;
        }
        const Reference<document::XUndoManager>& undo = d.undo;
        UndoTree& t = d.groups;
        if (t.depth == 0) {
            if (t.filled < t.capacity) {
                ++t.filled;
                return;
            }
            t.depth = 1;
            t.filled = 0;
        }
        if (t.filled == t.capacity) {
            for (; t.open > 0; --t.open) undo->leaveUndoContext();
            ++t.depth;
            t.filled = 0;
            t.capacity *= kUndoFanOut;
        }
        // Close the groups that are full, innermost first, then open down to the actions.
        for (long size = kUndoFanOut; t.filled > 0 && t.open > 0 && t.filled % size == 0;
             size *= kUndoFanOut) {
            undo->leaveUndoContext();
            --t.open;
        }
        for (; t.open < t.depth; ++t.open) undo->enterUndoContext(title);
        ++t.filled;
    }

    // Locks the document's views (no repaint while many changes are made) until the returned
    // guard goes, whatever ends its scope. Calc counts locks, so they nest.
    [[nodiscard]] static auto lockControllers(const Reference<sheet::XSpreadsheetDocument>& doc) {
        Reference<frame::XModel> model(doc, UNO_QUERY_THROW);
        model->lockControllers();
        return ScopeExit([model] { tryQuietly([&] { model->unlockControllers(); }); });
    }

    // Closes the run's undo group on the document, so its entry is complete in Calc's undo
    // list. Each context is counted off as it closes: after a failure part way, a later call
    // closes only the rest.
    static void closeUndoGroup(DocState& d) {
        if (!d.undo.is()) return;
        for (; d.groups.open > 0; --d.groups.open) d.undo->leaveUndoContext();
        d.undo->leaveUndoContext();
        d.undo.clear();
        d.groups = UndoTree{};
    }

    Typing typingOfKey(DocState& d, sal_Int32 key) {
        if (auto it = d.typings.find(key); it != d.typings.end()) return it->second;
        Reference<util::XNumberFormatsSupplier> fs(d.doc, UNO_QUERY_THROW);
        Reference<beans::XPropertySet> props = fs->getNumberFormats()->getByKey(key);
        sal_Int16 type = 0;
        props->getPropertyValue("Type") >>= type;
        return d.typings[key] = typingOf(type);
    }

    long nullDateOffset(DocState& d) {
        if (!d.nullDateKnown) {
            Reference<beans::XPropertySet> props(d.doc, UNO_QUERY);
            util::Date nd{30, 12, 1899};
            if (props.is()) props->getPropertyValue("NullDate") >>= nd;
            d.nullDateOffset =
                daysFromCivil(nd.Year, nd.Month, nd.Day) - daysFromCivil(1899, 12, 30);
            d.nullDateKnown = true;
        }
        return d.nullDateOffset;
    }

    sal_Int32 standardFormat(DocState& d, Typing t) {
        Reference<util::XNumberFormatsSupplier> fs(d.doc, UNO_QUERY_THROW);
        Reference<util::XNumberFormatTypes> types(fs->getNumberFormats(), UNO_QUERY_THROW);
        const sal_Int16 type = t == Typing::Date       ? util::NumberFormat::DATE
                               : t == Typing::Boolean  ? util::NumberFormat::LOGICAL
                               : t == Typing::Currency ? util::NumberFormat::CURRENCY
                                                       : util::NumberFormat::NUMBER;
        return types->getStandardFormat(type, lang::Locale());
    }

    // ---------------------------------------------------------------- sheets
    Sheet& sheetOf(SheetHandle h) {
        Sheet& s = lookup(sheets, h, "worksheet");
        if (entryOf(s).deleted) fail(Cause::NotFound, "worksheet: the sheet has been deleted");
        return s;
    }
    static SheetEntry& entryOf(const Sheet& s) {
        return *static_cast<SheetEntry*>(const_cast<void*>(s.identity));
    }
    Sheet& liveSheet(std::uint32_t index) {
        Sheet& s = sheets[index];
        if (entryOf(s).deleted) fail(Cause::NotFound, "range: its sheet has been deleted");
        return s;
    }

    sal_Int16 sheetIndex(const Sheet& s) {
        Reference<sheet::XCellRangeAddressable> a(s.sheet, UNO_QUERY_THROW);
        return a->getRangeAddress().Sheet;
    }

    Reference<table::XCellRange> cellRange(const Sheet& s, const Area& a) {
        return s.sheet->getCellRangeByPosition(
            static_cast<sal_Int32>(a.firstColumn - 1), static_cast<sal_Int32>(a.firstRow - 1),
            static_cast<sal_Int32>(a.lastColumn - 1), static_cast<sal_Int32>(a.lastRow - 1));
    }

    // Asked once per sheet and run: protection does not change within a run.
    bool sheetProtected(const Sheet& s) {
        auto known = protectedSheets.find(s.identity);
        if (known == protectedSheets.end()) {
            Reference<util::XProtectable> p(s.sheet, UNO_QUERY);
            known = protectedSheets.emplace(s.identity, p.is() && p->isProtected()).first;
        }
        return known->second;
    }

    void refuseIfStructureProtected(const Reference<sheet::XSpreadsheetDocument>& doc,
                                    const char* what) {
        Reference<util::XProtectable> p(doc, UNO_QUERY);
        if (p.is() && p->isProtected()) {
            fail(Cause::Protected, std::string(what) + ": the workbook's structure is protected");
        }
    }

    void refuseIfSheetProtected(const Sheet& s, const char* what) {
        if (sheetProtected(s))
            fail(Cause::Protected, std::string(what) + ": the sheet is protected");
    }

    // Value writes on a protected sheet: refused when any cell of the area is locked.
    void refuseLockedWrite(const Sheet& s, const Area& a) {
        if (!sheetProtected(s)) return;
        Reference<sheet::XUniqueCellFormatRangesSupplier> sup(cellRange(s, a), UNO_QUERY_THROW);
        Reference<container::XIndexAccess> groups = sup->getUniqueCellFormatRanges();
        for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
            Reference<beans::XPropertySet> g(groups->getByIndex(i), UNO_QUERY_THROW);
            util::CellProtection prot;
            if ((g->getPropertyValue("CellProtection") >>= prot) && !prot.IsLocked) continue;
            fail(Cause::Protected, "value: the cell is on a protected sheet");
        }
    }

    std::optional<std::uint32_t> pendingFor(const void* identity) {
        for (std::size_t i = 0; i < pending.size(); ++i) {
            if (sheets[pending[i].sheet].identity == identity) return static_cast<std::uint32_t>(i);
        }
        return std::nullopt;
    }

    // ---------------------------------------------------------------- merged areas
    // The region grown by every merged area it meets.
    Area grownOverMergedAreas(const Sheet& s, const Area& region) {
        Reference<sheet::XSheetCellRange> r(cellRange(s, region), UNO_QUERY_THROW);
        Reference<sheet::XSheetCellCursor> cursor = s.sheet->createCursorByRange(r);
        cursor->collapseToMergedArea();
        Reference<sheet::XCellRangeAddressable> ca(cursor, UNO_QUERY_THROW);
        return spanning(region, fromCalc(ca->getRangeAddress()));
    }

    // The merged areas meeting `region`, and the region grown so that no merged area crosses
    // its edge. One probe per group of equally formatted cells: merged areas of one size share
    // a group.
    std::vector<Area> mergedAreas(const Sheet& s, Area& region) {
        region = grownOverMergedAreas(s, region);
        std::vector<Area> out;
        Reference<sheet::XUniqueCellFormatRangesSupplier> sup(cellRange(s, region),
                                                              UNO_QUERY_THROW);
        Reference<container::XIndexAccess> groups = sup->getUniqueCellFormatRanges();
        const sal_Int32 n = groups->getCount();
        for (sal_Int32 i = 0; i < n; ++i) {
            Reference<sheet::XSheetCellRanges> g(groups->getByIndex(i), UNO_QUERY_THROW);
            const uno::Sequence<table::CellRangeAddress> rects = g->getRangeAddresses();
            if (!rects.hasElements()) continue;
            const Area probe = fromCalc(rects[0]);
            const Area anchor{probe.firstRow, probe.firstColumn, probe.firstRow, probe.firstColumn};
            Reference<util::XMergeable> m(cellRange(s, anchor), UNO_QUERY_THROW);
            if (!m->getIsMerged()) continue;
            Reference<sheet::XSheetCellRange> ar(cellRange(s, anchor), UNO_QUERY_THROW);
            Reference<sheet::XSheetCellCursor> c = s.sheet->createCursorByRange(ar);
            c->collapseToMergedArea();
            Reference<sheet::XCellRangeAddressable> caa(c, UNO_QUERY_THROW);
            const Area size = fromCalc(caa->getRangeAddress());
            const long h = size.rows(), w = size.columns();
            for (const auto& rect : rects) {
                const Area ra = fromCalc(rect);
                for (long row = ra.firstRow; row <= ra.lastRow; ++row) {
                    for (long col = ra.firstColumn; col <= ra.lastColumn; ++col) {
                        out.push_back({row, col, row + h - 1, col + w - 1});
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
    void applyMerges(Sheet& s, const std::vector<Area>& removed, const std::vector<Area>& added,
                     Area region, const Area* splitAll = nullptr) {
        if (removed.empty() && added.empty()) return;
        changing(s.doc);
        const auto unlock = lockControllers(s.doc);
        if (splitAll) {
            Reference<util::XMergeable>(cellRange(s, *splitAll), UNO_QUERY_THROW)->merge(false);
        }
        for (const auto& a : removed) {
            if (splitAll && splitAll->contains(a.firstRow, a.firstColumn)) continue;
            changing(s.doc);
            Reference<util::XMergeable> m(
                cellRange(s, {a.firstRow, a.firstColumn, a.firstRow, a.firstColumn}),
                UNO_QUERY_THROW);
            m->merge(false);
        }
        for (const auto& a : added) {
            changing(s.doc);
            Reference<util::XMergeable> m(cellRange(s, a), UNO_QUERY_THROW);
            m->merge(true);
        }
        // Calc ignores a merge it does not like without saying so: check.
        for (const auto& a : added) region = spanning(region, a);
        std::vector<Area> now = mergedAreas(s, region);
        for (const auto& a : added) {
            if (std::find(now.begin(), now.end(), a) == now.end()) {
                fail(Cause::Other, "merge: Calc did not merge " + calc::printA1(a));
            }
        }
        for (const auto& a : removed) {
            const bool kept = std::find(added.begin(), added.end(), a) != added.end();
            if (!kept && std::find(now.begin(), now.end(), a) != now.end()) {
                fail(Cause::Other, "merge: Calc did not split " + calc::printA1(a));
            }
        }
    }

    // Whether the range holds nothing that a copy within Calc could change or duplicate,
    // and nothing of a cell's content beyond its plain value: no formula (references move),
    // note, text with formatting or fields of its own (rich text, hyperlinks), validation or
    // conditional format.
    static bool onlyPlainCells(const Reference<table::XCellRange>& range) {
        Reference<sheet::XCellRangesQuery> query(range, UNO_QUERY_THROW);
        if (query
                ->queryContentCells(sheet::CellFlags::FORMULA | sheet::CellFlags::ANNOTATION |
                                    sheet::CellFlags::EDITATTR | sheet::CellFlags::FORMATTED)
                ->getRangeAddresses()
                .hasElements()) {
            return false;
        }
        Reference<sheet::XUniqueCellFormatRangesSupplier> sup(range, UNO_QUERY_THROW);
        Reference<container::XIndexAccess> groups = sup->getUniqueCellFormatRanges();
        for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
            Reference<beans::XPropertySet> g(groups->getByIndex(i), UNO_QUERY_THROW);
            Reference<container::XIndexAccess> cond(g->getPropertyValue("ConditionalFormat"),
                                                    UNO_QUERY);
            if (cond.is() && cond->getCount() > 0) return false;
            Reference<beans::XPropertySet> valid(g->getPropertyValue("Validation"), UNO_QUERY);
            if (valid.is()) {
                sheet::ValidationType type = sheet::ValidationType_ANY;
                valid->getPropertyValue("Type") >>= type;
                if (type != sheet::ValidationType_ANY) return false;
            }
        }
        return true;
    }

    // The contents of a range of plain cells, enough to tell whether a copy kept them and to
    // put them back: the data array and the truly empty cells.
    struct Contents {
        uno::Sequence<uno::Sequence<uno::Any>> data;
        uno::Sequence<table::CellRangeAddress> empty;
        bool operator==(const Contents&) const = default;
    };

    static Contents contentsOf(const Reference<table::XCellRange>& range) {
        return {Reference<sheet::XCellRangeData>(range, UNO_QUERY_THROW)->getDataArray(),
                Reference<sheet::XCellRangesQuery>(range, UNO_QUERY_THROW)
                    ->queryEmptyCells()
                    ->getRangeAddresses()};
    }

    // Puts back the contents read by contentsOf; the range holds no merged area afterwards.
    void restoreContents(const Sheet& s, const Reference<table::XCellRange>& range,
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
    static constexpr std::size_t kBulkMinimum = 64;  // merged areas below which it never pays

    bool bulkMerges(Sheet& dst, const Area& target, std::vector<Area> wanted) {
        if (!options.bulkRoute || wanted.size() < kBulkMinimum) return false;
        Reference<table::XCellRange> range = cellRange(dst, target);
        if (!onlyPlainCells(range)) return false;
        const long rows = target.rows(), cols = target.columns();
        const Contents was = contentsOf(range);
        const auto& before = was.data;
        const auto& emptyBefore = was.empty;
        std::vector<char> empty(static_cast<std::size_t>(rows * cols), 0);
        for (const auto& rect : emptyBefore) {
            const Area e = fromCalc(rect);
            for (long r = e.firstRow; r <= e.lastRow; ++r) {
                for (long c = e.firstColumn; c <= e.lastColumn; ++c) {
                    empty[static_cast<std::size_t>((r - target.firstRow) * cols + c -
                                                   target.firstColumn)] = 1;
                }
            }
        }
        // By position in the target: the span of each merged area's top-left cell, and
        // which cells are covered.
        std::vector<const Area*> anchorAt(static_cast<std::size_t>(rows * cols), nullptr);
        std::vector<char> covered(static_cast<std::size_t>(rows * cols), 0);
        for (const auto& a : wanted) {
            anchorAt[static_cast<std::size_t>((a.firstRow - target.firstRow) * cols +
                                              a.firstColumn - target.firstColumn)] = &a;
            for (long r = a.firstRow; r <= a.lastRow; ++r) {
                for (long c = a.firstColumn; c <= a.lastColumn; ++c) {
                    if (r != a.firstRow || c != a.firstColumn) {
                        covered[static_cast<std::size_t>((r - target.firstRow) * cols + c -
                                                         target.firstColumn)] = 1;
                    }
                }
            }
        }
        // Calc reads a short, wide table much faster than a tall, narrow one (100,000 rows of
        // one column: 0.29 s as 20 bands of 5,000 rows side by side, 0.60 s as they are). The
        // target's rows are therefore laid out in bands side by side, no band edge cutting a
        // merged area, and each band is copied to its place.
        constexpr long kBandRows = 5000;
        constexpr long kPatternColumns = 1024;  // the columns of a Calc sheet
        std::vector<long> open(static_cast<std::size_t>(rows) + 1, 0);
        for (const auto& a : wanted) {
            ++open[static_cast<std::size_t>(a.firstRow - target.firstRow)];
            --open[static_cast<std::size_t>(a.lastRow - target.firstRow)];
        }
        for (std::size_t r = 1; r < open.size(); ++r) open[r] += open[r - 1];
        struct Band {
            long first, last;  // target rows, counted from 0
        };
        std::vector<Band> bands;
        const auto maxBands = static_cast<std::size_t>(std::max(1L, kPatternColumns / cols));
        for (long r0 = 0; r0 < rows;) {
            long r1 = bands.size() + 1 >= maxBands ? rows - 1 : std::min(rows, r0 + kBandRows) - 1;
            while (r1 < rows - 1 && open[static_cast<std::size_t>(r1)] > 0) ++r1;
            bands.push_back({r0, r1});
            r0 = r1 + 1;
        }
        long height = 0;
        for (const auto& b : bands) height = std::max(height, b.last - b.first + 1);

        std::string xml;
        xml.reserve(static_cast<std::size_t>(rows * cols) * 64 + 1024);
        xml +=
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
            "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\" "
            "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body>"
            "<office:spreadsheet><table:table table:name=\"gmpattern\">";
        char num[64];
        auto appendNumber = [&](auto value) {
            const auto end = std::to_chars(num, num + sizeof num, value).ptr;
            xml.append(num, end);
        };
        for (long p = 0; p < height; ++p) {
            xml += "<table:table-row>";
            for (const auto& band : bands) {
                const long r = band.first + p;
                if (r > band.last) {
                    xml += "<table:table-cell table:number-columns-repeated=\"";
                    appendNumber(cols);
                    xml += "\"/>";
                    continue;
                }
                const auto& line = before[static_cast<sal_Int32>(r)];
                for (long c = 0; c < cols; ++c) {
                    const std::size_t i = static_cast<std::size_t>(r * cols + c);
                    const bool isCovered = covered[i] != 0;
                    xml += isCovered ? "<table:covered-table-cell" : "<table:table-cell";
                    if (const Area* span = anchorAt[i]; span && !isCovered) {
                        xml += " table:number-rows-spanned=\"";
                        appendNumber(span->rows());
                        xml += "\" table:number-columns-spanned=\"";
                        appendNumber(span->columns());
                        xml += '"';
                    }
                    const uno::Any& v = line[static_cast<sal_Int32>(c)];
                    double d = 0;
                    OUString str;
                    if (empty[i]) {
                        xml += "/>";
                    } else if (v >>= d) {
                        // The shortest form that reads back as the same double.
                        xml += " office:value-type=\"float\" office:value=\"";
                        appendNumber(d);
                        xml += "\"/>";
                    } else if (v >>= str) {
                        const std::string t = fromU(str);
                        // The file format folds runs of blanks and has no plain line breaks.
                        if (t.empty() || t.front() == ' ' || t.back() == ' ' ||
                            t.find("  ") != std::string::npos ||
                            std::any_of(t.begin(), t.end(),
                                        [](char ch) { return ch >= 0 && ch < 0x20; })) {
                            return false;
                        }
                        xml += " office:value-type=\"string\"><text:p>";
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
                        xml += isCovered ? "</text:p></table:covered-table-cell>"
                                         : "</text:p></table:table-cell>";
                    } else {
                        return false;
                    }
                }
            }
            xml += "</table:table-row>";
        }
        xml += "</table:table></office:spreadsheet></office:body></office:document>\n";

        char path[] = "/tmp/gridmoor-pattern-XXXXXX.fods";
        const int fd = ::mkstemps(path, 5);
        if (fd < 0) return false;
        const ScopeExit removeFile([&path] { ::unlink(path); });
        const bool written =
            ::write(fd, xml.data(), xml.size()) == static_cast<ssize_t>(xml.size());
        ::close(fd);
        if (!written) return false;
        OUString url;
        if (osl::FileBase::getFileURLFromSystemPath(toU(path), url) != osl::FileBase::E_None)
            return false;

        uno::Sequence<beans::PropertyValue> load(2);
        load.getArray()[0].Name = "Hidden";
        load.getArray()[0].Value <<= true;
        load.getArray()[1].Name = "FilterName";
        load.getArray()[1].Value <<= OUString("OpenDocument Spreadsheet Flat XML");
        Reference<frame::XComponentLoader> loader(desktop, UNO_QUERY_THROW);
        Reference<sheet::XSpreadsheetDocument> pattern(
            loader->loadComponentFromURL(url, "_blank", 0, load), UNO_QUERY);
        const ScopeExit closePattern([doc = Reference<util::XCloseable>(pattern, UNO_QUERY)] {
            tryQuietly([&] {
                if (doc.is()) doc->close(true);
            });
        });
        if (!pattern.is()) return false;

        Reference<sheet::XSpreadsheets2> sheets2(dst.doc->getSheets(), UNO_QUERY_THROW);
        Reference<container::XIndexAccess> indexed(dst.doc->getSheets(), UNO_QUERY_THROW);
        const sal_Int32 tab = sheets2->importSheet(pattern, "gmpattern", indexed->getCount());
        Reference<container::XNamed> imported(indexed->getByIndex(tab), UNO_QUERY_THROW);
        const ScopeExit dropImported([sheets = dst.doc->getSheets(), name = imported->getName()] {
            tryQuietly([&] { sheets->removeByName(name); });
        });

        const sal_Int16 dstTab = sheetIndex(dst);
        Reference<util::XMergeable>(range, UNO_QUERY_THROW)->merge(false);
        Reference<sheet::XCellRangeMovement> move(dst.sheet, UNO_QUERY_THROW);
        for (std::size_t j = 0; j < bands.size(); ++j) {
            const auto column = static_cast<long>(j) * cols;
            changing(dst.doc);
            move->copyRange(
                table::CellAddress{dstTab, static_cast<sal_Int32>(target.firstColumn - 1),
                                   static_cast<sal_Int32>(target.firstRow - 1 + bands[j].first)},
                table::CellRangeAddress{static_cast<sal_Int16>(tab), static_cast<sal_Int32>(column),
                                        0, static_cast<sal_Int32>(column + cols - 1),
                                        static_cast<sal_Int32>(bands[j].last - bands[j].first)});
        }

        // Read back: every value and every merged area as wanted.
        bool same = contentsOf(range) == was;
        if (same) {
            Area region = target;
            std::vector<Area> now = mergedAreas(dst, region);
            auto order = [](const Area& x, const Area& y) {
                return std::tie(x.firstRow, x.firstColumn, x.lastRow, x.lastColumn) <
                       std::tie(y.firstRow, y.firstColumn, y.lastRow, y.lastColumn);
            };
            std::sort(now.begin(), now.end(), order);
            std::sort(wanted.begin(), wanted.end(), order);
            same = now == wanted && !options.failBulkReadBack;
        }
        if (!same) {
            // Put every value back as it was; the caller then merges area by area.
            restoreContents(dst, range, was);
            return false;
        }
        return true;
    }

    // The merged areas the sheet has once its pending merges apply, within `region` (grown
    // as mergedAreas grows it).
    MergeSet projectedMerges(Sheet& s, Area& region) {
        std::vector<Area> mine;
        if (auto p = pendingFor(s.identity)) mine = pending[*p].merges;
        for (const auto& m : mine) region = spanning(region, m);
        MergeSet set(mergedAreas(s, region));
        for (const auto& m : mine) set.merge(m);
        return set;
    }

    // Sends the sheet's pending merges (those of a deleted sheet went with it).
    void flushMerges(std::uint32_t sheetIdx) {
        Sheet& s = sheets[sheetIdx];
        auto p = pendingFor(s.identity);
        if (!p) return;
        const std::vector<Area> mine = std::move(pending[*p].merges);
        pending.erase(pending.begin() + *p);
        if (!entryOf(s).deleted) sendMerges(s, mine, true);
    }

    // Keeps `merges` pending on the sheet, after those already pending there.
    void deferMerges(std::uint32_t sheetIdx, std::vector<Area> merges) {
        auto p = pendingFor(sheets[sheetIdx].identity);
        if (!p) {
            pending.push_back({sheetIdx, {}});
            p = static_cast<std::uint32_t>(pending.size() - 1);
        }
        auto& mine = pending[*p].merges;
        mine.insert(mine.end(), merges.begin(), merges.end());
    }

    void flushAllMerges() {
        while (!pending.empty()) flushMerges(pending.front().sheet);
    }

    // Merges over `mine`, in order, with the object model's effect (each takes in the merged
    // areas it meets), sent as the difference to what the sheet has: one call per changed
    // area, or with `viaBulk` and many new areas the bulk route where it accepts the cells.
    void sendMerges(Sheet& s, const std::vector<Area>& mine, bool viaBulk) {
        if (mine.empty()) return;
        Area region = mine.front();
        for (const auto& m : mine) region = spanning(region, m);
        MergeSet set(mergedAreas(s, region));
        for (const auto& m : mine) set.merge(m);
        const auto d = set.diff();
        if (viaBulk && options.bulkRoute && d.added.size() >= kBulkMinimum &&
            mergeInBulk(s, region, set.current())) {
            ++bulkMergeCalls;
            return;
        }
        applyMerges(s, d.removed, d.added, region);
    }

    // The bulk route over `region`, whose merged areas are to be `wanted`. The cells keep
    // their formatting, which the route's pattern overlays, also when its read-back differs
    // and it returns false with the values put back. Declines at once where a merged area
    // crosses the region's edge, as splitting the region would cut it.
    bool mergeInBulk(Sheet& s, const Area& region, std::vector<Area> wanted) {
        if (grownOverMergedAreas(s, region) != region) return false;
        const std::vector<FormatGroup> formats = formatGroups(s, region);
        // Opens the run's undo group before the route's first change (the pattern sheet).
        changing(s.doc);
        const bool merged = bulkMerges(s, region, std::move(wanted));
        applyFormats(formats, region, s, region);
        return merged;
    }

    // ---------------------------------------------------------------- formats
    // Each group of equally formatted cells of an area, with its formatting.
    struct FormatGroup {
        uno::Any style;
        uno::Sequence<uno::Any> values;  // formatNames, in order
        uno::Sequence<table::CellRangeAddress> rects;
    };

    // Every formatting property of a cell that a format paste carries: all that Calc reports
    // as writable plain data (font, Asian and complex-script font, borders, alignment,
    // protection, number format, ...), less kNotCarried. Learnt once from the first group
    // of cells asked, as every group offers the same properties.
    uno::Sequence<OUString> formatNames;

    const uno::Sequence<OUString>& formatPropertyNames(const Reference<beans::XPropertySet>& g) {
        if (formatNames.hasElements()) return formatNames;
        std::vector<OUString> names;
        for (const beans::Property& p : g->getPropertySetInfo()->getProperties()) {
            if (p.Attributes & beans::PropertyAttribute::READONLY) continue;
            if (p.Type.getTypeClass() == uno::TypeClass_INTERFACE) continue;
            const bool excluded = std::any_of(std::begin(kNotCarried), std::end(kNotCarried),
                                              [&](const char* n) { return p.Name.equalsAscii(n); });
            if (!excluded) names.push_back(p.Name);
        }
        formatNames = uno::Sequence<OUString>(names.data(), static_cast<sal_Int32>(names.size()));
        return formatNames;
    }

    std::vector<FormatGroup> formatGroups(const Sheet& s, const Area& a) {
        Reference<sheet::XUniqueCellFormatRangesSupplier> sup(cellRange(s, a), UNO_QUERY_THROW);
        Reference<container::XIndexAccess> groups = sup->getUniqueCellFormatRanges();
        std::vector<FormatGroup> out;
        for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
            Reference<sheet::XSheetCellRanges> g(groups->getByIndex(i), UNO_QUERY_THROW);
            Reference<beans::XPropertySet> gp(g, UNO_QUERY_THROW);
            Reference<beans::XMultiPropertySet> gm(g, UNO_QUERY_THROW);
            out.push_back({gp->getPropertyValue("CellStyle"),
                           gm->getPropertyValues(formatPropertyNames(gp)), g->getRangeAddresses()});
        }
        return out;
    }

    // Gives the cells of `target` the formatting of the same-sized area `from` of `src`.
    void pasteFormats(const Sheet& src, const Area& from, const Sheet& dst, const Area& target) {
        applyFormats(formatGroups(src, from), from, dst, target);
    }

    // Gives the cells of `target` the formatting `groups` read from the same-sized area
    // `from`, one group of equally formatted cells at a time, and checks that Calc took it.
    // Only what differs is sent: a group whose every cell already has its formatting is left
    // alone, and of the others only the properties that differ go (setting formats on cells
    // that hold many merged areas costs Calc time that grows faster than the number of cells).
    void applyFormats(const std::vector<FormatGroup>& groups, const Area& from, const Sheet& dst,
                      const Area& target) {
        const std::vector<FormatChange> changes = formatsDiffering(groups, from, dst, target);
        if (changes.empty()) return;
        Reference<lang::XMultiServiceFactory> factory(dst.doc, UNO_QUERY_THROW);
        const sal_Int16 dstSheet = sheetIndex(dst);
        const long dr = target.firstRow - from.firstRow, dc = target.firstColumn - from.firstColumn;
        for (const FormatChange& change : changes) {
            const FormatGroup& group = groups[change.group];
            uno::Sequence<table::CellRangeAddress> moved = group.rects;
            for (sal_Int32 k = 0; k < moved.getLength(); ++k) {
                auto& a = moved.getArray()[k];
                a.Sheet = dstSheet;
                a.StartRow += static_cast<sal_Int32>(dr);
                a.EndRow += static_cast<sal_Int32>(dr);
                a.StartColumn += static_cast<sal_Int32>(dc);
                a.EndColumn += static_cast<sal_Int32>(dc);
            }
            Reference<sheet::XSheetCellRangeContainer> targetRanges(
                factory->createInstance("com.sun.star.sheet.SheetCellRanges"), UNO_QUERY_THROW);
            targetRanges->addRangeAddresses(moved, false);
            if (change.style) {
                changing(dst.doc);
                Reference<beans::XPropertySet>(targetRanges, UNO_QUERY_THROW)
                    ->setPropertyValue("CellStyle", group.style);
            }
            std::vector<OUString> setNames;
            std::vector<uno::Any> setValues;
            for (const sal_Int32 k : change.properties) {
                setNames.push_back(formatNames[k]);
                setValues.push_back(group.values[k]);
            }
            if (setNames.empty()) continue;
            changing(dst.doc);
            Reference<beans::XMultiPropertySet>(targetRanges, UNO_QUERY_THROW)
                ->setPropertyValues(
                    uno::Sequence<OUString>(setNames.data(),
                                            static_cast<sal_Int32>(setNames.size())),
                    uno::Sequence<uno::Any>(setValues.data(),
                                            static_cast<sal_Int32>(setValues.size())));
        }
        if (!formatsDiffering(groups, from, dst, target).empty())
            fail(Cause::Other, "format paste: Calc did not take every format");
    }

    // What a group of `groups` (read from `from`) needs so that every one of its cells in
    // `target` has its formatting: its style, when some cell's differs (setting a style
    // resets what was set by hand, so every property then goes again), and the properties
    // that differ. Properties the group has no value for are never sent (a void value).
    struct FormatChange {
        std::size_t group;
        bool style = false;
        std::vector<sal_Int32> properties;  // indices into formatNames
    };

    std::vector<FormatChange> formatsDiffering(const std::vector<FormatGroup>& groups,
                                               const Area& from, const Sheet& dst,
                                               const Area& target) {
        const std::vector<FormatGroup> now = formatGroups(dst, target);
        const long cols = target.columns();
        const long dr = target.firstRow - from.firstRow, dc = target.firstColumn - from.firstColumn;
        // Which target group each target cell is in (-1: none).
        std::vector<int> nowAt(static_cast<std::size_t>(target.cells()), -1);
        for (std::size_t h = 0; h < now.size(); ++h) {
            for (const auto& rect : now[h].rects) {
                const Area r = fromCalc(rect);
                for (long row = r.firstRow; row <= r.lastRow; ++row) {
                    for (long col = r.firstColumn; col <= r.lastColumn; ++col) {
                        nowAt[static_cast<std::size_t>((row - target.firstRow) * cols + col -
                                                       target.firstColumn)] = static_cast<int>(h);
                    }
                }
            }
        }
        std::vector<FormatChange> out;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const FormatGroup& x = groups[g];
            // The target groups the source group's cells are in now; -1 for a cell in none.
            std::vector<char> met(now.size() + 1, 0);
            for (const auto& rect : x.rects) {
                const Area r = fromCalc(rect);
                for (long row = r.firstRow; row <= r.lastRow; ++row) {
                    for (long col = r.firstColumn; col <= r.lastColumn; ++col) {
                        const int h = nowAt[static_cast<std::size_t>(
                            (row + dr - target.firstRow) * cols + col + dc - target.firstColumn)];
                        met[static_cast<std::size_t>(h + 1)] = 1;
                    }
                }
            }
            FormatChange change{g, met[0] != 0, {}};
            for (std::size_t h = 0; h < now.size() && !change.style; ++h)
                change.style = met[h + 1] && now[h].style != x.style;
            for (sal_Int32 k = 0; k < x.values.getLength(); ++k) {
                if (!x.values[k].hasValue()) continue;
                bool differs = change.style;
                for (std::size_t h = 0; h < now.size() && !differs; ++h)
                    differs = met[h + 1] && x.values[k] != now[h].values[k];
                if (differs) change.properties.push_back(k);
            }
            if (change.style || !change.properties.empty()) out.push_back(std::move(change));
        }
        return out;
    }

    // ---------------------------------------------------------------- values
    struct Read {
        std::vector<CellValue> values;
        std::vector<Typing> typing;
        std::vector<char> formula;
        bool hasFormulas = false;
    };

    // Reads the values of an area in a few calls: the data array, the truly empty cells,
    // the formula cells and the number format of each group of equally formatted cells.
    Read readArea(const Sheet& s, const Area& a) {
        Read out;
        const long rows = a.rows(), cols = a.columns();
        const auto n = static_cast<std::size_t>(rows * cols);
        out.values.resize(n);
        out.typing.assign(n, Typing::Plain);
        out.formula.assign(n, 0);
        auto at = [&](long row, long col) {
            return static_cast<std::size_t>((row - a.firstRow) * cols + (col - a.firstColumn));
        };
        Reference<table::XCellRange> range = cellRange(s, a);
        Reference<sheet::XCellRangeData> data(range, UNO_QUERY_THROW);
        const uno::Sequence<uno::Sequence<uno::Any>> rowsData = data->getDataArray();
        std::vector<char> empty(n, 0);
        Reference<sheet::XCellRangesQuery> query(range, UNO_QUERY_THROW);
        for (const auto& rect : query->queryEmptyCells()->getRangeAddresses()) {
            const Area e = fromCalc(rect);
            for (long r = e.firstRow; r <= e.lastRow; ++r) {
                for (long c = e.firstColumn; c <= e.lastColumn; ++c) empty[at(r, c)] = 1;
            }
        }
        for (const auto& rect :
             query->queryContentCells(sheet::CellFlags::FORMULA)->getRangeAddresses()) {
            const Area f = fromCalc(rect);
            for (long r = f.firstRow; r <= f.lastRow; ++r) {
                for (long c = f.firstColumn; c <= f.lastColumn; ++c) out.formula[at(r, c)] = 1;
            }
            out.hasFormulas = true;
        }
        DocState& d = docState(s.doc);
        Reference<sheet::XUniqueCellFormatRangesSupplier> sup(range, UNO_QUERY_THROW);
        Reference<container::XIndexAccess> groups = sup->getUniqueCellFormatRanges();
        for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
            Reference<sheet::XSheetCellRanges> g(groups->getByIndex(i), UNO_QUERY_THROW);
            Reference<beans::XPropertySet> gp(g, UNO_QUERY_THROW);
            sal_Int32 key = 0;
            if (!(gp->getPropertyValue("NumberFormat") >>= key)) continue;
            const Typing t = typingOfKey(d, key);
            if (t == Typing::Plain) continue;
            for (const auto& rect : g->getRangeAddresses()) {
                const Area f = fromCalc(rect);
                for (long r = f.firstRow; r <= f.lastRow; ++r) {
                    for (long c = f.firstColumn; c <= f.lastColumn; ++c) out.typing[at(r, c)] = t;
                }
            }
        }
        const long offsetDays = nullDateOffset(d);
        for (long r = 0; r < rows && r < rowsData.getLength(); ++r) {
            const auto& row = rowsData[static_cast<sal_Int32>(r)];
            for (long c = 0; c < cols && c < row.getLength(); ++c) {
                const std::size_t i = static_cast<std::size_t>(r * cols + c);
                if (empty[i]) continue;
                const uno::Any& v = row[static_cast<sal_Int32>(c)];
                double num = 0;
                OUString str;
                if (v >>= num) {
                    out.values[i] = numberAs(num, out.typing[i], offsetDays);
                } else if (v >>= str) {
                    out.values[i] = CellValue::text(fromU(str));
                } else {
                    Reference<table::XCell> cell =
                        s.sheet->getCellByPosition(static_cast<sal_Int32>(a.firstColumn - 1 + c),
                                                   static_cast<sal_Int32>(a.firstRow - 1 + r));
                    out.values[i] = CellValue::error(objectModelError(cell->getError()));
                }
            }
        }
        return out;
    }

    static CellValue numberAs(double num, Typing t, long offsetDays) {
        switch (t) {
            case Typing::Date:
                return CellValue::date(num + static_cast<double>(offsetDays));
            case Typing::Boolean:
                return CellValue::boolean(num != 0);
            case Typing::Currency:
                return CellValue::currency(std::llround(num * 10000.0));
            case Typing::Plain:
                break;
        }
        return CellValue::floating(num);
    }

    // What Calc is sent for a value: a number in Calc's terms or a text; never void.
    uno::Any calcDatum(DocState& d, const CellValue& v) {
        if (v.isText()) return uno::Any(toU(v.text()));
        double num = v.number();
        if (v.numberKind() == NumberKind::Date) num -= static_cast<double>(nullDateOffset(d));
        if (v.numberKind() == NumberKind::Boolean) num = num != 0 ? 1.0 : 0.0;
        return uno::Any(num);
    }

    // Writes one value into every cell of an area, immediately.
    // `setFormat`: give the area the standard format of a date, boolean or currency value.
    void writeArea(const Sheet& s, const Area& a, const CellValue& v, bool setFormat) {
        DocState& d = docState(s.doc);
        changing(s.doc);
        Reference<table::XCellRange> range = cellRange(s, a);
        const bool clears = v.isEmpty() || (v.isText() && v.text().empty());
        if (clears) {
            Reference<sheet::XSheetOperation> op(range, UNO_QUERY_THROW);
            op->clearContents(sheet::CellFlags::VALUE | sheet::CellFlags::DATETIME |
                              sheet::CellFlags::STRING | sheet::CellFlags::FORMULA);
            return;
        }
        if (v.isError()) {
            for (long r = a.firstRow; r <= a.lastRow; ++r) {
                for (long c = a.firstColumn; c <= a.lastColumn; ++c) {
                    changing(s.doc);
                    s.sheet
                        ->getCellByPosition(static_cast<sal_Int32>(c - 1),
                                            static_cast<sal_Int32>(r - 1))
                        ->setFormula(errorFormula(v.errorCode()));
                }
            }
            return;
        }
        const uno::Any datum = calcDatum(d, v);
        if (a.cells() == 1) {
            Reference<table::XCell> cell = s.sheet->getCellByPosition(
                static_cast<sal_Int32>(a.firstColumn - 1), static_cast<sal_Int32>(a.firstRow - 1));
            if (v.isText()) {
                Reference<com::sun::star::text::XTextRange>(cell, UNO_QUERY_THROW)
                    ->setString(toU(v.text()));
            } else {
                double num = 0;
                datum >>= num;
                cell->setValue(num);
            }
        } else {
            uno::Sequence<uno::Any> row(static_cast<sal_Int32>(a.columns()));
            std::fill(row.getArray(), row.getArray() + row.getLength(), datum);
            uno::Sequence<uno::Sequence<uno::Any>> all(static_cast<sal_Int32>(a.rows()));
            std::fill(all.getArray(), all.getArray() + all.getLength(), row);
            Reference<sheet::XCellRangeData>(range, UNO_QUERY_THROW)->setDataArray(all);
        }
        // A date, boolean or currency keeps its kind through the cell's number format.
        const Typing want = typingFor(v);
        if (want != Typing::Plain && setFormat) {
            changing(s.doc);
            Reference<beans::XPropertySet>(range, UNO_QUERY_THROW)
                ->setPropertyValue("NumberFormat", uno::Any(standardFormat(d, want)));
        }
    }

    static Area checkedArea(const A1Area& a, const char* what) {
        if (!a.valid())
            throw HostError(Cause::BadArgument, std::string(what) + ": the area leaves the sheet");
        return calc::fromA1(a);
    }

    // Forgets every object handed out in a run and every merge still pending (flush sends
    // those first); the connection stays.
    void forgetRun() noexcept {
        books.clear();
        sheets.clear();
        ranges.clear();
        freeRanges.clear();
        sheetEnums.clear();
        cellEnums.clear();
        docs.clear();
        pending.clear();
        clipboard.reset();
        protectedSheets.clear();
        sheetEntries.clear();
        userEditing.reset();
    }
};

// ======================================================================== CalcHost

CalcHost::CalcHost() : CalcHost(Options{}) {}
CalcHost::CalcHost(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}
CalcHost::~CalcHost() = default;

long CalcHost::bulkPastes() const noexcept {
    return impl_->bulkPastes;
}

long CalcHost::bulkMergeCalls() const noexcept {
    return impl_->bulkMergeCalls;
}

void CalcHost::beginRun() {
    Impl& m = *impl_;
    m.inRun = true;
    m.forgetRun();
}

void CalcHost::flush() {
    Impl& m = *impl_;
    m.guarded(
        "flush",
        [&] {
            m.flushAllMerges();
            for (auto& d : m.docs) Impl::closeUndoGroup(d);
        },
        false);
}

void CalcHost::release(RangeHandle h) noexcept {
    Impl& m = *impl_;
    if (!h || h.id > m.ranges.size() || m.ranges[h.id - 1].released) return;
    Impl::RangeObj& r = m.ranges[h.id - 1];
    r.released = true;
    r.more = {};
    m.freeRanges.push_back(h.id);
}

// Merges still pending here were never flushed: the run ended by a failure, and none of
// them is sent. Locks and undo groups are released whatever happened.
void CalcHost::endRun(RunEnd) noexcept {
    Impl& m = *impl_;
    for (auto& d : m.docs) {
        try {
            Reference<frame::XModel> model(d.doc, UNO_QUERY);
            if (d.lockedForUser && model.is()) model->unlockControllers();
        } catch (...) {
        }
        try {
            Impl::closeUndoGroup(d);
        } catch (...) {
        }
    }
    m.forgetRun();
    m.inRun = false;
}

std::optional<AppHandle> CalcHost::attach(std::string_view className) {
    Impl& m = *impl_;
    if (className != kApplicationClass) return std::nullopt;
    try {
        return m.guarded(
            "attach", [&] { return m.attach(); }, false);
    } catch (const HostError& e) {
        // Calc quitting while we looked is the same as Calc not running.
        if (e.cause() == Cause::Gone) return std::nullopt;
        throw;
    }
}

WorkbookHandle CalcHost::Activeworkbook(AppHandle app) {
    Impl& m = *impl_;
    return m.guarded("ActiveWorkbook", [&] {
        m.checkApp(app);
        m.books.push_back({m.activeDocument()});
        return WorkbookHandle{static_cast<std::uint32_t>(m.books.size())};
    });
}

SheetEnumHandle CalcHost::worksheets(AppHandle app) {
    Impl& m = *impl_;
    return m.guarded("Worksheets", [&] {
        m.checkApp(app);
        auto doc = m.activeDocument();
        Reference<container::XIndexAccess> all(doc->getSheets(), UNO_QUERY_THROW);
        Impl::SheetEnum e;
        for (sal_Int32 i = 0; i < all->getCount(); ++i) {
            Reference<sheet::XSpreadsheet> s(all->getByIndex(i), UNO_QUERY_THROW);
            e.sheets.push_back(m.addSheet(doc, s).id - 1);
        }
        m.sheetEnums.push_back(std::move(e));
        return SheetEnumHandle{static_cast<std::uint32_t>(m.sheetEnums.size())};
    });
}

std::optional<SheetHandle> CalcHost::nextWorksheet(SheetEnumHandle h) {
    Impl& m = *impl_;
    auto& e = m.lookup(m.sheetEnums, h, "worksheet enumeration");
    if (e.next >= e.sheets.size()) return std::nullopt;
    return SheetHandle{e.sheets[e.next++] + 1};
}

SheetHandle CalcHost::Sheets(AppHandle app, std::string_view name) {
    Impl& m = *impl_;
    return m.guarded("Sheets", [&] {
        m.checkApp(app);
        auto doc = m.activeDocument();
        Reference<container::XIndexAccess> all(doc->getSheets(), UNO_QUERY_THROW);
        const OUString wanted = toU(name);
        for (sal_Int32 i = 0; i < all->getCount(); ++i) {
            Reference<sheet::XSpreadsheet> s(all->getByIndex(i), UNO_QUERY_THROW);
            Reference<container::XNamed> named(s, UNO_QUERY_THROW);
            if (named->getName().equalsIgnoreAsciiCase(wanted)) return m.addSheet(doc, s);
        }
        m.fail(Cause::NotFound, "Sheets: no sheet named '" + std::string(name) + "'");
    });
}

SheetHandle CalcHost::Sheets(AppHandle app, long position) {
    Impl& m = *impl_;
    return m.guarded("Sheets", [&] {
        m.checkApp(app);
        auto doc = m.activeDocument();
        Reference<container::XIndexAccess> all(doc->getSheets(), UNO_QUERY_THROW);
        if (position < 1 || position > all->getCount()) {
            m.fail(Cause::NotFound, "Sheets: no sheet at position " + std::to_string(position));
        }
        Reference<sheet::XSpreadsheet> s(all->getByIndex(static_cast<sal_Int32>(position - 1)),
                                         UNO_QUERY_THROW);
        return m.addSheet(doc, s);
    });
}

long CalcHost::SheetsCount(AppHandle app) {
    Impl& m = *impl_;
    return m.guarded("Sheets.Count", [&] {
        m.checkApp(app);
        Reference<container::XIndexAccess> all(m.activeDocument()->getSheets(), UNO_QUERY_THROW);
        return static_cast<long>(all->getCount());
    });
}

SheetHandle CalcHost::SheetsAdd(AppHandle app, After after) {
    Impl& m = *impl_;
    return m.guarded("Sheets.Add", [&] {
        m.checkApp(app);
        auto& base = m.sheetOf(after.sheet);
        m.refuseIfStructureProtected(base.doc, "Sheets.Add");
        Reference<sheet::XSpreadsheets> all = base.doc->getSheets();
        Reference<container::XIndexAccess> indexed(all, UNO_QUERY_THROW);
        // The object model's next free "SheetN".
        OUString name;
        for (long n = indexed->getCount() + 1;; ++n) {
            name = "Sheet" + OUString::number(n);
            bool taken = false;
            for (const auto& existing : all->getElementNames()) {
                if (existing.equalsIgnoreAsciiCase(name)) taken = true;
            }
            if (!taken) break;
        }
        m.changing(base.doc);
        all->insertNewByName(name, static_cast<sal_Int16>(m.sheetIndex(base) + 1));
        Reference<sheet::XSpreadsheet> fresh(all->getByName(name), UNO_QUERY_THROW);
        // The new sheet becomes the active one, as in the object model.
        Reference<frame::XModel> model(base.doc, UNO_QUERY_THROW);
        Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
        if (view.is()) view->setActiveSheet(fresh);
        return m.addSheet(base.doc, fresh);
    });
}

void CalcHost::DisplayAlerts(AppHandle app, bool) {
    // Calls through the API never prompt, so there is nothing to switch.
    Impl& m = *impl_;
    m.checkApp(app);
}

void CalcHost::ScreenUpdating(AppHandle app, bool on) {
    Impl& m = *impl_;
    m.guarded("ScreenUpdating", [&] {
        m.checkApp(app);
        auto doc = m.activeDocument();
        auto& d = m.docState(doc);
        Reference<frame::XModel> model(doc, UNO_QUERY_THROW);
        if (!on && !d.lockedForUser) {
            model->lockControllers();
            d.lockedForUser = true;
        } else if (on && d.lockedForUser) {
            model->unlockControllers();
            d.lockedForUser = false;
        }
    });
}

void CalcHost::Calculation(AppHandle app, std::int16_t mode) {
    Impl& m = *impl_;
    m.guarded("Calculation", [&] {
        m.checkApp(app);
        if (mode != xlCalculationAutomatic && mode != xlCalculationManual &&
            mode != xlCalculationSemiautomatic) {
            m.fail(Cause::BadArgument,
                   "Calculation: " + std::to_string(mode) + " is no calculation mode");
        }
        Reference<sheet::XCalculatable> calc(m.activeDocument(), UNO_QUERY_THROW);
        // Calc has no semiautomatic mode (automatic except data tables): automatic is closest.
        calc->enableAutomaticCalculation(mode != xlCalculationManual);
    });
}

std::string CalcHost::Name(WorkbookHandle book) {
    Impl& m = *impl_;
    return m.guarded("Workbook.Name", [&] {
        auto& b = m.lookup(m.books, book, "workbook");
        Reference<frame::XModel> model(b.doc, UNO_QUERY_THROW);
        const OUString url = model->getURL();
        if (!url.isEmpty()) {
            const sal_Int32 slash = url.lastIndexOf('/');
            const OUString last = url.copy(slash + 1);
            return fromU(rtl::Uri::decode(last, rtl_UriDecodeWithCharset, RTL_TEXTENCODING_UTF8));
        }
        Reference<frame::XTitle> title(b.doc, UNO_QUERY_THROW);
        return fromU(title->getTitle());
    });
}

SheetHandle CalcHost::ActiveSheet(WorkbookHandle book) {
    Impl& m = *impl_;
    return m.guarded("ActiveSheet", [&] {
        auto& b = m.lookup(m.books, book, "workbook");
        Reference<frame::XModel> model(b.doc, UNO_QUERY_THROW);
        Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
        if (!view.is()) m.fail(Cause::NotFound, "ActiveSheet: the workbook has no window");
        auto doc = b.doc;
        return m.addSheet(doc, view->getActiveSheet());
    });
}

std::string CalcHost::Name(SheetHandle h) {
    Impl& m = *impl_;
    return m.guarded("Worksheet.Name", [&] {
        auto& s = m.sheetOf(h);
        return fromU(Reference<container::XNamed>(s.sheet, UNO_QUERY_THROW)->getName());
    });
}

void CalcHost::setName(SheetHandle h, std::string_view name) {
    Impl& m = *impl_;
    m.guarded("Worksheet.Name", [&] {
        auto& s = m.sheetOf(h);
        const OUString wanted = toU(name);
        if (wanted.isEmpty() || wanted.getLength() > 31) {
            m.fail(Cause::BadArgument, "Name: a sheet name has 1 to 31 characters");
        }
        for (const sal_Unicode c : {u'[', u']', u':', u'*', u'?', u'/', u'\\'}) {
            if (wanted.indexOf(c) >= 0) m.fail(Cause::BadArgument, "Name: the name holds []:*?/\\");
        }
        if (wanted[0] == '\'' || wanted[wanted.getLength() - 1] == '\'') {
            m.fail(Cause::BadArgument, "Name: a sheet name cannot begin or end with an apostrophe");
        }
        Reference<container::XNamed> named(s.sheet, UNO_QUERY_THROW);
        const OUString current = named->getName();
        for (const auto& other : s.doc->getSheets()->getElementNames()) {
            if (other != current && other.equalsIgnoreAsciiCase(wanted)) {
                m.fail(Cause::BadArgument, "Name: another sheet has the name already");
            }
        }
        m.refuseIfStructureProtected(s.doc, "Name");
        if (current == wanted) return;
        m.changing(s.doc);
        named->setName(wanted);
        Impl::entryOf(s).name = named->getName();
        // Calc ignores a name it does not accept without saying so.
        if (named->getName() != wanted) m.fail(Cause::BadArgument, "Name: Calc refused the name");
    });
}

void CalcHost::Delete(SheetHandle h) {
    Impl& m = *impl_;
    m.guarded("Worksheet.Delete", [&] {
        auto& s = m.sheetOf(h);
        m.refuseIfStructureProtected(s.doc, "Delete");
        Reference<container::XIndexAccess> all(s.doc->getSheets(), UNO_QUERY_THROW);
        if (all->getCount() <= 1)
            m.fail(Cause::Other, "Delete: a workbook keeps at least one sheet");
        const OUString name = Reference<container::XNamed>(s.sheet, UNO_QUERY_THROW)->getName();
        m.changing(s.doc);
        s.doc->getSheets()->removeByName(name);
        Impl::entryOf(s).deleted = true;
        // Merges pending on the sheet go with it; so does a copy of its cells.
        if (auto p = m.pendingFor(s.identity)) m.pending.erase(m.pending.begin() + *p);
        if (m.clipboard && m.sheets[m.clipboard->first].identity == s.identity) m.clipboard.reset();
    });
}

void CalcHost::Select(SheetHandle h) {
    Impl& m = *impl_;
    m.guarded("Worksheet.Select", [&] {
        auto& s = m.sheetOf(h);
        Reference<frame::XModel> model(s.doc, UNO_QUERY_THROW);
        Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
        if (!view.is()) m.fail(Cause::Other, "Select: the workbook has no window");
        view->setActiveSheet(s.sheet);
    });
}

RangeHandle CalcHost::Range(SheetHandle h, std::string_view text) {
    Impl& m = *impl_;
    // A qualifier may name this very sheet; its name is the one this run knows it by.
    const std::string sheetName = fromU(Impl::entryOf(m.sheetOf(h)).name);
    std::string why;
    const auto parsed = A1Address::parse(text, sheetName, &why);
    if (!parsed) m.fail(Cause::BadArgument, "Range: " + why);
    std::vector<Area> areas;
    for (const auto& a : parsed->areas()) areas.push_back(calc::fromA1(a));
    return m.addRange(h.id - 1, std::move(areas));
}

RangeHandle CalcHost::Range(SheetHandle h, RangeHandle first, RangeHandle second) {
    Impl& m = *impl_;
    m.sheetOf(h);
    const auto a = m.rangeOf(first, "range");
    const auto b = m.rangeOf(second, "range");
    if (m.sheets[a.sheet].identity != m.sheets[h.id - 1].identity ||
        m.sheets[b.sheet].identity != m.sheets[h.id - 1].identity) {
        m.fail(Cause::BadArgument, "Range: both cells must be on this sheet");
    }
    return m.addRange(h.id - 1, {spanning(a.first, b.first)});
}

RangeHandle CalcHost::Cells(SheetHandle h, long row, long column) {
    Impl& m = *impl_;
    m.sheetOf(h);
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
        m.fail(Cause::BadArgument, "Cells: (" + std::to_string(row) + ", " +
                                       std::to_string(column) + ") is outside the sheet");
    }
    return m.addRange(h.id - 1, {{row, column, row, column}});
}

std::string CalcHost::address(RangeHandle h) {
    Impl& m = *impl_;
    return calc::printA1(m.areasOf(m.rangeOf(h, "range")));
}

long CalcHost::RowsCount(RangeHandle h) {
    Impl& m = *impl_;
    return m.rangeOf(h, "range").first.rows();
}

long CalcHost::ColumnsCount(RangeHandle h) {
    Impl& m = *impl_;
    return m.rangeOf(h, "range").first.columns();
}

RangeHandle CalcHost::offset(RangeHandle h, std::optional<long> rowOffset, long columnOffset) {
    Impl& m = *impl_;
    const auto r = m.rangeOf(h, "range");
    const long dr = rowOffset.value_or(0);
    std::vector<Area> moved;
    for (auto a : m.areasOf(r)) {
        a.firstRow += dr;
        a.lastRow += dr;
        a.firstColumn += columnOffset;
        a.lastColumn += columnOffset;
        if (a.firstRow < 1 || a.lastRow > kMaxRows || a.firstColumn < 1 ||
            a.lastColumn > kMaxColumns) {
            m.fail(Cause::BadArgument, "Offset: the range would leave the sheet");
        }
        moved.push_back(a);
    }
    return m.addRange(r.sheet, std::move(moved));
}

void CalcHost::Copy(RangeHandle h) {
    Impl& m = *impl_;
    const auto r = m.rangeOf(h, "range");
    if (!r.more.empty()) m.fail(Cause::BadArgument, "Copy: not possible on several areas");
    // The user's clipboard is left alone: the copy is a reference to the block, taken up by
    // PasteSpecial in this run.
    m.clipboard = std::pair{r.sheet, r.first};
}

void CalcHost::Copy(RangeHandle h, Destination destination) {
    Impl& m = *impl_;
    m.guarded("Copy", [&] {
        const auto r = m.rangeOf(h, "range");
        const auto d = m.rangeOf(destination.range, "destination");
        if (!r.more.empty()) m.fail(Cause::BadArgument, "Copy: not possible on several areas");
        auto& src = m.liveSheet(r.sheet);
        auto& dst = m.liveSheet(d.sheet);
        if (Reference<uno::XInterface>(src.doc, UNO_QUERY) !=
            Reference<uno::XInterface>(dst.doc, UNO_QUERY)) {
            m.fail(Cause::Other, "Copy: copying between workbooks is not supported");
        }
        const Area target{d.first.firstRow, d.first.firstColumn,
                          d.first.firstRow + r.first.rows() - 1,
                          d.first.firstColumn + r.first.columns() - 1};
        if (target.lastRow > kMaxRows || target.lastColumn > kMaxColumns) {
            m.fail(Cause::BadArgument, "Copy: the copy would leave the sheet");
        }
        m.refuseIfSheetProtected(dst, "Copy");
        m.flushMerges(r.sheet);
        m.flushMerges(d.sheet);
        m.changing(dst.doc);
        Reference<sheet::XCellRangeMovement> move(dst.sheet, UNO_QUERY_THROW);
        const table::CellAddress to{m.sheetIndex(dst),
                                    static_cast<sal_Int32>(target.firstColumn - 1),
                                    static_cast<sal_Int32>(target.firstRow - 1)};
        const auto unlock = Impl::lockControllers(dst.doc);
        move->copyRange(to, toCalc(r.first, m.sheetIndex(src)));
    });
}

void CalcHost::PasteSpecial(RangeHandle h, PasteSpecialArgs args) {
    Impl& m = *impl_;
    m.guarded("PasteSpecial", [&] {
        if (args.Paste != xlPasteFormats) {
            m.fail(Cause::BadArgument, "PasteSpecial: only formats (-4122) can be pasted");
        }
        if (args.Operation != xlPasteSpecialOperationNone || args.SkipBlanks || args.Transpose) {
            m.fail(Cause::BadArgument,
                   "PasteSpecial: operations, skip blanks and transpose are not supported");
        }
        if (!m.clipboard) m.fail(Cause::Other, "PasteSpecial: nothing has been copied");
        const auto t = m.rangeOf(h, "range");
        if (!t.more.empty())
            m.fail(Cause::BadArgument, "PasteSpecial: not possible on several areas");
        auto [srcIdx, block] = *m.clipboard;
        auto& src = m.liveSheet(srcIdx);
        auto& dst = m.liveSheet(t.sheet);
        // The object model's paste area: the block's size from a single cell, or the target
        // itself when it has the block's size. Other sizes are refused (no tiling).
        Area target = t.first;
        if (target.cells() == 1) {
            target.lastRow = target.firstRow + block.rows() - 1;
            target.lastColumn = target.firstColumn + block.columns() - 1;
        }
        if (target.rows() != block.rows() || target.columns() != block.columns()) {
            m.fail(Cause::BadArgument,
                   "PasteSpecial: the copy area and the paste area differ in size");
        }
        if (target.lastRow > kMaxRows || target.lastColumn > kMaxColumns) {
            m.fail(Cause::BadArgument, "PasteSpecial: the paste would leave the sheet");
        }
        m.refuseIfSheetProtected(dst, "PasteSpecial");
        // The block's merged areas as they are once the merges pending on its sheet apply.
        Area srcRegion = block;
        const MergeSet projected = m.projectedMerges(src, srcRegion);
        const long dr = target.firstRow - block.firstRow,
                   dc = target.firstColumn - block.firstColumn;
        std::vector<Area> wanted;
        for (const auto& a : projected.current()) {
            if (block.covers(a))
                wanted.push_back(
                    {a.firstRow + dr, a.firstColumn + dc, a.lastRow + dr, a.lastColumn + dc});
        }
        if (src.identity != dst.identity) m.flushMerges(t.sheet);
        Area dstRegion = target;
        const std::vector<Area> existing = m.mergedAreas(dst, dstRegion);
        for (const auto& a : existing) {
            if (a.meets(target) && !target.covers(a)) {
                m.fail(Cause::Other,
                       "PasteSpecial: cannot change part of a merged cell at " + calc::printA1(a));
            }
        }
        m.changing(dst.doc);
        // Merged areas: split what the target holds, merge what the block has. Many merges go
        // the bulk route, which checks its preconditions and its result and otherwise leaves
        // the work to the one-area-at-a-time route.
        if (m.bulkMerges(dst, target, wanted)) {
            ++m.bulkPastes;
        } else {
            Area again = target;
            const std::vector<Area> now = m.mergedAreas(dst, again);
            std::vector<Area> removed, added;
            for (const auto& a : now) {
                if (target.covers(a) && std::find(wanted.begin(), wanted.end(), a) == wanted.end())
                    removed.push_back(a);
            }
            for (const auto& a : wanted) {
                if (std::find(now.begin(), now.end(), a) == now.end()) added.push_back(a);
            }
            m.applyMerges(dst, removed, added, target);
        }
        m.pasteFormats(src, block, dst, target);
    });
}

void CalcHost::Merge(RangeHandle h) {
    Impl& m = *impl_;
    m.guarded("Merge", [&] {
        const auto r = m.rangeOf(h, "range");
        auto& s = m.liveSheet(r.sheet);
        m.refuseIfSheetProtected(s, "Merge");
        m.flushMerges(r.sheet);
        m.sendMerges(s, m.areasOf(r), false);
    });
}

void CalcHost::UnMerge(RangeHandle h) {
    Impl& m = *impl_;
    m.guarded("UnMerge", [&] {
        const auto r = m.rangeOf(h, "range");
        auto& s = m.liveSheet(r.sheet);
        m.refuseIfSheetProtected(s, "UnMerge");
        m.flushMerges(r.sheet);
        for (const auto& area : m.areasOf(r)) {
            Area region = area;
            const std::vector<Area> all = m.mergedAreas(s, region);
            std::vector<Area> split;
            for (const auto& a : all) {
                if (a.meets(area)) split.push_back(a);
            }
            if (!split.empty()) m.applyMerges(s, split, {}, region, &area);
        }
    });
}

RangeValue CalcHost::Value(RangeHandle h) {
    Impl& m = *impl_;
    return m.guarded("Value", [&] {
        const auto r = m.rangeOf(h, "range");
        const Area& a = r.first;
        auto read = m.readArea(m.liveSheet(r.sheet), a);
        if (a.cells() == 1) return RangeValue(std::move(read.values[0]));
        ValueArray arr(a.rows(), a.columns());
        for (long row = 1; row <= a.rows(); ++row) {
            for (long col = 1; col <= a.columns(); ++col) {
                arr.at(row, col) = std::move(
                    read.values[static_cast<std::size_t>((row - 1) * a.columns() + col - 1)]);
            }
        }
        return RangeValue(std::move(arr));
    });
}

void CalcHost::setValue(RangeHandle h, const CellValue& value) {
    Impl& m = *impl_;
    m.guarded("Value", [&] {
        const auto r = m.rangeOf(h, "range");
        auto& s = m.liveSheet(r.sheet);
        for (const auto& area : m.areasOf(r)) {
            m.refuseLockedWrite(s, area);
            m.writeArea(s, area, value, true);
        }
    });
}

CellEnumHandle CalcHost::enumerateCells(RangeHandle h) {
    Impl& m = *impl_;
    m.rangeOf(h, "range");
    m.cellEnums.push_back({h.id - 1, 0, 0});
    return CellEnumHandle{static_cast<std::uint32_t>(m.cellEnums.size())};
}

std::optional<RangeHandle> CalcHost::nextCell(CellEnumHandle h) {
    Impl& m = *impl_;
    return m.guarded("next cell", [&]() -> std::optional<RangeHandle> {
        auto& e = m.lookup(m.cellEnums, h, "cell enumeration");
        const auto r = m.ranges[e.range];
        const auto areas = m.areasOf(r);
        while (e.area < areas.size() && e.index >= areas[e.area].cells()) {
            ++e.area;
            e.index = 0;
        }
        if (e.area >= areas.size()) return std::nullopt;
        const Area& a = areas[e.area];
        const long row = a.firstRow + e.index / a.columns();
        const long col = a.firstColumn + e.index % a.columns();
        ++e.index;
        return m.addRange(r.sheet, {{row, col, row, col}});
    });
}

// ======================================================================== bulk operations

CellBlock CalcHost::readBlock(SheetHandle h, const A1Area& area) {
    Impl& m = *impl_;
    return m.guarded("read", [&] {
        const Area a = Impl::checkedArea(area, "read");
        Impl::Sheet& s = m.sheetOf(h);
        m.flushAllMerges();
        Impl::Read read = m.readArea(s, a);
        CellBlock out{area, std::move(read.values), {}};
        if (read.hasFormulas) out.formula = std::move(read.formula);
        return out;
    });
}

std::vector<A1Area> CalcHost::mergedAreasMeeting(SheetHandle h, const A1Area& region) {
    Impl& m = *impl_;
    return m.guarded("merged areas", [&] {
        const Area wanted = Impl::checkedArea(region, "merged areas");
        Impl::Sheet& s = m.sheetOf(h);
        m.flushAllMerges();
        Area grown = wanted;
        std::vector<A1Area> out;
        for (const Area& a : m.mergedAreas(s, grown)) {
            if (a.meets(wanted)) out.push_back(calc::toA1(a));
        }
        return out;
    });
}

void CalcHost::mergeAreas(SheetHandle h, std::span<const A1Area> areas) {
    Impl& m = *impl_;
    m.guarded("Merge", [&] {
        std::vector<Area> merges;
        for (const A1Area& a : areas) merges.push_back(Impl::checkedArea(a, "Merge"));
        Impl::Sheet& s = m.sheetOf(h);
        // Refused now, as the merge itself would be; the merges are sent when a later call
        // needs them, a format paste from the sheet carries them, or at flush.
        m.refuseIfSheetProtected(s, "Merge");
        m.deferMerges(h.id - 1, std::move(merges));
    });
}

void CalcHost::writeAreas(SheetHandle h, std::span<const AreaWrite> writes) {
    Impl& m = *impl_;
    m.guarded("Value", [&] {
        Impl::Sheet& s = m.sheetOf(h);
        m.flushAllMerges();
        for (const AreaWrite& w : writes) {
            const Area a = Impl::checkedArea(w.area, "Value");
            m.refuseLockedWrite(s, a);
            m.writeArea(s, a, w.value, true);
        }
    });
}

}  // namespace gridmoor
