#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace iecstack::scl {

// The parts of a substation configuration file that a server needs to build its data model. Names and
// attribute texts are kept as written; interpretation (enumerations, value parsing) happens when the
// model is built, where the type of each attribute is known.

struct EnumType {
    std::string id;
    std::vector<std::pair<int, std::string>> values;  // ord, literal
    int line = 0;
};

// A DA of a DOType or a BDA of a DAType.
struct AttributeDef {
    std::string name;
    std::string bType;  // BOOLEAN, INT32, Struct, Enum, ...
    std::string type;   // DAType id for Struct, EnumType id for Enum
    std::string fc;     // empty for BDAs
    std::string valKind;
    unsigned count = 0;               // > 0 makes the attribute an array
    std::vector<std::string> values;  // Val texts (several for arrays)
    bool dchg = false, qchg = false, dupd = false;
    int line = 0;
};

struct DaType {
    std::string id;
    std::vector<AttributeDef> attributes;
    int line = 0;
};

// One child of a DOType in document order: either a data attribute or a sub data object.
struct DoChild {
    bool isSdo = false;
    AttributeDef attribute;  // when !isSdo
    std::string sdoName, sdoType;
    unsigned sdoCount = 0;
    int line = 0;
    const std::string& name() const { return isSdo ? sdoName : attribute.name; }
};

struct DoType {
    std::string id, cdc;
    std::vector<DoChild> children;
    int line = 0;
};

struct DoRef {
    std::string name, type;
    int line = 0;
};

struct LNodeType {
    std::string id, lnClass;
    std::vector<DoRef> dataObjects;
    int line = 0;
};

struct DataTypeTemplates {
    std::map<std::string, LNodeType> lnodeTypes;
    std::map<std::string, DoType> doTypes;
    std::map<std::string, DaType> daTypes;
    std::map<std::string, EnumType> enumTypes;
};

struct Fcda {
    std::string ldInst, prefix, lnClass, lnInst, doName, daName, fc;
    std::string ix;  // element of the array the names lead to; empty when not given
    int line = 0;
};

struct DataSet {
    std::string name;
    std::vector<Fcda> members;
    int line = 0;
};

struct ReportControl {
    std::string name, datSet, rptId;
    uint32_t confRev = 0, bufTime = 0, intgPd = 0;
    bool buffered = false;
    bool indexed = true;
    unsigned maxInstances = 1;
    // Instances assigned to client IEDs by ClientLN entries: the first ones, in order.
    unsigned preassigned = 0;
    // Trigger options: dchg, qchg, dupd, period, gi.
    bool trgDchg = false, trgQchg = false, trgDupd = false, trgPeriod = false, trgGi = true;
    // Optional fields: seqNum, timeStamp, dataSet, reasonCode, dataRef, bufOvfl, entryID, configRef,
    // segmentation.
    // bufOvfl is on unless the file turns it off, as devices serve it.
    bool optSeqNum = false, optTimeStamp = false, optDataSet = false, optReasonCode = false,
         optDataRef = false, optBufOvfl = true, optEntryId = false, optConfigRef = false,
         optSegmentation = false;
    int line = 0;
};

struct LogControl {
    std::string name, datSet, logName;
    // Where the log lives; empty parts mean this logical device's LLN0.
    std::string ldInst, prefix, lnClass, lnInst;
    uint32_t intgPd = 0;
    bool logEna = true;
    bool trgDchg = false, trgQchg = false, trgDupd = false, trgPeriod = false, trgGi = true;
    int line = 0;
};

// A sampled-value control block; multicast ones are served under MS, unicast ones under US.
struct SampledValueControl {
    std::string name, datSet, smvId;
    uint32_t confRev = 0;
    uint16_t smpRate = 0, nofAsdu = 1;
    bool multicast = true;
    uint8_t smpMod = 0;  // 0 samples per period, 1 per second, 2 seconds per sample
    // SmvOpts: refreshTime, sampleSynchronized, sampleRate, dataSet, security.
    bool optRefreshTime = false, optSampleSynchronized = false, optSampleRate = false, optDataSet = false,
         optSecurity = false;
    int line = 0;
};

// The setting groups of a logical device (LLN0 only).
struct SettingControl {
    unsigned numOfSGs = 0;
    unsigned actSG = 1;
    int line = 0;
};

// An initial value from a DOI/SDI/DAI: the path below the logical node, dot-separated
// ("Mod.ctlModel", "NamPlt.vendor", "A.phsA.cVal.mag.f").
struct InstanceValue {
    std::string path;
    std::vector<std::string> values;
    // Values of a setting for each setting group (sGroup, counted from 1), in file order.
    std::vector<std::pair<unsigned, std::string>> groupValues;
    int line = 0;
};

struct LogicalNode {
    std::string prefix, lnClass, inst, lnType;
    std::vector<DataSet> dataSets;
    std::vector<ReportControl> reportControls;
    std::vector<LogControl> logControls;
    std::vector<SampledValueControl> sampledValueControls;
    std::vector<std::string> logs;  // names of the Log elements
    std::optional<SettingControl> settingControl;
    std::vector<InstanceValue> instanceValues;
    int line = 0;
    std::string name() const { return prefix + lnClass + inst; }
};

struct LogicalDevice {
    std::string inst, ldName;
    LogicalNode ln0;
    std::vector<LogicalNode> lns;
    int line = 0;
};

// How clients must authenticate to a server; an element without attributes admits anyone.
struct Authentication {
    bool none = true;
    bool password = false, weak = false, strong = false, certificate = false;
    int line = 0;
};

struct AccessPoint {
    std::string name;
    bool hasServer = false;
    Authentication authentication;
    std::vector<LogicalDevice> logicalDevices;
    int line = 0;
};

struct Ied {
    std::string name, manufacturer, type, desc;
    // Report control blocks show the address of the client holding them (ReportSettings owner).
    bool reportOwner = false;
    std::vector<AccessPoint> accessPoints;
    int line = 0;
};

// Where an access point of an IED is reached, from the Communication section.
struct ConnectedAccessPoint {
    std::string iedName, apName;
    std::string ipAddress;  // empty when the address names none
    int line = 0;
};

struct Document {
    std::string fileName;
    // "file:line: problem" for what was loaded although it is not quite right.
    std::vector<std::string> warnings;
    std::vector<Ied> ieds;
    DataTypeTemplates templates;
    std::vector<ConnectedAccessPoint> connectedAccessPoints;
};

}  // namespace iecstack::scl
