#include "scl/scl_loader.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <pugixml.hpp>

namespace iecstack::scl {
namespace {

// Turns pugixml's byte offsets into line numbers for messages.
class LineIndex {
public:
    explicit LineIndex(const std::string& text) {
        lineStarts_.push_back(0);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                lineStarts_.push_back(i + 1);
            }
        }
    }
    int lineOf(ptrdiff_t offset) const {
        if (offset < 0) {
            return 0;
        }
        auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), static_cast<size_t>(offset));
        return static_cast<int>(it - lineStarts_.begin());
    }

private:
    std::vector<size_t> lineStarts_;
};

struct Refusal {
    int line;
    std::string problem;
};

bool parseUnsigned(const std::string& text, unsigned long& out) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    char* end = nullptr;
    out = std::strtoul(text.c_str(), &end, 10);
    return end && *end == '\0';
}

bool parseInt(const std::string& text, long& out) {
    if (text.empty() || text.size() > 11) {
        return false;
    }
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0';
}

bool isTrue(const pugi::xml_node& node, const char* attr, bool fallback) {
    pugi::xml_attribute a = node.attribute(attr);
    if (!a) {
        return fallback;
    }
    std::string v = a.value();
    return v == "true" || v == "1";
}

// The TrgOps of a report or log control block; without the element a block triggers on general
// interrogation only.
template <typename Block>
void readTriggerOptions(const pugi::xml_node& block, Block& into) {
    if (pugi::xml_node t = block.child("TrgOps")) {
        into.trgDchg = isTrue(t, "dchg", false);
        into.trgQchg = isTrue(t, "qchg", false);
        into.trgDupd = isTrue(t, "dupd", false);
        into.trgPeriod = isTrue(t, "period", false);
        into.trgGi = isTrue(t, "gi", true);
    }
}

class Parser {
public:
    explicit Parser(const std::string& text) : lines_(text) {}

    Document parse(const pugi::xml_document& xml) {
        Document doc;
        pugi::xml_node root = xml.child("SCL");
        if (!root) {
            fail(1, "no SCL root element");
            return doc;
        }
        pugi::xml_node templates = root.child("DataTypeTemplates");
        if (templates) {
            readTemplates(templates, doc.templates);
        }
        for (pugi::xml_node ied : root.children("IED")) {
            doc.ieds.push_back(readIed(ied));
        }
        if (doc.ieds.empty()) {
            fail(line(root), "the file describes no IED");
        }
        for (pugi::xml_node subNetwork : root.child("Communication").children("SubNetwork")) {
            for (pugi::xml_node ap : subNetwork.children("ConnectedAP")) {
                ConnectedAccessPoint connected;
                connected.line = line(ap);
                connected.iedName = ap.attribute("iedName").value();
                connected.apName = ap.attribute("apName").value();
                for (pugi::xml_node p : ap.child("Address").children("P")) {
                    if (std::string(p.attribute("type").value()) == "IP") {
                        connected.ipAddress = p.text().get();
                    }
                }
                doc.connectedAccessPoints.push_back(std::move(connected));
            }
        }
        return doc;
    }

    // The first problem found; the parser reads on after it but the document is discarded.
    const std::optional<Refusal>& failure() const { return failure_; }
    // "line: problem" for what was taken although it is not quite right.
    const std::vector<std::string>& warnings() const { return warnings_; }

private:
    void fail(int at, std::string problem) const {
        if (!failure_) {
            failure_ = Refusal{at, std::move(problem)};
        }
    }

    int line(const pugi::xml_node& node) const { return lines_.lineOf(node.offset_debug()); }

    std::string required(const pugi::xml_node& node, const char* attr) const {
        pugi::xml_attribute a = node.attribute(attr);
        if (!a || a.value()[0] == '\0') {
            fail(line(node), std::string("<") + node.name() + "> has no " + attr + " attribute");
        }
        return a.value();
    }

