// The refusal of a run while the user edits a cell in Calc, found from the state of a command
// of Calc's user interface.
#include <com/sun/star/frame/FeatureStateEvent.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDispatch.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XStatusListener.hpp>
#include <com/sun/star/util/URL.hpp>
#include <com/sun/star/util/URLTransformer.hpp>
#include <com/sun/star/util/XURLTransformer.hpp>
#include <cppuhelper/implbase1.hxx>
#include <rtl/ref.hxx>

#include "host/calc/CalcImpl.h"

namespace gridmoor {

using rtl::OUString;
using uno::Reference;
using uno::UNO_QUERY;
using Cause = HostError::Cause;

namespace {

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

}  // namespace

// While the user edits a cell, the object model refuses every call. Calc lets API calls
// through, and the user's Enter then overwrites what they wrote; so a run that finds the
// user editing is refused as a whole. Calc exposes no such state, but its user interface
// disables "Clone Formatting" exactly while a cell (or the input line) is being edited,
// and in print preview, where changing the document behind the user is no better.
void CalcHost::Impl::refuseWhileUserEdits(const char* what) {
    if (!inRun || !desktop.is()) return;
    if (!userEditing) userEditing = userIsEditing();
    if (*userEditing) {
        fail(Cause::Busy, std::string(what) + ": the user is editing a cell in Calc");
    }
}

bool CalcHost::Impl::userIsEditing() {
    Reference<frame::XModel> model(desktop->getCurrentComponent(), UNO_QUERY);
    if (!model.is() || !Reference<sheet::XSpreadsheetDocument>(model, UNO_QUERY).is()) return false;
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

}  // namespace gridmoor
