#include "server/iso_responder.h"

#include <algorithm>

#include "iso/acse.h"
#include "iso/presentation.h"
#include "iso/session.h"
#include "mms/codec.h"

namespace iecstack::server {

namespace cotp = iso::cotp;
namespace session = iso::session;
namespace presentation = iso::presentation;
namespace acse = iso::acse;

namespace {

// Before association the peer has not agreed to any size yet; the association request of a real
// client is a few hundred octets, so this is generous and still keeps a hostile peer small.
constexpr size_t kMaxAssociateUnit = 16384;
// Session and presentation framing around an MMS PDU of the data phase.
constexpr size_t kEnvelopeAllowance = 64;
// Largest TPDU we agree to; clients propose 8192 or less.
constexpr uint8_t kMaxTpduSizeCode = 0x0d;

}  // namespace

IsoResponder::IsoResponder(MmsServices& services, Settings settings)
    : services_(services), settings_(settings), reassembler_(kMaxAssociateUnit) {}

std::vector<std::string> IsoResponder::takeLog() {
    std::vector<std::string> out;
    out.swap(log_);
    return out;
}

void IsoResponder::close(const std::string& why) {
    if (!finished_) {
        log_.push_back(why);
    }
    state_ = State::Closed;
    finished_ = true;
}

Bytes IsoResponder::receive(ByteView bytes) {
    Bytes out;
    answeredRequest_ = false;
    if (finished_) {
        return out;
    }
    framer_.feed(bytes);
    while (!finished_) {
        auto next = framer_.next();
        if (!next) {
            close(std::string("closing: broken TPKT framing (") + iso::errorName(next.error()) + ")");
            break;
        }
        if (!*next) {
            break;
        }
        onTpdu(**next, out);
    }
    return out;
}

void IsoResponder::onTpdu(const Bytes& payload, Bytes& out) {
    auto tpdu = cotp::decodeTpdu(payload);
    if (!tpdu) {
        close(std::string("closing: malformed TPDU (") + iso::errorName(tpdu.error()) + ")");
        return;
    }
    if (state_ == State::AwaitConnect) {
        if (tpdu->kind != cotp::TpduKind::ConnectionRequest) {
            close("closing: data before the transport connection");
            return;
        }
        onConnectRequest(tpdu->connect, out);
        return;
    }
    if (tpdu->kind == cotp::TpduKind::DisconnectRequest) {
        close("peer disconnected the transport");
        return;
    }
    if (tpdu->kind != cotp::TpduKind::Data) {
        close("closing: unexpected TPDU");
        return;
    }
    auto unit = reassembler_.add(*tpdu);
    if (!unit) {
        close(std::string("closing: ") + iso::errorName(unit.error()));
        return;
    }
    if (!*unit) {
        return;
    }
    if (state_ == State::AwaitAssociate) {
        onAssociate(**unit, out);
    } else {
        onData(**unit, out);
    }
}

void IsoResponder::onConnectRequest(const cotp::CotpConnect& cr, Bytes& out) {
    if ((cr.classOption >> 4) != 0) {
        close("closing: transport class other than 0 requested");
        return;
    }
    uint8_t code = std::min<uint8_t>(cr.tpduSizeCode.value_or(cotp::kDefaultTpduSizeCode), kMaxTpduSizeCode);
    code = std::max<uint8_t>(code, 0x07);
    tpduSize_ = cotp::tpduSizeFromCode(code);
    cotp::CotpConnect cc;
    cc.destinationRef = cr.sourceRef;
    cc.sourceRef = 1;
    cc.tpduSizeCode = code;
    cc.calledTsap = cr.calledTsap;
    cc.callingTsap = cr.callingTsap;
    iso::appendTpkt(out, cotp::encodeConnectionConfirm(cc));
    state_ = State::AwaitAssociate;
}

void IsoResponder::sendUnit(ByteView tsdu, Bytes& out) const {
    Bytes framed = cotp::encodeDataTpkts(tsdu, tpduSize_);
    out.insert(out.end(), framed.begin(), framed.end());
}

void IsoResponder::onAssociate(const Bytes& tsdu, Bytes& out) {
    auto spdu = session::decodeSpdu(tsdu);
    if (!spdu || spdu->kind != session::SpduKind::Connect) {
        close("closing: expected a session connect");
        return;
    }
    auto cp = presentation::decodeConnect(spdu->userData);
    if (!cp) {
        close(std::string("closing: bad presentation connect (") + iso::errorName(cp.error()) + ")");
        return;
    }
    bool haveAcse = false, haveMms = false;
    std::vector<presentation::ContextResult> results;
    for (const auto& ctx : cp->contexts) {
        bool ber = std::find(ctx.transferSyntaxes.begin(), ctx.transferSyntaxes.end(),
                             presentation::berTransferSyntax()) != ctx.transferSyntaxes.end();
        if (ber && ctx.abstractSyntax == presentation::acseAbstractSyntax()) {
            acseContext_ = ctx.id;
            haveAcse = true;
        } else if (ber && ctx.abstractSyntax == presentation::mmsAbstractSyntax()) {
            mmsContext_ = ctx.id;
            haveMms = true;
        } else {
            results.push_back(presentation::ContextResult::ProviderRejection);
            continue;
        }
        results.push_back(presentation::ContextResult::Acceptance);
    }
    if (!haveAcse || !haveMms || cp->userData.contextId != acseContext_) {
        close("closing: association without the ACSE and MMS contexts");
        return;
    }
    auto aarq = acse::decodeAcse(cp->userData.pdu);
    if (!aarq || aarq->kind != acse::AcseKind::Request) {
        close("closing: bad association request");
        return;
    }
    auto initiate = mms::decodePdu(aarq->request.userData);
    const auto* request = initiate ? std::get_if<mms::InitiateRequest>(&*initiate) : nullptr;
    if (!request) {
        close("closing: association without an MMS initiate request");
        return;
    }
    const mms::InitiateParameters& proposed = request->parameters;
    size_t pdu = settings_.maxPduSize;
    if (proposed.localDetail && *proposed.localDetail > 0) {
        pdu = std::min(pdu, static_cast<size_t>(*proposed.localDetail));
    }
    pduSize_ = std::max(pdu, settings_.minPduSize);

    mms::InitiateResponse response;
    mms::InitiateParameters& p = response.parameters;
    p.localDetail = static_cast<int32_t>(pduSize_);
    p.maxServOutstandingCalling =
        std::clamp(proposed.maxServOutstandingCalling, 1, settings_.maxServOutstanding);
    p.maxServOutstandingCalled =
        std::clamp(proposed.maxServOutstandingCalled, 1, settings_.maxServOutstanding);
    p.dataStructureNestingLevel =
        std::min(proposed.dataStructureNestingLevel.value_or(settings_.nestingLevel), settings_.nestingLevel);
    p.version = 1;
    using P = mms::ParameterSupport;
    p.parameterSupport = mms::parameterSupport({P::Str1, P::Str2, P::Vnam, P::Valt, P::Vlis});
    p.servicesSupported = MmsServices::supportedServices();
    Bytes initiateBytes = mms::encodePdu(response);

    acse::AssociateResponse aare;
    aare.userDataContextId = mmsContext_;
    aare.userData = initiateBytes;
    Bytes aareBytes = acse::encodeAssociateResponse(aare);
    Bytes cpa = presentation::encodeConnectAccept(cp->calledSelector, results, acseContext_, aareBytes);
    Bytes accept = session::encodeAccept(spdu->calledSelector, cpa);
    sendUnit(accept, out);

    reassembler_.setMaxTsduSize(pduSize_ + kEnvelopeAllowance);
    state_ = State::Data;
    log_.push_back("associated: PDU size " + std::to_string(pduSize_) + " (proposed " +
                   (proposed.localDetail ? std::to_string(*proposed.localDetail) : std::string("none")) +
                   "), TPDU size " + std::to_string(tpduSize_));
}

void IsoResponder::onData(const Bytes& tsdu, Bytes& out) {
    auto spdu = session::decodeSpdu(tsdu);
    if (!spdu) {
        close("closing: malformed session PDU");
        return;
    }
    switch (spdu->kind) {
        case session::SpduKind::Data:
            break;
        case session::SpduKind::Finish: {
            auto ud = presentation::decodeUserData(spdu->userData);
            auto rlrq =
                ud ? acse::decodeAcse(ud->pdu) : Result<acse::AcsePdu, iso::Error>(iso::Error::BadPpdu);
            if (!rlrq || rlrq->kind != acse::AcseKind::ReleaseRequest) {
                close("closing: finish without a release request");
                return;
            }
            Bytes rlre = acse::encodeReleaseResponse();
            sendUnit(session::encodeDisconnect(presentation::encodeUserData(acseContext_, rlre)), out);
            close("released");
            return;
        }
        case session::SpduKind::Abort:
            close("peer aborted");
            return;
        default:
            close("closing: unexpected session PDU");
            return;
    }
    auto ud = presentation::decodeUserData(spdu->userData);
    if (!ud || ud->contextId != mmsContext_) {
        close("closing: data outside the MMS presentation context");
        return;
    }
    ServiceOutcome outcome = services_.handle(ud->pdu, pduSize_);
    log_.push_back(outcome.summary);
    if (!outcome.response.empty()) {
        Bytes unit;
        session::appendDataTransfer(unit, presentation::encodeUserData(mmsContext_, outcome.response));
        sendUnit(unit, out);
        answeredRequest_ = true;
    }
}

}  // namespace iecstack::server