    // Some tools write a type with an empty id and refer to it with type="". That is taken, with a
    // warning, while only one type of the kind has it; a second would make every reference ambiguous.
    std::string typeId(const pugi::xml_node& node) {
        pugi::xml_attribute a = node.attribute("id");
        if (!a) {
            fail(line(node), std::string("<") + node.name() + "> has no id attribute");
        } else if (a.value()[0] == '\0') {
            if (!emptyIdKinds_.insert(node.name()).second) {
                fail(line(node), std::string("more than one <") + node.name() + "> has an empty id");
            } else {
                warnings_.push_back(std::to_string(line(node)) + ": <" + node.name() +
                                    "> has an empty id; type=\"\" refers to it");
            }
        }
        return a.value();
    }

    // A reference to a type: present, though it may be empty (see typeId).
    std::string typeReference(const pugi::xml_node& node, const char* attr) const {
        pugi::xml_attribute a = node.attribute(attr);
        if (!a) {
            fail(line(node), std::string("<") + node.name() + "> has no " + attr + " attribute");
        }
        return a.value();
    }

    unsigned long unsignedAttr(const pugi::xml_node& node, const char* attr, unsigned long fallback) const {
        pugi::xml_attribute a = node.attribute(attr);
        if (!a) {
            return fallback;
        }
        unsigned long v = 0;
        if (!parseUnsigned(a.value(), v)) {
            fail(line(node), std::string(attr) + "=\"" + a.value() + "\" is not an unsigned number");
        }
        return v;
    }

    AttributeDef readAttribute(const pugi::xml_node& node, bool withFc) const {
        AttributeDef a;
        a.line = line(node);
        a.name = required(node, "name");
        a.bType = required(node, "bType");
        a.type = node.attribute("type").value();
        if (withFc) {
            a.fc = required(node, "fc");
        }
        a.valKind = node.attribute("valKind").value();
        a.count = static_cast<unsigned>(unsignedAttr(node, "count", 0));
        a.dchg = isTrue(node, "dchg", false);
        a.qchg = isTrue(node, "qchg", false);
        a.dupd = isTrue(node, "dupd", false);
        for (pugi::xml_node val : node.children("Val")) {
            a.values.push_back(val.text().get());
        }
        return a;
    }

    // Some tools write a shared type once more, word for word; that copy is dropped with a warning. Two
    // different definitions under one id cannot both be meant, so the file is refused.
    template <typename Map>
    void insertUnique(Map& map, std::string id, typename Map::mapped_type&& value,
                      const pugi::xml_node& node) {
        const std::string key = std::string(node.name()) + '/' + id;
        const auto first = definitions_.emplace(key, node);
        if (first.second) {
            map.emplace(id, std::move(value));
        } else if (printed(first.first->second) == printed(node)) {
            warnings_.push_back(std::to_string(line(node)) + ": type id \"" + id +
                                "\" is defined twice with the same content; the copy is ignored");
        } else {
            fail(line(node), "type id \"" + id + "\" is defined twice");
        }
    }

    static std::string printed(const pugi::xml_node& node) {
        std::ostringstream out;
        node.print(out, "", pugi::format_raw);
        return out.str();
    }

    void readTemplates(const pugi::xml_node& node, DataTypeTemplates& t) {
        for (pugi::xml_node n : node.children("LNodeType")) {
            LNodeType lt;
            lt.line = line(n);
            lt.id = typeId(n);
            lt.lnClass = required(n, "lnClass");
            for (pugi::xml_node d : n.children("DO")) {
                lt.dataObjects.push_back({required(d, "name"), typeReference(d, "type"), line(d)});
            }
            insertUnique(t.lnodeTypes, lt.id, std::move(lt), n);
        }
        for (pugi::xml_node n : node.children("DOType")) {
            DoType dt;
            dt.line = line(n);
            dt.id = typeId(n);
            dt.cdc = n.attribute("cdc").value();
            for (pugi::xml_node c : n.children()) {
                std::string kind = c.name();
                DoChild child;
                child.line = line(c);
                if (kind == "DA") {
                    child.attribute = readAttribute(c, true);
                } else if (kind == "SDO") {
                    child.isSdo = true;
                    child.sdoName = required(c, "name");
                    child.sdoType = typeReference(c, "type");
                    child.sdoCount = static_cast<unsigned>(unsignedAttr(c, "count", 0));
                } else {
                    continue;  // descriptions and private elements
                }
                dt.children.push_back(std::move(child));
            }
            insertUnique(t.doTypes, dt.id, std::move(dt), n);
        }
        for (pugi::xml_node n : node.children("DAType")) {
            DaType dt;
            dt.line = line(n);
            dt.id = typeId(n);
            for (pugi::xml_node b : n.children("BDA")) {
                dt.attributes.push_back(readAttribute(b, false));
            }
            insertUnique(t.daTypes, dt.id, std::move(dt), n);
        }
        for (pugi::xml_node n : node.children("EnumType")) {
            EnumType et;
            et.line = line(n);
            et.id = typeId(n);
            for (pugi::xml_node v : n.children("EnumVal")) {
                long ord = 0;
                if (!parseInt(required(v, "ord"), ord)) {
                    fail(line(v),
                         std::string("EnumVal ord=\"") + v.attribute("ord").value() + "\" is not a number");
                }
                et.values.emplace_back(static_cast<int>(ord), v.text().get());
            }
            insertUnique(t.enumTypes, et.id, std::move(et), n);
        }
    }

