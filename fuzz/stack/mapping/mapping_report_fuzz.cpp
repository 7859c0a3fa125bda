// Whatever report a peer sends, decoding ends in a report or a reason; a decoded report, written again,
// reads back as the same report and is written to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "mapping/report.h"
#include "mms/codec.h"
#include "mms/pdu.h"

namespace {

iecstack::Bytes pduOf(iecstack::mms::InformationReport&& report) {
    using namespace iecstack::mms;
    return encodePdu(Pdu{UnconfirmedPdu{std::move(report)}});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace iecstack;
    auto pdu = mms::decodePdu(ByteView(data, size));
    auto* unconfirmed = pdu ? std::get_if<mms::UnconfirmedPdu>(&*pdu) : nullptr;
    auto* received = unconfirmed ? std::get_if<mms::InformationReport>(&unconfirmed->service) : nullptr;
    if (received == nullptr) {
        return 0;
    }
    std::string why;
    const auto report = mapping::decodeReport(std::move(*received), &why);
    if (!report) {
        if (why.empty()) {
            std::abort();  // a refusal must say why
        }
        return 0;
    }
    const Bytes first = pduOf(mapping::encodeReport(*report));
    auto again = mms::decodePdu(first);
    auto* report2 =
        again ? std::get_if<mms::InformationReport>(&std::get<mms::UnconfirmedPdu>(*again).service) : nullptr;
    const auto reread = report2 ? mapping::decodeReport(std::move(*report2), nullptr) : std::nullopt;
    if (!reread || pduOf(mapping::encodeReport(*reread)) != first) {
        std::abort();
    }
    return 0;
}
