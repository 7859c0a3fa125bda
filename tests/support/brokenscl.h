#pragma once
// Configuration files that must be refused, each with the problem its refusal names after the file
// name: the line and what is wrong. Shared by the tests of the offline model and of the window.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace brokenscl {

struct BrokenFile {
    const char* name;
    QByteArray content;
    QString problem;  // follows "path" in the refusal
    // The file names several IEDs, so the window asks which one before it can refuse it.
    bool asksForIed = false;
};

inline QVector<BrokenFile> brokenFiles() {
    const QByteArray types =
        R"(<DataTypeTemplates><LNodeType id="L0" lnClass="LLN0"><DO name="Mod" type="M"/></LNodeType>
<DOType id="M" cdc="ENC"><DA name="stVal" bType="INT32" fc="ST"/></DOType></DataTypeTemplates>)";
    const QByteArray ied = R"(<IED name="X"><AccessPoint name="AP"><Server><LDevice inst="LD">
<LN0 lnClass="LLN0" lnType="L0" inst=""/></LDevice></Server></AccessPoint></IED>)";
    return {
        {"truncated", QByteArray("<?xml version=\"1.0\"?>\n<SCL>\n" + ied).left(90), ":3: XML error"},
        {"not SCL", "<?xml version=\"1.0\"?>\n<html><body/></html>\n", ":1: no SCL root element"},
        {"not text",
         QByteArray("\x7f"
                    "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0",
                    16),
         ":1: XML error"},
        {"dangling node type",
         "<SCL>\n" + QByteArray(ied).replace("lnType=\"L0\"", "lnType=\"Nope\"") + types + "</SCL>",
         ":3: logical node LLN0 refers to missing LNodeType \"Nope\""},
        {"dangling object type",
         "<SCL>\n" + ied + QByteArray(types).replace("type=\"M\"", "type=\"Gone\"") + "</SCL>",
         ":3: data object \"Mod\" refers to missing DOType \"Gone\""},
        {"logical node twice",
         "<SCL>\n" +
             QByteArray(ied).replace("</LDevice>",
                                     "<LN lnClass=\"LLN0\" lnType=\"L0\" inst=\"\"/>\n</LDevice>") +
             types + "</SCL>",
         ":3: logical node LLN0 appears twice in XLD"},
        {"data object twice",
         "<SCL>\n" + ied +
             QByteArray(types).replace("<DO name=\"Mod\" type=\"M\"/>",
                                       "<DO name=\"Mod\" type=\"M\"/>\n<DO name=\"Mod\" type=\"M\"/>") +
             "</SCL>",
         ":4: \"Mod\" appears twice in its type"},
        {"IED twice", "<SCL>\n" + ied + "\n" + ied + types + "</SCL>", ": several IEDs (X, X)", true},
        {"type defined twice",
         "<SCL>\n" + ied +
             "<DataTypeTemplates><DOType id=\"M\" cdc=\"A\"/>\n<DOType id=\"M\" "
             "cdc=\"B\"/></DataTypeTemplates></SCL>",
         ":4: type id \"M\" is defined twice"},
    };
}

}  // namespace brokenscl
