// HandleDescriber: how a call log shows the objects a host hands out.
//
// Describing a handle is not a call of the object model: it must neither count as a call
// nor be able to fail like one, so a recorder asks a describer rather than the host it
// records. A backend that knows its objects without asking the application (the in-memory
// host) describes them by name; this base shows each handle by its kind and id
// ("Sheet#3"), which needs no backend at all and serves any real one.
#pragma once

#include <string>

#include "host/SpreadsheetHost.h"

namespace gridmoor {

class HandleDescriber {
public:
    virtual ~HandleDescriber() = default;

    virtual std::string describe(WorkbookHandle h) const { return byId("Workbook", h.id); }
    virtual std::string describe(SheetHandle h) const { return byId("Sheet", h.id); }
    virtual std::string describe(RangeHandle h) const { return byId("Range", h.id); }
    // A walk over the sheets or the cells: what it walks over.
    virtual std::string describe(SheetEnumHandle h) const { return byId("Worksheets", h.id); }
    virtual std::string describe(CellEnumHandle h) const { return byId("Cells", h.id); }

protected:
    static std::string byId(const char* kind, std::uint32_t id) {
        return id == 0 ? "<unset>" : std::string(kind) + "#" + std::to_string(id);
    }
};

}  // namespace gridmoor
