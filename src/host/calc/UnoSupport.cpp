#include "host/calc/UnoSupport.h"

#include <chrono>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
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

namespace {

// The URL that reaches the component context of the soffice listening on `pipeName`.
rtl::OUString pipeConnectUrl(std::string_view pipeName) {
    return "uno:pipe,name=" + toU(pipeName) + ";urp;StarOffice.ComponentContext";
}

}  // namespace

com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> connectToOffice(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& local,
    std::string_view pipeName) {
    using namespace com::sun::star;
    const uno::Reference<bridge::XUnoUrlResolver> resolver = bridge::UnoUrlResolver::create(local);
    const rtl::OUString url = pipeConnectUrl(pipeName);
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        try {
            return uno::Reference<uno::XComponentContext>(resolver->resolve(url),
                                                          uno::UNO_QUERY_THROW);
        } catch (const lang::DisposedException&) {
            // An office that has quit answers the next attempt with NoConnectException.
            if (attempt == kAttempts) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
        }
    }
}

com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> bootstrapLocalContext() {
    std::signal(SIGPIPE, SIG_IGN);
    // Without the bootstrap variable, creating the desktop crashes instead of throwing.
    rtl::Bootstrap::set("URE_BOOTSTRAP",
                        "vnd.sun.star.pathname:" GRIDMOOR_LO_PROGRAM_DIR "/fundamentalrc");
    return cppu::defaultBootstrap_InitialComponentContext();
}

}  // namespace gridmoor::calc