    void readInstanceValues(const pugi::xml_node& node, const std::string& base,
                            std::vector<InstanceValue>& out) const {
        for (pugi::xml_node c : node.children()) {
            std::string kind = c.name();
            if (kind != "DOI" && kind != "SDI" && kind != "DAI") {
                continue;
            }
            std::string path = base.empty() ? required(c, "name") : base + "." + required(c, "name");
            if (c.attribute("ix")) {
                path += "[" + std::string(c.attribute("ix").value()) + "]";
            }
            if (kind == "DAI") {
                InstanceValue v;
                v.path = path;
                v.line = line(c);
                for (pugi::xml_node val : c.children("Val")) {
                    if (const unsigned group = val.attribute("sGroup").as_uint(0); group > 0) {
                        v.groupValues.emplace_back(group, val.text().get());
                    } else {
                        v.values.push_back(val.text().get());
                    }
                }
                if (!v.values.empty() || !v.groupValues.empty()) {
                    out.push_back(std::move(v));
                }
            } else {
                readInstanceValues(c, path, out);
            }
        }
    }

    ReportControl readReportControl(const pugi::xml_node& n) const {
        ReportControl r;
        r.line = line(n);
        r.name = required(n, "name");
        r.datSet = n.attribute("datSet").value();
        r.rptId = n.attribute("rptID").value();
        r.confRev = static_cast<uint32_t>(unsignedAttr(n, "confRev", 0));
        r.bufTime = static_cast<uint32_t>(unsignedAttr(n, "bufTime", 0));
        r.intgPd = static_cast<uint32_t>(unsignedAttr(n, "intgPd", 0));
        r.buffered = isTrue(n, "buffered", false);
        r.indexed = isTrue(n, "indexed", true);
        readTriggerOptions(n, r);
        if (pugi::xml_node o = n.child("OptFields")) {
            r.optSeqNum = isTrue(o, "seqNum", false);
            r.optTimeStamp = isTrue(o, "timeStamp", false);
            r.optDataSet = isTrue(o, "dataSet", false);
            r.optReasonCode = isTrue(o, "reasonCode", false);
            r.optDataRef = isTrue(o, "dataRef", false);
            r.optBufOvfl = isTrue(o, "bufOvfl", true);
            r.optEntryId = isTrue(o, "entryID", false);
            r.optConfigRef = isTrue(o, "configRef", false);
            r.optSegmentation = isTrue(o, "segmentation", false);
        }
        if (pugi::xml_node e = n.child("RptEnabled")) {
            r.maxInstances = static_cast<unsigned>(unsignedAttr(e, "max", 1));
            for (pugi::xml_node client = e.child("ClientLN"); client;
                 client = client.next_sibling("ClientLN")) {
                ++r.preassigned;
            }
        }
        if (r.maxInstances == 0 || r.maxInstances > 99) {
            fail(r.line, "report control \"" + r.name + "\" asks for " + std::to_string(r.maxInstances) +
                             " instances (1 to 99 allowed)");
        }
        return r;
    }

