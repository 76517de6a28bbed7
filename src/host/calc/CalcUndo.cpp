// The run's undo group on each document it changes: opened before the first change, each
// change placed in the group tree (UndoTree), closed by flush or at the run's end, so that
// one undo in Calc takes back the whole run.
#include <com/sun/star/document/XUndoManagerSupplier.hpp>

#include "texts/Texts.h"
#include "host/calc/CalcImpl.h"

namespace gridmoor {

using calc::toU;
using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY;
using Cause = HostError::Cause;

// Called before each call that changes the document (each records one undo action):
// opens the run's undo group before the first, so that one undo in Calc takes back
// everything the command did, and places the action in the group tree (see UndoTree).
void CalcHost::Impl::changing(const Reference<sheet::XSpreadsheetDocument>& doc) {
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
    d.groups.place([&] { undo->leaveUndoContext(); }, [&] { undo->enterUndoContext(title); });
}

// Closes the run's undo group on the document, so its entry is complete in Calc's undo
// list. Each context is counted off as it closes: after a failure part way, a later call
// closes only the rest.
void CalcHost::Impl::closeUndoGroup(DocState& d) {
    if (!d.undo.is()) return;
    for (; d.groups.open > 0; --d.groups.open) d.undo->leaveUndoContext();
    d.undo->leaveUndoContext();
    d.undo.clear();
    d.groups = UndoTree{};
}

}  // namespace gridmoor
