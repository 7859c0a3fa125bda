#include "iso/association_codec.h"

namespace iecstack::iso {

namespace {

bool offersBer(const presentation::PresentationContext& context) {
    for (const ber::Oid& syntax : context.transferSyntaxes) {
        if (syntax == presentation::berTransferSyntax()) {
            return true;
        }
    }
    return false;
}

}  // namespace

Bytes encodeConnectUnit(const AssociationParameters& parameters, ByteView initiateRequest) {
    acse::AssociateRequest request;
    request.called = parameters.called;
    request.calling = parameters.calling;
    request.password = parameters.password;
    request.userDataContextId = presentation::kMmsContextId;
    request.userData = initiateRequest;
    const Bytes aarq = acse::encodeAssociateRequest(request);
    const Bytes cp = presentation::encodeConnect(parameters.presentationSelectors, aarq);
    return session::encodeConnect(parameters.sessionSelectors, cp);
}

Result<ConnectIndication, Error> decodeConnectUnit(ByteView unit) {
    auto spdu = session::decodeSpdu(unit);
    if (!spdu) {
        return spdu.error();
    }
    if (spdu->kind != session::SpduKind::Connect) {
        return Error::UnexpectedSpdu;
    }
    auto cp = presentation::decodeConnect(spdu->userData);
    if (!cp) {
        return cp.error();
    }
    ConnectIndication indication;
    indication.callingSessionSelector = spdu->callingSelector.toBytes();
    bool haveAcse = false;
    bool haveMms = false;
    for (const presentation::PresentationContext& context : cp->contexts) {
        bool accepted = false;
        if (offersBer(context)) {
            if (context.abstractSyntax == presentation::acseAbstractSyntax() && !haveAcse) {
                indication.acseContextId = context.id;
                haveAcse = accepted = true;
            } else if (context.abstractSyntax == presentation::mmsAbstractSyntax() && !haveMms) {
                indication.mmsContextId = context.id;
                haveMms = accepted = true;
            }
        }
        indication.contextResults.push_back(accepted ? presentation::ContextResult::Acceptance
                                                     : presentation::ContextResult::ProviderRejection);
    }
    if (!haveAcse || !haveMms) {
        return Error::ContextRejected;
    }
    if (cp->userData.contextId != indication.acseContextId) {
        return Error::UnknownContext;
    }
    auto aarq = acse::decodeAcse(cp->userData.pdu);
    if (!aarq) {
        return aarq.error();
    }
    if (aarq->kind != acse::AcseKind::Request) {
        return Error::UnexpectedApdu;
    }
    if (aarq->request.userDataContextId != indication.mmsContextId || aarq->request.userData.empty()) {
        return Error::UnknownContext;
    }
    indication.request = std::move(aarq->request);
    return indication;
}

Bytes encodeAcceptUnit(const ConnectIndication& indication, const acse::AssociateResponse& response) {
    acse::AssociateResponse copy = response;
    copy.userDataContextId = indication.mmsContextId;
    const Bytes aare = acse::encodeAssociateResponse(copy);
    const Bytes cpa =
        presentation::encodeConnectAccept(presentation::PresentationSelectors().called,
                                          indication.contextResults, indication.acseContextId, aare);
    const Bytes selector{0x00, 0x01};
    return session::encodeAccept(selector, cpa);
}

Result<AcceptConfirmation, Error> decodeAcceptUnit(ByteView unit) {
    auto spdu = session::decodeSpdu(unit);
    if (!spdu) {
        return spdu.error();
    }
    if (spdu->kind == session::SpduKind::Refuse || spdu->kind == session::SpduKind::Abort) {
        return Error::AssociationRejected;
    }
    if (spdu->kind != session::SpduKind::Accept) {
        return Error::UnexpectedSpdu;
    }
    auto cpa = presentation::decodeConnectAccept(spdu->userData);
    if (!cpa) {
        return cpa.error();
    }
    for (presentation::ContextResult result : cpa->results) {
        if (result != presentation::ContextResult::Acceptance) {
            return Error::ContextRejected;
        }
    }
    auto aare = acse::decodeAcse(cpa->userData.pdu);
    if (!aare) {
        return aare.error();
    }
    if (aare->kind != acse::AcseKind::Response) {
        return Error::UnexpectedApdu;
    }
    return AcceptConfirmation{std::move(aare->response)};
}

Bytes encodeDataUnit(int64_t mmsContextId, ByteView mmsPdu) {
    ber::Writer w;
    presentation::appendUserData(w, mmsContextId, mmsPdu);
    Bytes unit;
    unit.reserve(w.size() + 4);
    session::appendDataTransfer(unit, w.bytes());
    return unit;
}

Bytes encodeReleaseRequestUnit(int64_t acseContextId) {
    return session::encodeFinish(presentation::encodeUserData(acseContextId, acse::encodeReleaseRequest()));
}

Bytes encodeReleaseResponseUnit(int64_t acseContextId) {
    return session::encodeDisconnect(
        presentation::encodeUserData(acseContextId, acse::encodeReleaseResponse()));
}

Bytes encodeAbortUnit(int64_t acseContextId) {
    return session::encodeAbort(presentation::encodeAbort(acseContextId, acse::encodeAbort()));
}

Result<IncomingUnit, Error> decodeDataPhaseUnit(ByteView unit, int64_t mmsContextId) {
    auto spdu = session::decodeSpdu(unit);
    if (!spdu) {
        return spdu.error();
    }
    IncomingUnit incoming;
    switch (spdu->kind) {
        case session::SpduKind::Data: {
            auto data = presentation::decodeUserData(spdu->userData);
            if (!data) {
                return data.error();
            }
            if (data->contextId != mmsContextId) {
                return Error::UnknownContext;
            }
            incoming.kind = UnitKind::Data;
            incoming.mmsPdu = data->pdu;
            return incoming;
        }
        case session::SpduKind::Finish:
            incoming.kind = UnitKind::ReleaseRequest;
            return incoming;
        case session::SpduKind::Disconnect:
            incoming.kind = UnitKind::ReleaseResponse;
            return incoming;
        case session::SpduKind::Abort:
        case session::SpduKind::AbortAccept:
            incoming.kind = UnitKind::Abort;
            return incoming;
        case session::SpduKind::Refuse:
            incoming.kind = UnitKind::Refuse;
            return incoming;
        default:
            return Error::UnexpectedSpdu;
    }
}

}  // namespace iecstack::iso
