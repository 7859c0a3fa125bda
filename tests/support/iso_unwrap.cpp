#include "iso_unwrap.h"

#include <algorithm>
#include <iterator>

#include "iso/acse.h"
#include "iso/cotp.h"
#include "iso/presentation.h"
#include "iso/session.h"

namespace korvan::test {

using namespace iecstack;
using namespace iecstack::iso;

namespace {

constexpr size_t kMaxUnit = 1 << 20;

class Unwrapper {
public:
    explicit Unwrapper(Conversation& out) : out_(out) {}

    bool add(const TpktRecord& record) {
        auto tpdu = cotp::decodeTpdu(record.tpdu);
        if (!tpdu) {
            return fail(record, std::string("COTP: ") + errorName(tpdu.error()));
        }
        switch (tpdu->kind) {
            case cotp::TpduKind::ConnectionRequest:
                out_.events.push_back("CR");
                return true;
            case cotp::TpduKind::ConnectionConfirm:
                out_.events.push_back("CC");
                return true;
            case cotp::TpduKind::DisconnectRequest:
                out_.events.push_back("DR");
                return true;
            case cotp::TpduKind::Error:
                return fail(record, "COTP ER");
            case cotp::TpduKind::Data:
                break;
        }
        auto& reassembler = record.direction == Direction::ToServer ? toServer_ : toClient_;
        auto unit = reassembler.add(*tpdu);
        if (!unit) {
            return fail(record, std::string("COTP: ") + errorName(unit.error()));
        }
        return !unit->has_value() || session(record, **unit);
    }

private:
    bool fail(const TpktRecord& record, const std::string& what) {
        out_.error = "frame " + std::to_string(record.frame) + ": " + what;
        return false;
    }

    bool session(const TpktRecord& record, const Bytes& unit) {
        auto spdu = session::decodeSpdu(unit);
        if (!spdu) {
            return fail(record, std::string("session: ") + errorName(spdu.error()));
        }
        switch (spdu->kind) {
            case session::SpduKind::Connect: {
                out_.events.push_back("CONNECT");
                auto cp = presentation::decodeConnect(spdu->userData);
                if (!cp) {
                    return fail(record, std::string("CP: ") + errorName(cp.error()));
                }
                auto aarq = acse::decodeAcse(cp->userData.pdu);
                if (!aarq || aarq->kind != acse::AcseKind::Request) {
                    return fail(record, "AARQ");
                }
                out_.initiateRequest = aarq->request.userData.toBytes();
                out_.requestFrame = record.frame;
                return true;
            }
            case session::SpduKind::Accept: {
                out_.events.push_back("ACCEPT");
                auto cpa = presentation::decodeConnectAccept(spdu->userData);
                if (!cpa) {
                    return fail(record, std::string("CPA: ") + errorName(cpa.error()));
                }
                auto aare = acse::decodeAcse(cpa->userData.pdu);
                if (!aare || aare->kind != acse::AcseKind::Response) {
                    return fail(record, "AARE");
                }
                out_.initiateResponse = aare->response.userData.toBytes();
                out_.responseFrame = record.frame;
                return true;
            }
            case session::SpduKind::Data: {
                out_.events.push_back("DATA");
                auto data = presentation::decodeUserData(spdu->userData);
                if (!data) {
                    return fail(record, std::string("presentation: ") + errorName(data.error()));
                }
                out_.pdus.push_back(MmsRecord{record.direction, record.frame, data->pdu.toBytes()});
                return true;
            }
            case session::SpduKind::Finish:
                out_.events.push_back("FINISH");
                return true;
            case session::SpduKind::Disconnect:
                out_.events.push_back("DISCONNECT");
                return true;
            case session::SpduKind::Abort:
                out_.events.push_back("ABORT");
                return true;
            default:
                return fail(record, "unexpected SPDU");
        }
    }

    Conversation& out_;
    cotp::TsduReassembler toServer_{kMaxUnit};
    cotp::TsduReassembler toClient_{kMaxUnit};
};

}  // namespace

std::vector<MmsRecord> Conversation::from(Direction direction) const {
    std::vector<MmsRecord> out;
    std::copy_if(pdus.begin(), pdus.end(), std::back_inserter(out),
                 [direction](const MmsRecord& r) { return r.direction == direction; });
    return out;
}

const MmsRecord* Conversation::atFrame(uint32_t frame) const {
    for (const MmsRecord& record : pdus) {
        if (record.frame == frame) {
            return &record;
        }
    }
    return nullptr;
}

Conversation unwrapConnection(const CapturedConnection& connection) {
    Conversation conversation;
    Unwrapper unwrapper(conversation);
    for (const TpktRecord& record : connection.records) {
        if (!unwrapper.add(record)) {
            break;
        }
    }
    return conversation;
}

std::vector<Conversation> readConversations(const std::string& captureName) {
    std::vector<Conversation> out;
    const Capture capture = readCapture(referenceCapture(captureName));
    for (const CapturedConnection& connection : capture.connections) {
        out.push_back(unwrapConnection(connection));
    }
    if (!capture.error.empty()) {
        out.emplace_back();
        out.back().error = capture.error;
    }
    return out;
}

}  // namespace korvan::test
