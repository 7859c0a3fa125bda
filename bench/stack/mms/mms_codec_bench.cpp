// Encode and decode throughput of the MMS codec for the two PDUs that dominate a model walk: a large
// Read response (a whole logical node) and a full GetNameList response. Prints figures only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "mms/codec.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

using namespace iecstack;
using namespace iecstack::mms;
using Clock = std::chrono::steady_clock;

constexpr size_t kMaxPdu = 65000;

// One analogue input as a logical node reads it: {mag {f}, q, t}.
MmsValue analogueInput(uint32_t i) {
    return MmsValue::structure({
        MmsValue::structure({MmsValue::floatSingle(230.0f + static_cast<float>(i) * 0.25f)}),
        MmsValue::bitString(BitString(13)),
        MmsValue::utcTimeFromMs(1796628044451ull + i, 0x0a),
    });
}

// As many inputs as fit the usual negotiated PDU size, in one response.
Pdu largeReadResponse() {
    ber::Writer one;
    encodeData(one, analogueInput(0));
    const size_t count = (kMaxPdu - 64) / one.size();
    std::vector<MmsValue> inputs;
    for (uint32_t i = 0; i < count; ++i) {
        inputs.push_back(analogueInput(i));
    }
    ReadResponse read;
    read.results.push_back(MmsValue::structure(std::move(inputs)));
    return ConfirmedResponse{7, std::move(read)};
}

// Variable names of many logical nodes until the PDU size is reached, as a server cuts them.
Pdu largeNameListResponse() {
    GetNameListResponse names;
    size_t size = 16;
    for (uint32_t i = 1;; ++i) {
        for (const char* leaf : {"", "$MX", "$MX$AnIn1", "$MX$AnIn1$mag", "$MX$AnIn1$mag$f", "$MX$AnIn1$q",
                                 "$MX$AnIn1$t", "$ST$Beh$stVal"}) {
            std::string name = "GGIO" + std::to_string(i) + leaf;
            size += name.size() + 2;
            if (size > kMaxPdu) {
                names.moreFollows = true;
                return ConfirmedResponse{8, std::move(names)};
            }
            names.identifiers.push_back(std::move(name));
        }
    }
}

// Each PDU is timed on its own and the median is reported: on a machine shared with other work the
// mean mostly measures the moments this process was not running.
template <typename Work>
void measure(const std::string& what, size_t pduSize, Work&& work) {
    work();  // warm-up
    std::vector<double> seconds;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(1) || seconds.size() < 20) {
        const auto before = Clock::now();
        work();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - before).count());
    }
    std::sort(seconds.begin(), seconds.end());
    const double perSecond = 1.0 / seconds[seconds.size() / 2];
    std::printf("%-36s %6zu bytes %9.0f PDUs/s %8.1f MB/s  (median of %zu)\n", what.c_str(), pduSize,
                perSecond, perSecond * static_cast<double>(pduSize) / 1e6, seconds.size());
}

void run(const std::string& name, const Pdu& pdu) {
    const Bytes bytes = encodePdu(pdu);
    if (!decodePdu(bytes).ok()) {
        std::printf("%s: the benchmark PDU does not decode\n", name.c_str());
        return;
    }
    volatile size_t sink = 0;
    measure(name + " decode", bytes.size(), [&] { sink = sink + decodePdu(bytes).ok(); });
    measure(name + " encode", bytes.size(), [&] { sink = sink + encodePdu(pdu).size(); });
}

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // By default glibc gives the memory of each decoded large PDU back to the kernel and faults it in
    // again for the next one; on virtual machines that costs more than the decoding. Keeping it
    // measures the codec. Pass any argument to see the figures with the default policy.
    if (argc < 2) {
        mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
        mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    }
#endif
    (void)argc;
    (void)argv;
    run("Read response (logical node)", largeReadResponse());
    run("GetNameList response", largeNameListResponse());
    return 0;
}
