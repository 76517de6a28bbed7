#include "host/calc/UnoSupport.h"

#include <chrono>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <csignal>
#include <rtl/bootstrap.hxx>
#include <rtl/string.hxx>
#include <thread>

namespace gridmoor::calc {

rtl::OUString toU(std::string_view utf8) {
    return rtl::OStringToOUString(rtl::OString(utf8.data(), static_cast<sal_Int32>(utf8.size())),
                                  RTL_TEXTENCODING_UTF8);
}

std::string fromU(const rtl::OUString& s) {
    const rtl::OString o = rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8);
    return std::string(o.getStr(), static_cast<std::size_t>(o.getLength()));
}

using namespace com::sun::star;

OfficeConnection::OfficeConnection(const uno::Reference<uno::XComponentContext>& local,
                                   std::string_view pipeName) {
    const uno::Reference<connection::XConnector> connector = connection::Connector::create(local);
    const uno::Reference<bridge::XBridgeFactory2> factory = bridge::BridgeFactory::create(local);
    const rtl::OUString where = "pipe,name=" + toU(pipeName);
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        const uno::Reference<bridge::XBridge> bridge =
            factory->createBridge("", "urp", connector->connect(where), nullptr);
        uno::Reference<lang::XComponent> owner(bridge, uno::UNO_QUERY_THROW);
        try {
            context_.set(bridge->getInstance("StarOffice.ComponentContext"), uno::UNO_QUERY_THROW);
            bridge_ = owner;
            return;
        } catch (const lang::DisposedException&) {
            owner->dispose();
            // An office that has quit answers the next attempt with NoConnectException.
            if (attempt == kAttempts) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
        } catch (...) {
            owner->dispose();
            throw;
        }
    }
}

OfficeConnection::OfficeConnection(OfficeConnection&& other) noexcept
    : context_(std::move(other.context_)), bridge_(std::move(other.bridge_)) {
    other.context_.clear();
    other.bridge_.clear();
}

OfficeConnection& OfficeConnection::operator=(OfficeConnection&& other) noexcept {
    if (this != &other) {
        reset();
        context_ = other.context_;
        bridge_ = other.bridge_;
        other.context_.clear();
        other.bridge_.clear();
    }
    return *this;
}

void OfficeConnection::reset() noexcept {
    context_.clear();
    if (!bridge_.is()) return;
    try {
        bridge_->dispose();
    } catch (...) {
        // A bridge whose office has gone is disposed already.
    }
    bridge_.clear();
}

uno::Reference<uno::XComponentContext> bootstrapLocalContext() {
    // Made once and never destroyed: released at exit, it would tear down UNO's runtime
    // after parts of it are gone already.
    static const auto* const context = [] {
        std::signal(SIGPIPE, SIG_IGN);
        // Without the bootstrap variable, creating the desktop crashes instead of throwing.
        rtl::Bootstrap::set("URE_BOOTSTRAP",
                            "vnd.sun.star.pathname:" GRIDMOOR_LO_PROGRAM_DIR "/fundamentalrc");
        return new uno::Reference<uno::XComponentContext>(
            cppu::defaultBootstrap_InitialComponentContext());
    }();
    return *context;
}

}  // namespace gridmoor::calc
