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

// Connects from `local` to the component context of the soffice listening on `pipeName`.
// Throws NoConnectException when nothing listens there, and what UNO throws otherwise.
// Calc 7.4 now and then drops a fresh connection during its first call (about one in 30
// under a loaded CPU) while staying up; such a connection is made again, a few times at
// most, so only an office that is really gone or refusing fails the connect.
com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> connectToOffice(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& local,
    std::string_view pipeName);

// Bootstraps the local UNO context a client connects from. Throws what UNO's bootstrap
// throws. Before that it makes SIGPIPE ignored for the whole process: UNO writes to its pipe
// without MSG_NOSIGNAL, so when soffice quits or drops the connection the next write would
// kill the process instead of failing; ignored, the write fails and the call throws.
com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> bootstrapLocalContext();

}  // namespace gridmoor::calc