    LogControl readLogControl(const pugi::xml_node& n) const {
        LogControl l;
        l.line = line(n);
        l.name = required(n, "name");
        l.logName = n.attribute("logName").value();
        l.datSet = n.attribute("datSet").value();
        l.ldInst = n.attribute("ldInst").value();
        l.prefix = n.attribute("prefix").value();
        l.lnClass = n.attribute("lnClass").value();
        l.lnInst = n.attribute("lnInst").value();
        l.intgPd = static_cast<uint32_t>(unsignedAttr(n, "intgPd", 0));
        l.logEna = isTrue(n, "logEna", true);
        readTriggerOptions(n, l);
        return l;
    }

    SampledValueControl readSampledValueControl(const pugi::xml_node& n) const {
        SampledValueControl c;
        c.line = line(n);
        c.name = required(n, "name");
        c.datSet = n.attribute("datSet").value();
        c.smvId = n.attribute("smvID").value();
        c.confRev = static_cast<uint32_t>(unsignedAttr(n, "confRev", 0));
        c.smpRate = static_cast<uint16_t>(std::min(unsignedAttr(n, "smpRate", 0), 65535UL));
        c.nofAsdu = static_cast<uint16_t>(std::min(unsignedAttr(n, "nofASDU", 1), 65535UL));
        c.multicast = isTrue(n, "multicast", true);
        const std::string smpMod = n.attribute("smpMod").value();
        c.smpMod = smpMod == "SmpPerSec" ? 1 : smpMod == "SecPerSmp" ? 2 : 0;
        if (pugi::xml_node o = n.child("SmvOpts")) {
            c.optRefreshTime = isTrue(o, "refreshTime", false);
            c.optSampleSynchronized = isTrue(o, "sampleSynchronized", false);
            c.optSampleRate = isTrue(o, "sampleRate", false);
            c.optDataSet = isTrue(o, "dataSet", false);
            c.optSecurity = isTrue(o, "security", false);
        }
        return c;
    }

    SettingControl readSettingControl(const pugi::xml_node& n) const {
        SettingControl s;
        s.line = line(n);
        s.numOfSGs = static_cast<unsigned>(unsignedAttr(n, "numOfSGs", 0));
        s.actSG = static_cast<unsigned>(unsignedAttr(n, "actSG", 1));
        if (s.numOfSGs == 0 || s.numOfSGs > 255 || s.actSG == 0 || s.actSG > s.numOfSGs) {
            fail(s.line, "setting control has " + std::to_string(s.numOfSGs) + " groups and active group " +
                             std::to_string(s.actSG) + " (1 to 255 groups, the active one among them)");
        }
        return s;
    }

    LogicalNode readLn(const pugi::xml_node& n, bool isLn0) const {
        LogicalNode ln;
        ln.line = line(n);
        ln.lnClass = required(n, "lnClass");
        ln.lnType = typeReference(n, "lnType");
        ln.prefix = n.attribute("prefix").value();
        ln.inst = n.attribute("inst").value();
        if (!isLn0 && ln.inst.empty() && ln.lnClass != "LLN0") {
            fail(ln.line, "logical node " + ln.prefix + ln.lnClass + " has no inst attribute");
        }
        for (pugi::xml_node ds : n.children("DataSet")) {
            DataSet set;
            set.line = line(ds);
            set.name = required(ds, "name");
            for (pugi::xml_node f : ds.children("FCDA")) {
                Fcda m;
                m.line = line(f);
                m.ldInst = f.attribute("ldInst").value();
                m.prefix = f.attribute("prefix").value();
                m.lnClass = f.attribute("lnClass").value();
                m.lnInst = f.attribute("lnInst").value();
                m.doName = f.attribute("doName").value();
                m.daName = f.attribute("daName").value();
                m.fc = required(f, "fc");
                m.ix = f.attribute("ix").value();
                set.members.push_back(std::move(m));
            }
            ln.dataSets.push_back(std::move(set));
        }
        for (pugi::xml_node rc : n.children("ReportControl")) {
            ln.reportControls.push_back(readReportControl(rc));
        }
        for (pugi::xml_node lc : n.children("LogControl")) {
            ln.logControls.push_back(readLogControl(lc));
        }
        for (pugi::xml_node sv : n.children("SampledValueControl")) {
            ln.sampledValueControls.push_back(readSampledValueControl(sv));
        }
        for (pugi::xml_node log : n.children("Log")) {
            ln.logs.push_back(log.attribute("name").value());
        }
        if (pugi::xml_node sc = n.child("SettingControl"); sc && isLn0) {
            ln.settingControl = readSettingControl(sc);
        }
        readInstanceValues(n, "", ln.instanceValues);
        return ln;
    }

