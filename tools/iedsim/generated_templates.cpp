#include "model_generator.h"

namespace iedsim {

// The data types of the generated devices: the bay controller's templates, so that generated and
// sample models look alike to a client.
const char* const kGeneratedTemplates = R"xml(  <DataTypeTemplates>
    <LNodeType id="BAY_LLN0" lnClass="LLN0">
      <DO name="Mod" type="BAY_ENC_Mod"/>
      <DO name="Beh" type="BAY_ENS_Beh"/>
      <DO name="Health" type="BAY_ENS_Health"/>
      <DO name="NamPlt" type="BAY_LPL"/>
    </LNodeType>
    <LNodeType id="BAY_LPHD" lnClass="LPHD">
      <DO name="PhyNam" type="BAY_DPL"/>
      <DO name="PhyHealth" type="BAY_ENS_Health"/>
      <DO name="Proxy" type="BAY_SPS"/>
    </LNodeType>
    <LNodeType id="BAY_XCBR" lnClass="XCBR">
      <DO name="Beh" type="BAY_ENS_Beh"/>
      <DO name="Loc" type="BAY_SPS"/>
      <DO name="OpCnt" type="BAY_INS"/>
      <DO name="Pos" type="BAY_DPC_Status"/>
      <DO name="BlkOpn" type="BAY_SPC_Direct"/>
      <DO name="BlkCls" type="BAY_SPC_Direct"/>
      <DO name="CBOpCap" type="BAY_ENS_CbOpCap"/>
    </LNodeType>
    <LNodeType id="BAY_CSWI" lnClass="CSWI">
      <DO name="Beh" type="BAY_ENS_Beh"/>
      <DO name="Pos" type="BAY_DPC_SboEnhanced"/>
    </LNodeType>
    <LNodeType id="BAY_GGIO" lnClass="GGIO">
      <DO name="Beh" type="BAY_ENS_Beh"/>
      <DO name="Ind1" type="BAY_SPS"/>
      <DO name="Ind2" type="BAY_SPS"/>
      <DO name="Ind3" type="BAY_SPS"/>
      <DO name="Ind4" type="BAY_SPS"/>
      <DO name="SPCSO1" type="BAY_SPC_Direct"/>
      <DO name="SPCSO2" type="BAY_SPC_Direct"/>
      <DO name="SPCSO3" type="BAY_SPC_Sbo"/>
      <DO name="SPCSO4" type="BAY_SPC_DirectEnhanced"/>
      <DO name="SPCSO5" type="BAY_SPC_SboEnhanced"/>
      <DO name="ISCSO1" type="BAY_INC_Direct"/>
    </LNodeType>
    <LNodeType id="BAY_MMXU" lnClass="MMXU">
      <DO name="Beh" type="BAY_ENS_Beh"/>
      <DO name="TotW" type="BAY_MV"/>
      <DO name="TotVAr" type="BAY_MV"/>
      <DO name="Hz" type="BAY_MV"/>
      <DO name="PhV" type="BAY_WYE"/>
      <DO name="A" type="BAY_WYE"/>
    </LNodeType>
    <DOType id="BAY_ENC_Mod" cdc="ENC">
      <DA name="stVal" bType="Enum" type="BehaviourMode" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
      <DA name="ctlModel" bType="Enum" type="CtlModel" fc="CF"/>
    </DOType>
    <DOType id="BAY_ENS_Beh" cdc="ENS">
      <DA name="stVal" bType="Enum" type="BehaviourMode" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
    </DOType>
    <DOType id="BAY_ENS_Health" cdc="ENS">
      <DA name="stVal" bType="Enum" type="Health" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
    </DOType>
    <DOType id="BAY_ENS_CbOpCap" cdc="ENS">
      <DA name="stVal" bType="Enum" type="CbOpCap" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
    </DOType>
    <DOType id="BAY_LPL" cdc="LPL">
      <DA name="vendor" bType="VisString255" fc="DC"/>
      <DA name="swRev" bType="VisString255" fc="DC"/>
      <DA name="d" bType="VisString255" fc="DC"/>
      <DA name="configRev" bType="VisString255" fc="DC"/>
      <DA name="ldNs" bType="VisString255" fc="EX"/>
    </DOType>
    <DOType id="BAY_DPL" cdc="DPL">
      <DA name="vendor" bType="VisString255" fc="DC"/>
      <DA name="model" bType="VisString255" fc="DC"/>
      <DA name="serNum" bType="VisString255" fc="DC"/>
    </DOType>
    <DOType id="BAY_SPS" cdc="SPS">
      <DA name="stVal" bType="BOOLEAN" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
    </DOType>
    <DOType id="BAY_INS" cdc="INS">
      <DA name="stVal" bType="INT32" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
    </DOType>
    <DOType id="BAY_DPC_Status" cdc="DPC">
      <DA name="stVal" bType="Dbpos" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
      <DA name="ctlModel" bType="Enum" type="CtlModel" fc="CF"/>
    </DOType>
    <DOType id="BAY_DPC_SboEnhanced" cdc="DPC">
      <DA name="origin" bType="Struct" type="BAY_Originator" fc="ST"/>
      <DA name="ctlNum" bType="INT8U" fc="ST"/>
      <DA name="stVal" bType="Dbpos" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
      <DA name="stSeld" bType="BOOLEAN" fc="ST" dchg="true"/>
      <DA name="SBOw" bType="Struct" type="BAY_DpcOperate" fc="CO"/>
      <DA name="Oper" bType="Struct" type="BAY_DpcOperate" fc="CO"/>
      <DA name="Cancel" bType="Struct" type="BAY_DpcCancel" fc="CO"/>
      <DA name="ctlModel" bType="Enum" type="CtlModel" fc="CF"/>
      <DA name="sboTimeout" bType="INT32U" fc="CF"/>
      <DA name="operTimeout" bType="INT32U" fc="CF"/>
    </DOType>
    <DOType id="BAY_SPC_Direct" cdc="SPC">
      <DA name="stVal" bType="BOOLEAN" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
      <DA name="Oper" bType="Struct" type="BAY_SpcOperate" fc="CO"/>
      <DA name="ctlModel" bType="Enum" type="CtlModel" fc="CF"/>
    </DOType>
    <DOType id="BAY_SPC_Sbo" cdc="SPC">
      <DA name="stVal" bType="BOOLEAN" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
      <DA name="SBO" bType="ObjRef" fc="CO"/>
      <DA name="Oper" bType="Struct" type="BAY_SpcOperate" fc="CO"/>
      <DA name="Cancel" bType="Struct" type="BAY_SpcCancel" fc="CO"/>
      <DA name="ctlModel" bType="Enum" type="CtlModel" fc="CF"/>
      <DA name="sboTimeout" bType="INT32U" fc="CF"/>
    </DOType>
    <DOType id="BAY_SPC_DirectEnhanced" cdc="SPC">
      <DA name="stVal" bType="BOOLEAN" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
      <DA name="Oper" bType="Struct" type="BAY_SpcOperate" fc="CO"/>
      <DA name="Cancel" bType="Struct" type="BAY_SpcCancel" fc="CO"/>
      <DA name="ctlModel" bType="Enum" type="CtlModel" fc="CF"/>
    </DOType>
    <DOType id="BAY_SPC_SboEnhanced" cdc="SPC">
      <DA name="stVal" bType="BOOLEAN" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
      <DA name="SBOw" bType="Struct" type="BAY_SpcOperate" fc="CO"/>
      <DA name="Oper" bType="Struct" type="BAY_SpcOperate" fc="CO"/>
      <DA name="Cancel" bType="Struct" type="BAY_SpcCancel" fc="CO"/>
      <DA name="ctlModel" bType="Enum" type="CtlModel" fc="CF"/>
      <DA name="sboTimeout" bType="INT32U" fc="CF"/>
    </DOType>
    <DOType id="BAY_INC_Direct" cdc="INC">
      <DA name="stVal" bType="INT32" fc="ST" dchg="true"/>
      <DA name="q" bType="Quality" fc="ST" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="ST"/>
      <DA name="Oper" bType="Struct" type="BAY_IncOperate" fc="CO"/>
      <DA name="ctlModel" bType="Enum" type="CtlModel" fc="CF"/>
    </DOType>
    <DOType id="BAY_MV" cdc="MV">
      <DA name="mag" bType="Struct" type="BAY_AnalogueValue" fc="MX" dchg="true"/>
      <DA name="q" bType="Quality" fc="MX" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="MX"/>
      <DA name="units" bType="Struct" type="BAY_Unit" fc="CF"/>
      <DA name="db" bType="INT32U" fc="CF"/>
    </DOType>
    <DOType id="BAY_CMV" cdc="CMV">
      <DA name="cVal" bType="Struct" type="BAY_Vector" fc="MX" dchg="true"/>
      <DA name="q" bType="Quality" fc="MX" qchg="true"/>
      <DA name="t" bType="Timestamp" fc="MX"/>
      <DA name="units" bType="Struct" type="BAY_Unit" fc="CF"/>
    </DOType>
    <DOType id="BAY_WYE" cdc="WYE">
      <SDO name="phsA" type="BAY_CMV"/>
      <SDO name="phsB" type="BAY_CMV"/>
      <SDO name="phsC" type="BAY_CMV"/>
    </DOType>
    <DAType id="BAY_AnalogueValue">
      <BDA name="f" bType="FLOAT32"/>
    </DAType>
    <DAType id="BAY_Vector">
      <BDA name="mag" bType="Struct" type="BAY_AnalogueValue"/>
      <BDA name="ang" bType="Struct" type="BAY_AnalogueValue"/>
    </DAType>
    <DAType id="BAY_Unit">
      <BDA name="SIUnit" bType="Enum" type="SIUnit"/>
      <BDA name="multiplier" bType="Enum" type="Multiplier"/>
    </DAType>
    <DAType id="BAY_Originator">
      <BDA name="orCat" bType="Enum" type="OrCat"/>
      <BDA name="orIdent" bType="Octet64"/>
    </DAType>
    <DAType id="BAY_SpcOperate">
      <BDA name="ctlVal" bType="BOOLEAN"/>
      <BDA name="origin" bType="Struct" type="BAY_Originator"/>
      <BDA name="ctlNum" bType="INT8U"/>
      <BDA name="T" bType="Timestamp"/>
      <BDA name="Test" bType="BOOLEAN"/>
      <BDA name="Check" bType="Check"/>
    </DAType>
    <DAType id="BAY_SpcCancel">
      <BDA name="ctlVal" bType="BOOLEAN"/>
      <BDA name="origin" bType="Struct" type="BAY_Originator"/>
      <BDA name="ctlNum" bType="INT8U"/>
      <BDA name="T" bType="Timestamp"/>
      <BDA name="Test" bType="BOOLEAN"/>
    </DAType>
    <DAType id="BAY_DpcOperate">
      <BDA name="ctlVal" bType="BOOLEAN"/>
      <BDA name="origin" bType="Struct" type="BAY_Originator"/>
      <BDA name="ctlNum" bType="INT8U"/>
      <BDA name="T" bType="Timestamp"/>
      <BDA name="Test" bType="BOOLEAN"/>
      <BDA name="Check" bType="Check"/>
    </DAType>
    <DAType id="BAY_DpcCancel">
      <BDA name="ctlVal" bType="BOOLEAN"/>
      <BDA name="origin" bType="Struct" type="BAY_Originator"/>
      <BDA name="ctlNum" bType="INT8U"/>
      <BDA name="T" bType="Timestamp"/>
      <BDA name="Test" bType="BOOLEAN"/>
    </DAType>
    <DAType id="BAY_IncOperate">
      <BDA name="ctlVal" bType="INT32"/>
      <BDA name="origin" bType="Struct" type="BAY_Originator"/>
      <BDA name="ctlNum" bType="INT8U"/>
      <BDA name="T" bType="Timestamp"/>
      <BDA name="Test" bType="BOOLEAN"/>
      <BDA name="Check" bType="Check"/>
    </DAType>
    <EnumType id="BehaviourMode">
      <EnumVal ord="1">on</EnumVal>
      <EnumVal ord="2">on-blocked</EnumVal>
      <EnumVal ord="3">test</EnumVal>
      <EnumVal ord="4">test/blocked</EnumVal>
      <EnumVal ord="5">off</EnumVal>
    </EnumType>
    <EnumType id="Health">
      <EnumVal ord="1">Ok</EnumVal>
      <EnumVal ord="2">Warning</EnumVal>
      <EnumVal ord="3">Alarm</EnumVal>
    </EnumType>
    <EnumType id="CbOpCap">
      <EnumVal ord="1">None</EnumVal>
      <EnumVal ord="2">Open</EnumVal>
      <EnumVal ord="3">Close-Open</EnumVal>
      <EnumVal ord="4">Open-Close-Open</EnumVal>
      <EnumVal ord="5">Close-Open-Close-Open</EnumVal>
    </EnumType>
    <EnumType id="CtlModel">
      <EnumVal ord="0">status-only</EnumVal>
      <EnumVal ord="1">direct-with-normal-security</EnumVal>
      <EnumVal ord="2">sbo-with-normal-security</EnumVal>
      <EnumVal ord="3">direct-with-enhanced-security</EnumVal>
      <EnumVal ord="4">sbo-with-enhanced-security</EnumVal>
    </EnumType>
    <EnumType id="OrCat">
      <EnumVal ord="0">not-supported</EnumVal>
      <EnumVal ord="1">bay-control</EnumVal>
      <EnumVal ord="2">station-control</EnumVal>
      <EnumVal ord="3">remote-control</EnumVal>
      <EnumVal ord="4">automatic-bay</EnumVal>
      <EnumVal ord="5">automatic-station</EnumVal>
      <EnumVal ord="6">automatic-remote</EnumVal>
      <EnumVal ord="7">maintenance</EnumVal>
      <EnumVal ord="8">process</EnumVal>
    </EnumType>
    <EnumType id="SIUnit">
      <EnumVal ord="1"></EnumVal>
      <EnumVal ord="5">A</EnumVal>
      <EnumVal ord="29">V</EnumVal>
      <EnumVal ord="33">Hz</EnumVal>
      <EnumVal ord="38">W</EnumVal>
      <EnumVal ord="61">VA</EnumVal>
      <EnumVal ord="63">VAr</EnumVal>
    </EnumType>
    <EnumType id="Multiplier">
      <EnumVal ord="-3">m</EnumVal>
      <EnumVal ord="0"></EnumVal>
      <EnumVal ord="3">k</EnumVal>
      <EnumVal ord="6">M</EnumVal>
    </EnumType>
  </DataTypeTemplates>
)xml";

}  // namespace iedsim
