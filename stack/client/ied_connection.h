#pragma once
// What an IedConnection handle points to; shared by the files of the C facade.

#include "client_connection.h"

struct sIedConnection {
    sIedConnection() : connection(this) {}
    iecstack::client::ClientConnection connection;
};
