#include "model_generator.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

namespace iedsim {
namespace {

constexpr unsigned kNodesPerDevice = 100;
constexpr unsigned kMembersPerDataSet = 10;

struct Kind {
    const char* lnClass;
    const char* lnType;
    const char* member;  // doName and daName of the data set member
    const char* memberAttribute;
    const char* fc;
};

// Measurements dominate real substations, followed by switchgear and generic I/O.
const Kind kMix[] = {
    {"MMXU", "BAY_MMXU", "TotW", "mag.f", "MX"}, {"GGIO", "BAY_GGIO", "Ind1", "stVal", "ST"},
    {"XCBR", "BAY_XCBR", "Pos", "stVal", "ST"},  {"MMXU", "BAY_MMXU", "Hz", "mag.f", "MX"},
    {"CSWI", "BAY_CSWI", "Pos", "stVal", "ST"},
};
constexpr unsigned kMixSize = sizeof kMix / sizeof kMix[0];

std::string number(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", width, value);
    return text;
}

}  // namespace

std::string generateModel(unsigned logicalNodes, const std::string& iedName) {
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<SCL xmlns=\"http://www.iec.ch/61850/2003/SCL\" version=\"2007\" revision=\"B\">\n"
        << "  <Header id=\"generated\" nameStructure=\"IEDName\"/>\n"
        << "  <IED name=\"" << iedName << "\" manufacturer=\"Veltra\" type=\"generated\">\n"
        << "    <AccessPoint name=\"S1\">\n      <Server>\n        <Authentication none=\"true\"/>\n";
    unsigned devices = (logicalNodes + kNodesPerDevice - 1) / kNodesPerDevice;
    for (unsigned d = 0; d < devices; ++d) {
        unsigned first = d * kNodesPerDevice;
        unsigned count = std::min(kNodesPerDevice, logicalNodes - first);
        std::string ldInst = "LD" + number(d + 1, 3);
        std::map<std::string, unsigned> instances;  // per class, inside the device
        std::ostringstream nodes, sets, controls;
        std::vector<std::string> members;
        for (unsigned i = 0; i < count; ++i) {
            const Kind& k = kMix[(first + i) % kMixSize];
            unsigned inst = ++instances[k.lnClass];
            nodes << "          <LN lnClass=\"" << k.lnClass << "\" lnType=\"" << k.lnType << "\" inst=\""
                  << inst << "\" prefix=\"\">\n";
            if (std::string(k.lnClass) == "CSWI" || std::string(k.lnClass) == "XCBR") {
                nodes << "            <DOI name=\"Pos\"><DAI name=\"stVal\"><Val>off</Val></DAI>"
                      << "<DAI name=\"ctlModel\"><Val>"
                      << (std::string(k.lnClass) == "CSWI" ? "sbo-with-enhanced-security" : "status-only")
                      << "</Val></DAI></DOI>\n";
            } else if (std::string(k.lnClass) == "MMXU") {
                nodes << "            <DOI name=\"TotW\"><SDI name=\"mag\"><DAI name=\"f\"><Val>"
                      << (1000 + 37 * i) << "</Val></DAI></SDI></DOI>\n"
                      << "            <DOI name=\"Hz\"><SDI name=\"mag\"><DAI "
                         "name=\"f\"><Val>50</Val></DAI></SDI></DOI>\n";
            } else if (std::string(k.lnClass) == "GGIO") {
                for (int s = 2; s <= 5; ++s) {
                    nodes << "            <DOI name=\"SPCSO" << s << "\"><DAI name=\"ctlModel\"><Val>"
                          << (s - 1) << "</Val></DAI></DOI>\n";
                }
            }
            nodes << "          </LN>\n";
            std::string member(k.memberAttribute);
            members.push_back("<FCDA ldInst=\"" + ldInst + "\" lnClass=\"" + k.lnClass + "\" lnInst=\"" +
                              std::to_string(inst) + "\" doName=\"" + k.member + "\" daName=\"" + member +
                              "\" fc=\"" + k.fc + "\"/>");
        }
        for (unsigned s = 0; s * kMembersPerDataSet < members.size(); ++s) {
            std::string name = "DS" + number(s + 1, 2);
            sets << "            <DataSet name=\"" << name << "\">\n";
            for (unsigned m = s * kMembersPerDataSet; m < members.size() && m < (s + 1) * kMembersPerDataSet;
                 ++m) {
                sets << "              " << members[m] << "\n";
            }
            sets << "            </DataSet>\n";
            for (int buffered = 0; buffered < 2; ++buffered) {
                controls
                    << "            <ReportControl name=\"" << (buffered ? "B" : "U") << name
                    << "\" datSet=\"" << name << "\" rptID=\"" << ldInst << name << (buffered ? "B" : "U")
                    << "\" confRev=\"1\" buffered=\"" << (buffered ? "true" : "false")
                    << "\" bufTime=\"100\" intgPd=\"5000\">\n"
                    << "              <TrgOps dchg=\"true\" qchg=\"true\" period=\"true\" gi=\"true\"/>\n"
                    << "              <OptFields seqNum=\"true\" timeStamp=\"true\" dataSet=\"true\" "
                       "reasonCode=\"true\" configRef=\"true\"/>\n"
                    << "              <RptEnabled max=\"1\"/>\n            </ReportControl>\n";
            }
        }
        out << "        <LDevice inst=\"" << ldInst << "\">\n"
            << "          <LN0 lnClass=\"LLN0\" lnType=\"BAY_LLN0\" inst=\"\">\n"
            << sets.str() << controls.str()
            << "            <DOI name=\"Mod\"><DAI name=\"stVal\"><Val>on</Val></DAI></DOI>\n"
            << "            <DOI name=\"Beh\"><DAI name=\"stVal\"><Val>on</Val></DAI></DOI>\n"
            << "          </LN0>\n"
            << "          <LN lnClass=\"LPHD\" lnType=\"BAY_LPHD\" inst=\"1\" prefix=\"\"/>\n"
            << nodes.str() << "        </LDevice>\n";
    }
    out << "      </Server>\n    </AccessPoint>\n  </IED>\n" << kGeneratedTemplates << "</SCL>\n";
    return out.str();
}

}  // namespace iedsim
