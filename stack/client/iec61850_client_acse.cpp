// The association parameters of iec61850_client.h: ACSE password authentication.

#include "client_connection.h"
#include "iec61850_client.h"

extern "C" {

IsoConnectionParameters MmsConnection_getIsoConnectionParameters(MmsConnection self) {
    return self == nullptr ? nullptr : self->owner->isoParameters();
}

void IsoConnectionParameters_setAcseAuthenticationParameter(IsoConnectionParameters self,
                                                            AcseAuthenticationParameter acseAuthParameter) {
    if (self != nullptr) {
        self->acseAuthParameter = acseAuthParameter;
    }
}

AcseAuthenticationParameter AcseAuthenticationParameter_create(void) {
    return new sAcseAuthenticationParameter;
}

void AcseAuthenticationParameter_destroy(AcseAuthenticationParameter self) {
    delete self;
}

void AcseAuthenticationParameter_setAuthMechanism(AcseAuthenticationParameter self,
                                                  AcseAuthenticationMechanism mechanism) {
    if (self != nullptr) {
        self->mechanism = mechanism;
    }
}

void AcseAuthenticationParameter_setPassword(AcseAuthenticationParameter self, char* password) {
    if (self != nullptr) {
        self->password = password != nullptr ? password : "";
    }
}

}  // extern "C"
