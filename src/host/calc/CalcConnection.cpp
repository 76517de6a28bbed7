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
#include <com/sun/star/lang/XComponent.hpp>
#include <thread>

#include "host/calc/CalcImpl.h"
#include "host/calc/OfficeProcess.h"

namespace gridmoor {

using uno::Reference;
using uno::UNO_QUERY;
using Cause = HostError::Cause;

namespace {

// Calc counts controller locks and open undo contexts; a client that died leaves as many as
// it had nested, a handful at most. The loops that release them stop after this many, so a
// document whose count does not fall (another client keeps locking it) cannot hold the
// attach forever.
constexpr int kMaxStaleLevels = 64;

// The pause between two tries of the attach.
constexpr std::chrono::milliseconds kRetryPause{100};
// Tries to connect while the UNO pipe's file exists: a listener that is busy may refuse
// for a moment (2 s).
constexpr int kConnectTries = 20;
// Tries after asking a running Calc to listen (10 s): an instance that is still starting,
// or restarting after creating its profile, may drop the request.
constexpr int kHandOffTries = 100;
// The request is repeated every this many tries, and a refused one ends the waiting once
// half the tries are gone.
constexpr int kHandOffEvery = 10;
constexpr int kHandOffGiveUpAfter = 50;
// Without a single-instance pipe file for this many tries (1 s), the running soffice
// belongs to another profile, not to this user's ordinary start.
constexpr int kNoPipeTries = 10;

}  // namespace

// The remote references go first, while the bridge can still send their releases. Disposing
// the local context then disposes its service manager and with it the bridge factory and
// every bridge it made: the connection to Calc closes and each bridge's reader and writer
// threads are joined, so no UNO thread outlives the host (a process that ends with them
// still running can crash in the UNO runtime's teardown).
CalcHost::Impl::~Impl() {
    dropConnection();
    try {
        const Reference<lang::XComponent> context(local, UNO_QUERY);
        local.clear();
        if (context.is()) context->dispose();
    } catch (...) {
        // The context is given up either way; a failed disposal leaves nothing to undo.
    }
}

void CalcHost::Impl::dropConnection() noexcept {
    desktop.clear();
    remote.clear();
    books.clear();
    sheets.clear();
    ranges.clear();
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
        for (int i = 0; i < kMaxStaleLevels && model->hasControllersLocked(); ++i)
            model->unlockControllers();
        Reference<document::XUndoManagerSupplier> us(model, UNO_QUERY);
        if (us.is()) {
            Reference<document::XUndoManager> undo = us->getUndoManager();
            // Leaving a context when none is open throws: that ends the loop.
            try {
                for (int i = 0; i < kMaxStaleLevels && undo.is(); ++i) undo->leaveUndoContext();
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
    // While the pipe file exists, try a few times before concluding that nothing listens.
    const std::string unoPipe = calc::oslPipePath(options.pipeName);
    for (int i = 0; i < kConnectTries; ++i) {
        if (tryConnect()) {
            clearStaleState();
            return AppHandle{1};
        }
        if (::access(unoPipe.c_str(), F_OK) != 0 || !calc::officeRunsForThisUser()) break;
        std::this_thread::sleep_for(kRetryPause);
    }
    // Nothing listens. Only a Calc that already runs is asked to listen; the hand-off goes
    // over the instance's own pipe and cannot start one.
    if (!calc::officeRunsForThisUser()) return std::nullopt;
    const std::string accept =
        "--accept=pipe,name=" + options.pipeName + ";urp;StarOffice.ComponentContext";
    // Ask again for a few seconds while it runs.
    const std::string instancePipe = calc::singleInstancePipePath();
    for (int i = 0; i < kHandOffTries; ++i) {
        if (instancePipe.empty() ||
            (::access(instancePipe.c_str(), F_OK) != 0 && i >= kNoPipeTries)) {
            break;
        }
        if (i % kHandOffEvery == 0 && !calc::handOffToRunningOffice(accept) &&
            i >= kHandOffGiveUpAfter)
            break;
        if (tryConnect()) {
            clearStaleState();
            return AppHandle{1};
        }
        if (!calc::officeRunsForThisUser()) return std::nullopt;
        std::this_thread::sleep_for(kRetryPause);
    }
    return std::nullopt;
}

}  // namespace gridmoor
