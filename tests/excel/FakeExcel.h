// FakeExcel: serves an in-memory workbook model (MemoryHost) as Excel's automation object
// model through IDispatch, registered in the Running Object Table under Excel's class id,
// so that a tool in another process attaches to it with GetActiveObject as it would to
// Excel. For tests only; it stands in for Excel where none is installed.
//
// Each automation call becomes the one MemoryHost call the object model names (Sheets.Add
// After:=s is SheetsAdd(app, After{s}), Range.Rows.Count is RowsCount, ...), so a call log
// kept over the model (RecordingHost) reads the same as when the commands drive it
// directly. Getting a collection (Application.Sheets, Worksheet.Cells, Range.Rows) is no
// model call.
//
// Members: Application: ActiveWorkbook, Worksheets, Sheets, DisplayAlerts, ScreenUpdating,
// Calculation, and three members of this fake only: GridmoorRoundTrips (get),
// GridmoorRejectNext (put) and GridmoorMergeModel (get/put, as "BoundingBox+Union": see
// MergeModel). Workbook: Name, ActiveSheet, ProtectStructure. Sheets: Item,
// Count, Add. Worksheets: _NewEnum. Worksheet: Name, Delete, Select, Range, Cells,
// ProtectContents, Parent. Cells: Item. Range: Address, Rows, Columns, Offset, Copy,
// PasteSpecial, Merge, UnMerge, Value, Worksheet, _NewEnum, MergeCells, MergeArea,
// HasFormula. Rows/Columns: Count. Arguments Excel has that the commands never pass are
// refused with BadArgument.
//
// Member ids are fixed per interface and name for the life of the process, as Excel's type
// library fixes them: Cells, Rows and Columns are Range objects in Excel and share the
// Range interface's ids here; Worksheets shares those of Sheets. Ids of different
// interfaces never coincide, so a client that reused an id learnt from another interface
// would call nothing.
//
// Merged areas, as Excel documents them: MergeCells (read only) is True when every cell of
// the range lies in a merged area, False when none does, Null (VT_NULL) otherwise; for a
// range of several areas, True or False only when all areas agree. MergeArea of one cell
// is the merged area holding it, else the cell; asked of several cells it is refused.
// HasFormula is False: the model holds no formulas (a Value put of a text starting with
// "=" is refused). What Excel does not document is chosen with setMergeModel.
// A string put into Range.Value is read as Excel reads a typed entry ("001" is a number,
// a leading apostrophe makes a text; the model is described in EnteredValue.h).
//
// Errors travel as Excel's do: a refusal of the object model (a bad address, a protected
// sheet or structure, a value or name not taken) is DISP_E_EXCEPTION with scode 0x800A03EC
// and a description, whatever the reason; a missing item of a collection is
// DISP_E_BADINDEX. A busy Excel (rejectNextCalls, or a model that refuses a call as busy)
// rejects every incoming call at the channel with RPC_E_CALL_REJECTED. ProtectContents
// and ProtectStructure are known only from the model's protection refusals (the model
// offers no read of them); FakeExcel.cpp says how.
//
// Value returns each cell's kind as the model holds it (a date as VT_DATE, currency as
// VT_CY), not as Excel derives it from the cell's number format: Range objects do not know
// their cells' addresses without a model call. Tests must not rely on that difference.
//
// The model is served on the thread that creates the fake, which must be a
// single-threaded apartment that pumps messages while clients call.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Automation.h"
#include "host/memory/MemoryHost.h"

namespace gridmoor::fake {

// Excel's class id, {00024500-0000-0000-C000-000000000046}.
extern const CLSID kExcelClassId;

struct ChannelState;
struct MergeState;

// What one Range.Merge does where Excel documents nothing. The default is the model's own
// behaviour (AreaByArea + Union).
struct MergeModel {
    // A range of several areas.
    enum class MultiArea {
        AreaByArea,     // each area becomes a merged area of its own
        FirstAreaOnly,  // only the first area is merged; the others stay as they were
        Refused,        // nothing changes; refused with DISP_E_EXCEPTION 0x800A03EC
        BoundingBox,    // one merged area over the areas' bounding box
    };
    // An area that meets a merged area without holding it whole (the area lies partly or
    // wholly inside the merged area, or crosses its edge).
    enum class Overlap {
        Union,    // the merge grows to the union with every merged area it meets
        Refused,  // nothing changes; refused with DISP_E_EXCEPTION 0x800A03EC
    };
    MultiArea multiArea = MultiArea::AreaByArea;
    Overlap overlap = Overlap::Union;
};

class FakeExcel {
public:
    // Serves `model`, which must outlive the fake. Opens one run on the model that lasts
    // as long as the fake, so the handles behind the served objects stay valid.
    explicit FakeExcel(MemoryHost& model);
    // Serves `model` with every model call made through `calls`, a host over the model (a
    // recorder, a fault injector); the fake's own run on the model and its settings and
    // merged areas are read from `model` directly. Both must outlive the fake.
    FakeExcel(MemoryHost& model, SpreadsheetHost& calls);
    ~FakeExcel();
    FakeExcel(const FakeExcel&) = delete;
    FakeExcel& operator=(const FakeExcel&) = delete;

    // Registers the application object as the running Excel / withdraws it.
    void registerRunning();
    void revoke() noexcept;

    // Every automation call received, in order, as one line each:
    //   Sheets.Add After:=<Worksheet 'Sheet2'>
    //   Application.Calculation = 1 (VT_I2)
    //   Range.PasteSpecial Paste:=-4122 (VT_I2), Operation:=-4142 (VT_I2), ...
    const std::vector<std::string>& log() const;
    void clearLog();
    // Also tells `sink` of every line as it is logged (a file, the console).
    void onLog(std::function<void(const std::string&)> sink);
    // Rejects the next `n` incoming calls of any kind (GetIDsOfNames, Invoke,
    // QueryInterface, IEnumVARIANT::Next) as busy with RPC_E_CALL_REJECTED, as Excel's
    // channel does while a cell is being edited.
    void rejectNextCalls(long n);
    // Round trips served since construction: every incoming call but reference counting
    // (AddRef/Release). Also readable by clients as Application.GridmoorRoundTrips.
    long roundTrips() const;
    // Objects of the model that are alive (held by a client or by the fake itself).
    long liveObjects() const;
    // How Range.Merge behaves from now on where Excel documents nothing.
    void setMergeModel(MergeModel model);
    MergeModel mergeModel() const;

private:
    std::shared_ptr<ServerState> state_;
    std::shared_ptr<ChannelState> channel_;
    std::shared_ptr<MergeState> merges_;
    MemoryHost& model_;
    com::Ref<IMessageFilter> previousFilter_;  // restored when the fake ends
    com::Ref<IDispatch> application_;
    DWORD cookie_ = 0;
    bool registered_ = false;
};

}  // namespace gridmoor::fake
