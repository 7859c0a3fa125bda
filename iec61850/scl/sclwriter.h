#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ber/result.h"
#include "iec61850_client.h"
#include "modelsnapshot.h"

namespace korvan::scl {

// Where the model was read from, and what the file calls the device.
struct SaveOptions {
    std::string host;  // written as the access point's address
    uint16_t port = 0;
    // The IED's name; empty derives it from the logical device names (their common beginning when
    // there are several, otherwise "IED" with each logical device named in full).
    std::string iedName;
};

struct SavedModel {
    std::string text;  // the ICD file
    // What the device has that a file cannot hold and was left out, one sentence each.
    std::vector<std::string> omissions;
    size_t logicalDevices = 0, logicalNodes = 0, types = 0;
};

struct SaveError {
    std::string message;
};

// An ICD file a server can load and serve as the snapshot's device: logical devices and nodes, type
// templates rebuilt from the parts' types, data sets, report, log and sampled-value control blocks
// with their configuration, the setting group control block, and the values the parts hold (those a
// file can set; settings as the active group's) as initial values. Refused when the model cannot be
// written so that it loads (a logical device without LLN0, a type with no counterpart in a file).
iecstack::Result<SavedModel, SaveError> sclTextOf(const ModelSnapshot& snapshot, const SaveOptions& options);

// Reads the model of the device at the other end of `connection` and writes it to `path`. The file
// is written beside `path` first and renamed, so a failed save never leaves half a file in its place.
iecstack::Result<SavedModel, SaveError> saveDeviceModel(IedConnection connection, const std::string& path,
                                                        const SaveOptions& options);

// Writes `text` to `path` through a temporary file in the same folder; an empty string when it worked,
// otherwise why not.
std::string writeFileAtomically(const std::string& path, const std::string& text);

}  // namespace korvan::scl
