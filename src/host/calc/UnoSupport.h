// What every UNO client of this folder needs the same way: text crossing between UTF-8 and
// UNO strings, and the local UNO context that a client bridges to a soffice from.
// Internal to the Calc backend: nothing outside src/host/calc includes this header.
#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>
#include <string>
#include <string_view>

namespace gridmoor::calc {

// UTF-8 text to a UNO string and back; both directions keep every character.
rtl::OUString toU(std::string_view utf8);
std::string fromU(const rtl::OUString& s);

// The URL that reaches the component context of the soffice listening on `pipeName`.
rtl::OUString pipeConnectUrl(std::string_view pipeName);

// Bootstraps the local UNO context a client connects from. Throws what UNO's bootstrap
// throws. Before that it makes SIGPIPE ignored for the whole process: UNO writes to its pipe
// without MSG_NOSIGNAL, so when soffice quits or drops the connection the next write would
// kill the process instead of failing; ignored, the write fails and the call throws.
com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> bootstrapLocalContext();

}  // namespace gridmoor::calc