    Ied readIed(const pugi::xml_node& n) const {
        Ied ied;
        ied.line = line(n);
        ied.name = required(n, "name");
        ied.manufacturer = n.attribute("manufacturer").value();
        ied.type = n.attribute("type").value();
        ied.desc = n.attribute("desc").value();
        ied.reportOwner = n.child("Services").child("ReportSettings").attribute("owner").as_bool(false);
        for (pugi::xml_node apNode : n.children("AccessPoint")) {
            AccessPoint ap;
            ap.line = line(apNode);
            ap.name = required(apNode, "name");
            pugi::xml_node server = apNode.child("Server");
            ap.hasServer = static_cast<bool>(server);
            if (pugi::xml_node auth = server.child("Authentication")) {
                ap.authentication.line = line(auth);
                ap.authentication.none = isTrue(auth, "none", true);
                ap.authentication.password = isTrue(auth, "password", false);
                ap.authentication.weak = isTrue(auth, "weak", false);
                ap.authentication.strong = isTrue(auth, "strong", false);
                ap.authentication.certificate = isTrue(auth, "certificate", false);
            }
            for (pugi::xml_node ldNode : server.children("LDevice")) {
                LogicalDevice ld;
                ld.line = line(ldNode);
                ld.inst = required(ldNode, "inst");
                ld.ldName = ldNode.attribute("ldName").value();
                pugi::xml_node ln0 = ldNode.child("LN0");
                if (!ln0) {
                    fail(ld.line, "logical device \"" + ld.inst + "\" has no LN0");
                }
                ld.ln0 = readLn(ln0, true);
                for (pugi::xml_node lnNode : ldNode.children("LN")) {
                    ld.lns.push_back(readLn(lnNode, false));
                }
                ap.logicalDevices.push_back(std::move(ld));
            }
            ied.accessPoints.push_back(std::move(ap));
        }
        return ied;
    }

    LineIndex lines_;
    mutable std::optional<Refusal> failure_;
    std::vector<std::string> warnings_;
    std::set<std::string> emptyIdKinds_;
    // The first definition of each type, by element name and id, for comparing a second one with it.
    std::map<std::string, pugi::xml_node> definitions_;
};

}  // namespace

Result<Document, LoadError> loadSclText(const std::string& text, const std::string& fileName) {
    pugi::xml_document xml;
    pugi::xml_parse_result parsed = xml.load_buffer(text.data(), text.size());
    if (!parsed) {
        LineIndex lines(text);
        return LoadError{fileName + ":" + std::to_string(lines.lineOf(parsed.offset)) +
                         ": XML error: " + parsed.description()};
    }
    Parser parser(text);
    Document doc = parser.parse(xml);
    if (const auto& refusal = parser.failure()) {
        return LoadError{fileName + ":" + std::to_string(refusal->line) + ": " + refusal->problem};
    }
    doc.fileName = fileName;
    for (const std::string& warning : parser.warnings()) {
        doc.warnings.push_back(fileName + ":" + warning);
    }
    return doc;
}

Result<Document, LoadError> loadSclFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return LoadError{path + ": cannot open the file"};
    }
    // Read in one piece where the size is known; a stream without one (a pipe) is read as it comes.
    std::string text;
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(path, error);
    const std::uintmax_t size = regular ? std::filesystem::file_size(path, error) : 0;
    if (regular && !error && size > 0) {
        text.resize(static_cast<size_t>(size));
        in.read(text.data(), static_cast<std::streamsize>(size));
        text.resize(static_cast<size_t>(in.gcount()));
    } else {
        in.clear();
        std::ostringstream content;
        content << in.rdbuf();
        text = content.str();
    }
    return loadSclText(text, path);
}

}  // namespace iecstack::scl
