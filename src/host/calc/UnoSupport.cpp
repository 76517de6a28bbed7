#include "host/calc/UnoSupport.h"

#include <cppuhelper/bootstrap.hxx>
#include <csignal>
#include <rtl/bootstrap.hxx>
#include <rtl/string.hxx>

namespace gridmoor::calc {

rtl::OUString toU(std::string_view utf8) {
    return rtl::OStringToOUString(rtl::OString(utf8.data(), static_cast<sal_Int32>(utf8.size())),
                                  RTL_TEXTENCODING_UTF8);
}

std::string fromU(const rtl::OUString& s) {
    const rtl::OString o = rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8);
    return std::string(o.getStr(), static_cast<std::size_t>(o.getLength()));
}

rtl::OUString pipeConnectUrl(std::string_view pipeName) {
    return "uno:pipe,name=" + toU(pipeName) + ";urp;StarOffice.ComponentContext";
}

com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> bootstrapLocalContext() {
    std::signal(SIGPIPE, SIG_IGN);
    // Without the bootstrap variable, creating the desktop crashes instead of throwing.
    rtl::Bootstrap::set("URE_BOOTSTRAP",
                        "vnd.sun.star.pathname:" GRIDMOOR_LO_PROGRAM_DIR "/fundamentalrc");
    return cppu::defaultBootstrap_InitialComponentContext();
}

}  // namespace gridmoor::calc
