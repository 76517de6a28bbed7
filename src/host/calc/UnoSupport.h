// What every UNO client of this folder needs the same way: text crossing between UTF-8 and
// UNO strings, and the local UNO context that a client bridges to a soffice from.
// Internal to the Calc backend: nothing outside src/host/calc includes this header.
#pragma once

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>
#include <string>
#include <string_view>

namespace gridmoor::calc {

// UTF-8 text to a UNO string and back; both directions keep every character.
rtl::OUString toU(std::string_view utf8);
std::string fromU(const rtl::OUString& s);

// One connection to a soffice: the component context it serves and the bridge that carries
// every call. Ending the connection (reset() or destruction) disposes the bridge, which stops
// its threads there and then; a bridge that is merely let go lives on until soffice drops it,
// which may be while this process is exiting.
class OfficeConnection {
public:
    OfficeConnection() = default;
    // Connects from `local` to the soffice listening on `pipeName`. Throws NoConnectException
    // when nothing listens there, and what UNO throws otherwise. Calc 7.4 now and then drops a
    // fresh connection during its first call (about one in 30 on a busy machine) while staying
    // up; such a connection is made again, a few times at most, so only an office that is
    // really gone or refusing fails the connect.
    OfficeConnection(
        const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& local,
        std::string_view pipeName);
    ~OfficeConnection() { reset(); }
    OfficeConnection(OfficeConnection&& other) noexcept;
    OfficeConnection& operator=(OfficeConnection&& other) noexcept;
    OfficeConnection(const OfficeConnection&) = delete;
    OfficeConnection& operator=(const OfficeConnection&) = delete;

    // The office's component context; empty once reset.
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context()
        const noexcept {
        return context_;
    }
    void reset() noexcept;

private:
    com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> context_;
    com::sun::star::uno::Reference<com::sun::star::lang::XComponent> bridge_;
};

// The local UNO context a client connects from, bootstrapped on the first call and shared
// by every later one (it is never released: the process ends with it). Throws what UNO's
// bootstrap throws. Before that it makes SIGPIPE ignored for the whole process: UNO writes to its
// pipe without MSG_NOSIGNAL, so when soffice quits or drops the connection the next write would
// kill the process instead of failing; ignored, the write fails and the call throws.
com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> bootstrapLocalContext();

}  // namespace gridmoor::calc
