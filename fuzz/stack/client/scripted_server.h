#pragma once
// A server for the client's fuzz targets whose answers are the fuzz input. A real association on the
// loopback interface carries them, so they reach the client as a device's would.
//
// Answers are "length (2 octets, big-endian), kind, body". Kinds: 0 a confirmed response around the
// body (the service element), 1 a confirmed error around it, 2 the body as a whole PDU as it is, 3 an
// unconfirmed PDU (a report) around it, after which the next answer goes to the same request. Whatever
// the input, every request is finally met with a reject, so no call waits for its time-out.

#include <cstddef>
#include <cstdint>

#include "iec61850_client.h"

namespace korvan::fuzz {

// Takes the answers of `data` from `offset` on as the script for the next requests.
void setScript(const uint8_t* data, size_t size, size_t offset);
// A fresh association with the scripted server; aborts the program when it cannot be made.
IedConnection connectToScriptedServer(uint32_t requestTimeoutMs);
// Destroys the connection and waits until the server's side of it is over too, so that nothing of
// this input is still on its way when the leak check runs.
void finish(IedConnection connection);

}  // namespace korvan::fuzz
