// The connection to the soffice of this user: the local UNO context, the connect (asking a
// running soffice to listen when nothing does), the clearing of what a client that died left
// behind, and the check that the connection is still alive. Never starts Calc.
#include <unistd.h>

#include <chrono>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/document/XActionLockable.hpp>
#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <thread>

#include "host/calc/CalcImpl.h"
#include "host/calc/OfficeProcess.h"

namespace gridmoor {

using uno::Reference;
using uno::UNO_QUERY;
using Cause = HostError::Cause;

void CalcHost::Impl::dropConnection() noexcept {
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

bool CalcHost::Impl::alive() noexcept {
    if (!desktop.is()) return false;
    try {
        desktop->getCurrentFrame();
        return true;
    } catch (...) {
        return false;
    }
}
void CalcHost::Impl::bootstrapLocal() {
    if (local.is()) return;
    // A call whose write meets a dropped pipe then throws, which becomes Cause::Gone.
    local = calc::bootstrapLocalContext();
}

bool CalcHost::Impl::tryConnect() {
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
void CalcHost::Impl::clearStaleState() {
    Reference<container::XEnumerationAccess> all = desktop->getComponents();
    if (!all.is()) return;
    Reference<container::XEnumeration> it = all->createEnumeration();
    while (it.is() && it->hasMoreElements()) {
        Reference<frame::XModel> model(it->nextElement(), UNO_QUERY);
        if (!model.is()) continue;
        for (int i = 0; i < 64 && model->hasControllersLocked(); ++i) model->unlockControllers();
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

std::optional<AppHandle> CalcHost::Impl::attach() {
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

}  // namespace gridmoor
