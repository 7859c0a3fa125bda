#pragma once
// What an IedConnection handle points to, and the error translation; shared by the files of the C
// facade.

#include "client_connection.h"
#include "client_error.h"
#include "iec61850_client.h"

struct sIedConnection {
    sIedConnection() : connection(this) {}
    iecstack::client::ClientConnection connection;
};

namespace iecstack::client {

// The C interface's name for an error of the client.
IedClientError iedClientError(ClientError error);

// Where a C function lets the client report: the caller's IedClientError, set from `reported` when
// the function returns. Callers may pass a null error pointer; the answer then goes nowhere.
class ErrorSink {
public:
    explicit ErrorSink(IedClientError* target) : target_(target) {}
    ~ErrorSink() {
        if (target_ != nullptr) {
            *target_ = iedClientError(reported);
        }
    }
    ErrorSink(const ErrorSink&) = delete;
    ErrorSink& operator=(const ErrorSink&) = delete;

    ClientError reported = ClientError::Ok;

private:
    IedClientError* target_;
};

}  // namespace iecstack::client
