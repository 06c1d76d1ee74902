// One connection to the virtual printer's job-language port (TCP 9100): splits the byte stream
// into requests and answers each.
//
// Requests and replies (each reply ends where the transport module's framing expects it):
//   "@OPK MDR CM=\"<hex>\"\r\n"  MIB data request. Reply: the request line exactly as received
//        (CR LF included), a double quote, upper-case hexadecimal data, a double quote, CR LF.
//        The data is the answer code (0x80 for command 0, 0x81 for command 1), a status byte and
//        for status 0x00 one identifier element (tag 0x00) and one value element (0x08 integer,
//        0x14 octet string) per identifier asked. Status 0x82: an identifier asked has no object
//        (the end of a column); status 0x81: the request could not be read.
//   "PI" 06 00 01 code page chunk  PI request, first form (see InkjetResponder.h).
//   "@OPK INFO ID\r\n"  the IEEE 1284 device ID followed by CR LF.
//   "@OPK ST2\r\n"      "@BDC ST2\r\n", 16-bit length (LSB first), the status fields.
// Other lines beginning with "@" (job-language commands of print jobs) get no reply; bytes that
// begin no request (print data, form feeds, the universal exit sequence) are skipped.
#pragma once

#include "Bytes.h"
#include "InkjetResponder.h"
#include "Profile.h"

#include <span>
#include <vector>

namespace vprinter {

class JobLanguageSession {
public:
    explicit JobLanguageSession(const Profile& profile) : m_profile(profile), m_inkjet(profile) {}

    // Takes received bytes and returns the replies they complete, in order. Sets close when
    // the peer sent something the printer will not buffer (an endless line).
    std::vector<Bytes> Feed(std::span<const uint8_t> data, bool& close);

    // The reply to one MDR request line (without any framing of the stream).
    Bytes AnswerMdr(const Bytes& line) const;

private:
    Bytes StatusReply() const;

    const Profile& m_profile;
    InkjetResponder m_inkjet;
    Bytes m_pending;
};

}  // namespace vprinter
