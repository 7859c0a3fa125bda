// The simulator's logs: entries for each trigger a log control block asks for (integrity periods among
// them), the bound on a log with its oldest entry advancing, a block's data set changed while it is
// off, and journal queries by time and after an entry at their bounds.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "hex.h"
#include "iso/scheduler.h"
#include "log_engine.h"
#include "mms/codec.h"
#include "scl/scl_loader.h"
#include "server/mms_mapping.h"
#include "server/mms_services.h"
#include "server/model_builder.h"
#include "server/session.h"

using namespace iecstack;
using namespace iecstack::server;
using korvan::test::toHex;

namespace {

const char* const kLogged = R"(<SCL><IED name="S"><AccessPoint name="A"><Server><LDevice inst="LD">
  <LN0 lnClass="LLN0" lnType="L0" inst="">
    <DataSet name="DS"><FCDA lnClass="GGIO" lnInst="1" doName="Ind" fc="ST"/></DataSet>
    <LogControl name="Dchg" datSet="DS" logName="Log"><TrgOps dchg="true" gi="true"/></LogControl>
    <LogControl name="Qchg" datSet="DS" logName="QLog"><TrgOps qchg="true"/></LogControl>
    <LogControl name="Dupd" datSet="DS" logName="ULog"><TrgOps dupd="true"/></LogControl>
    <Log name="Log"/><Log name="QLog"/><Log name="ULog"/>
  </LN0>
  <LN lnClass="GGIO" inst="1" lnType="G"/>
</LDevice></Server></AccessPoint></IED>
<DataTypeTemplates>
  <LNodeType id="L0" lnClass="LLN0"><DO name="Mod" type="M"/></LNodeType>
  <LNodeType id="G" lnClass="GGIO"><DO name="Ind" type="S"/></LNodeType>
  <DOType id="M" cdc="ENC"><DA name="stVal" bType="INT32" fc="ST"/></DOType>
  <DOType id="S" cdc="SPS">
    <DA name="stVal" bType="BOOLEAN" fc="ST" dchg="true"/><DA name="q" bType="Quality" fc="ST" qchg="true"/>
    <DA name="cnt" bType="INT32" fc="ST" dupd="true"/>
  </DOType>
</DataTypeTemplates></SCL>)";

std::unique_ptr<DataModel> loggedModel() {
    auto doc = scl::loadSclText(kLogged, "device.icd");
    EXPECT_TRUE(doc.ok());
    auto model = buildDataModel(*doc, "");
    EXPECT_TRUE(model.ok()) << (model.ok() ? "" : model.error().message);
    return model.ok() ? std::move(*model) : nullptr;
}

void store(DataModel& model, const std::string& item, const MmsValue& value) {
    std::lock_guard<std::mutex> lock(model.valueLock());
    storeValue(model, *model.find("SLD", item), value);
}

MmsValue quality(bool questionable) {
    mms::BitString bits(13);
    bits.setBit(0, questionable);
    bits.setBit(1, questionable);
    return MmsValue::bitString(bits);
}

MmsValue lcbValue(DataModel& model, const std::string& item) {
    std::lock_guard<std::mutex> lock(model.valueLock());
    return model.find("SLD", item)->value;
}

mms::ReadJournalRequest queryOf(const std::string& log) {
    mms::ReadJournalRequest q;
    q.journalName = mms::ObjectName::domain("SLD", "LLN0$" + log);
    return q;
}

mms::ReadJournalResponse entriesOf(const LogEngine& logs, const mms::ReadJournalRequest& q,
                                   size_t maxPduSize = 65000) {
    std::string summary;
    mms::Pdu pdu = logs.query(1, q, maxPduSize, summary);
    const auto* r = std::get_if<mms::ConfirmedResponse>(&pdu);
    EXPECT_NE(r, nullptr) << summary;
    return r ? std::get<mms::ReadJournalResponse>(r->service) : mms::ReadJournalResponse{};
}

uint8_t reasonOf(const mms::JournalEntry& entry) {
    EXPECT_EQ(entry.variables.size(), 2u);
    EXPECT_EQ(entry.variables.back().tag, "ReasonCode");
    return static_cast<uint8_t>(entry.variables.back().value.bitsAsUint32() >> 1);
}

TEST(LogRecording, EachTriggerGoesToTheLogsThatAskForIt) {
    auto model = loggedModel();
    ASSERT_TRUE(model);
    iso::Scheduler scheduler;
    LogEngine logs(*model, scheduler);
    store(*model, "GGIO1$ST$Ind$stVal", MmsValue::boolean(true));
    store(*model, "GGIO1$ST$Ind$stVal", MmsValue::boolean(true));  // unchanged: no data change
    store(*model, "GGIO1$ST$Ind$q", quality(true));
    store(*model, "GGIO1$ST$Ind$cnt", MmsValue::integer(0));  // an update without a change

    auto dchg = entriesOf(logs, queryOf("Log"));
    ASSERT_EQ(dchg.entries.size(), 1u);
    EXPECT_EQ(dchg.entries[0].variables[0].tag, "SLD/GGIO1$ST$Ind");
    EXPECT_EQ(dchg.entries[0].variables[0].value.elements().at(0), MmsValue::boolean(true));
    EXPECT_EQ(reasonOf(dchg.entries[0]), 1u);
    EXPECT_EQ(dchg.entries[0].entryId.size(), 8u);
    auto qchg = entriesOf(logs, queryOf("QLog"));
    ASSERT_EQ(qchg.entries.size(), 1u);
    EXPECT_EQ(reasonOf(qchg.entries[0]), 2u);
    auto dupd = entriesOf(logs, queryOf("ULog"));
    ASSERT_EQ(dupd.entries.size(), 1u) << "a store of the same value is an update all the same";
    EXPECT_EQ(reasonOf(dupd.entries[0]), 4u);

    // The block shows where its log stands; the general-interrogation bit is not one of its triggers.
    EXPECT_EQ(lcbValue(*model, "LLN0$LG$Dchg$NewEntr"), MmsValue::octetString(dchg.entries[0].entryId));
    EXPECT_EQ(lcbValue(*model, "LLN0$LG$Dchg$OldEntr"), MmsValue::octetString(dchg.entries[0].entryId));
    EXPECT_EQ(lcbValue(*model, "LLN0$LG$Dchg$NewEntrTm").binaryTimeMs(), dchg.entries[0].occurrenceTimeMs);
    EXPECT_FALSE(lcbValue(*model, "LLN0$LG$Dchg$TrgOps").bit(5));

    // Switched off, a block records nothing.
    store(*model, "LLN0$LG$Dchg$LogEna", MmsValue::boolean(false));
    store(*model, "GGIO1$ST$Ind$stVal", MmsValue::boolean(false));
    EXPECT_EQ(entriesOf(logs, queryOf("Log")).entries.size(), 1u);
}

TEST(LogRecording, ABoundedLogDropsItsOldestAndQueriesMeetTheBounds) {
    auto model = loggedModel();
    ASSERT_TRUE(model);
    iso::Scheduler scheduler;
    LogEngine logs(*model, scheduler, LoggingLimits{3});
    for (int i = 0; i < 5; ++i) {
        store(*model, "GGIO1$ST$Ind$stVal", MmsValue::boolean(i % 2 == 0));
    }
    auto kept = entriesOf(logs, queryOf("Log"));
    ASSERT_EQ(kept.entries.size(), 3u);
    EXPECT_EQ(toHex(kept.entries[0].entryId), "00 00 00 00 00 00 00 03");
    EXPECT_EQ(toHex(kept.entries[2].entryId), "00 00 00 00 00 00 00 05");
    EXPECT_EQ(lcbValue(*model, "LLN0$LG$Dchg$OldEntr"), MmsValue::octetString(kept.entries[0].entryId));
    EXPECT_EQ(lcbValue(*model, "LLN0$LG$Dchg$OldEntrTm").binaryTimeMs(), kept.entries[0].occurrenceTimeMs);

    auto after = [&](uint8_t id) {
        auto q = queryOf("Log");
        q.entryToStartAfter =
            mms::ReadJournalRequest::After{kept.entries[0].occurrenceTimeMs, Bytes{0, 0, 0, 0, 0, 0, 0, id}};
        return entriesOf(logs, q).entries;
    };
    EXPECT_EQ(after(1).size(), 3u) << "after a dropped entry: everything kept";
    ASSERT_EQ(after(4).size(), 1u);
    EXPECT_EQ(after(4)[0].entryId.back(), 5u);
    EXPECT_TRUE(after(5).empty());

    // By time, both ends inclusive.
    const uint64_t first = kept.entries[0].occurrenceTimeMs, last = kept.entries[2].occurrenceTimeMs;
    auto q = queryOf("Log");
    q.startingTimeMs = first;
    q.endingTimeMs = last;
    EXPECT_EQ(entriesOf(logs, q).entries.size(), 3u);
    q.startingTimeMs = last + 1;
    EXPECT_TRUE(entriesOf(logs, q).entries.empty());
    q.startingTimeMs = 0;
    q.endingTimeMs = first == 0 ? 0 : first - 1;
    EXPECT_TRUE(entriesOf(logs, q).entries.empty());
}

// A block with a period and a second data set to switch to.
const char* const kConfigurable = R"(<SCL><IED name="S"><AccessPoint name="A"><Server><LDevice inst="LD">
  <LN0 lnClass="LLN0" lnType="L0" inst="">
    <DataSet name="DS"><FCDA lnClass="GGIO" lnInst="1" doName="Ind" fc="ST"/></DataSet>
    <DataSet name="DS2"><FCDA lnClass="GGIO" lnInst="1" doName="Alm" fc="ST"/></DataSet>
    <LogControl name="Intg" datSet="DS" logName="Log" intgPd="40" logEna="false"><TrgOps dchg="true" period="true"/></LogControl>
    <Log name="Log"/>
  </LN0>
  <LN lnClass="GGIO" inst="1" lnType="G"/>
</LDevice></Server></AccessPoint></IED>
<DataTypeTemplates>
  <LNodeType id="L0" lnClass="LLN0"><DO name="Mod" type="M"/></LNodeType>
  <LNodeType id="G" lnClass="GGIO"><DO name="Ind" type="S"/><DO name="Alm" type="S"/></LNodeType>
  <DOType id="M" cdc="ENC"><DA name="stVal" bType="INT32" fc="ST"/></DOType>
  <DOType id="S" cdc="SPS">
    <DA name="stVal" bType="BOOLEAN" fc="ST" dchg="true"/><DA name="q" bType="Quality" fc="ST" qchg="true"/>
  </DOType>
</DataTypeTemplates></SCL>)";

std::unique_ptr<DataModel> configurableModel() {
    auto doc = scl::loadSclText(kConfigurable, "device.icd");
    EXPECT_TRUE(doc.ok());
    auto model = buildDataModel(*doc, "");
    EXPECT_TRUE(model.ok()) << (model.ok() ? "" : model.error().message);
    return model.ok() ? std::move(*model) : nullptr;
}

std::optional<mms::DataAccessError> writeBlock(LogEngine& logs, DataModel& model,
                                               const std::string& attribute, const MmsValue& value) {
    std::lock_guard<std::mutex> lock(model.valueLock());
    return logs.write(*model.find("SLD", "LLN0$LG$Intg$" + attribute), value);
}

// Waits until the log holds `count` entries; false when it did not within a generous bound.
bool waitForEntries(const LogEngine& logs, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (entriesOf(logs, queryOf("Log")).entries.size() < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST(LogRecording, AnIntegrityPeriodRecordsTheWholeDataSetWhileTheBlockAsks) {
    auto model = configurableModel();
    ASSERT_TRUE(model);
    iso::Scheduler scheduler;
    LogEngine logs(*model, scheduler);
    EXPECT_TRUE(entriesOf(logs, queryOf("Log")).entries.empty()) << "off as the file gives it";

    ASSERT_EQ(writeBlock(logs, *model, "LogEna", MmsValue::boolean(true)), std::nullopt);
    ASSERT_TRUE(waitForEntries(logs, 2));
    const auto entries = entriesOf(logs, queryOf("Log")).entries;
    EXPECT_EQ(entries[0].variables[0].tag, "SLD/GGIO1$ST$Ind");
    EXPECT_EQ(reasonOf(entries[0]), 8u);
    EXPECT_EQ(reasonOf(entries[1]), 8u);

    // Without the period among its triggers, the block records changes only.
    mms::BitString changesOnly(6);
    changesOnly.setBit(1, true);
    ASSERT_EQ(writeBlock(logs, *model, "TrgOps", MmsValue::bitString(changesOnly)), std::nullopt);
    const size_t before = entriesOf(logs, queryOf("Log")).entries.size();
    store(*model, "GGIO1$ST$Ind$stVal", MmsValue::boolean(true));
    ASSERT_TRUE(waitForEntries(logs, before + 1));
    // A period already due when the triggers changed finds them changed.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // five periods
    const auto after = entriesOf(logs, queryOf("Log")).entries;
    ASSERT_EQ(after.size(), before + 1);
    EXPECT_EQ(reasonOf(after.back()), 1u);
}

TEST(LogControlBlocks, TheDataSetChangesOnlyWhileOffAndTheBoundsAreTheDevices) {
    auto model = configurableModel();
    ASSERT_TRUE(model);
    iso::Scheduler scheduler;
    LogEngine logs(*model, scheduler);
    ASSERT_EQ(writeBlock(logs, *model, "LogEna", MmsValue::boolean(true)), std::nullopt);
    EXPECT_EQ(writeBlock(logs, *model, "DatSet", MmsValue::visibleString("SLD/LLN0$DS2")),
              mms::DataAccessError::TemporarilyUnavailable);
    EXPECT_EQ(writeBlock(logs, *model, "OldEntr", MmsValue::octetString(Bytes(8, 9))),
              mms::DataAccessError::ObjectAccessDenied);
    EXPECT_EQ(writeBlock(logs, *model, "NewEntrTm", MmsValue::binaryTimeFromMs(0, true)),
              mms::DataAccessError::ObjectAccessDenied);

    ASSERT_EQ(writeBlock(logs, *model, "LogEna", MmsValue::boolean(false)), std::nullopt);
    EXPECT_EQ(writeBlock(logs, *model, "DatSet", MmsValue::visibleString("SLD/LLN0$Nothing")),
              mms::DataAccessError::ObjectValueInvalid);
    EXPECT_EQ(lcbValue(*model, "LLN0$LG$Intg$DatSet"), MmsValue::visibleString("SLD/LLN0$DS"));
    ASSERT_EQ(writeBlock(logs, *model, "DatSet", MmsValue::visibleString("SLD/LLN0$DS2")), std::nullopt);
    mms::BitString changesOnly(6);
    changesOnly.setBit(1, true);
    ASSERT_EQ(writeBlock(logs, *model, "TrgOps", MmsValue::bitString(changesOnly)), std::nullopt);
    ASSERT_EQ(writeBlock(logs, *model, "LogEna", MmsValue::boolean(true)), std::nullopt);

    // Now the new data set's member is logged, the former one's is not.
    store(*model, "GGIO1$ST$Ind$stVal", MmsValue::boolean(true));
    store(*model, "GGIO1$ST$Alm$stVal", MmsValue::boolean(true));
    const auto entries = entriesOf(logs, queryOf("Log")).entries;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].variables[0].tag, "SLD/GGIO1$ST$Alm");
}

TEST(LogQueries, AnswersAreCutToThePduSizeAndContinueAfterTheirLastEntry) {
    auto model = loggedModel();
    ASSERT_TRUE(model);
    iso::Scheduler scheduler;
    LogEngine logs(*model, scheduler);
    for (int i = 0; i < 40; ++i) {
        store(*model, "GGIO1$ST$Ind$stVal", MmsValue::boolean(i % 2 == 0));
    }
    std::vector<mms::JournalEntry> all;
    auto part = entriesOf(logs, queryOf("Log"), 300);
    size_t answers = 1;
    all.insert(all.end(), part.entries.begin(), part.entries.end());
    while (part.moreFollows) {
        ASSERT_FALSE(part.entries.empty());
        auto q = queryOf("Log");
        q.entryToStartAfter =
            mms::ReadJournalRequest::After{part.entries.back().occurrenceTimeMs, part.entries.back().entryId};
        part = entriesOf(logs, q, 300);
        all.insert(all.end(), part.entries.begin(), part.entries.end());
        ++answers;
    }
    EXPECT_GT(answers, 3u);
    ASSERT_EQ(all.size(), 40u);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].entryId.back(), i + 1);
    }
    auto limited = queryOf("Log");
    limited.numberOfEntries = 7;
    EXPECT_EQ(entriesOf(logs, limited).entries.size(), 7u);
}

TEST(LogQueries, UnknownLogsAndDomainsAreRefused) {
    auto model = loggedModel();
    ASSERT_TRUE(model);
    MmsServices services(*model, ServerIdentity{});
    auto session = Session::detached();
    auto ask = [&](mms::ConfirmedRequestService service) {
        return services.answer(mms::ConfirmedRequest{1, std::move(service)}, *session);
    };
    auto isNonExistent = [](const mms::Pdu& pdu) {
        const auto* e = std::get_if<mms::ConfirmedError>(&pdu);
        return e && e->error.errorClass == mms::ErrorClass::Access &&
               e->error.code == static_cast<int64_t>(mms::AccessErrorCode::ObjectNonExistent);
    };
    EXPECT_TRUE(isNonExistent(ask(queryOf("Nothing"))));
    mms::GetNameListRequest names;
    names.objectClass = mms::ObjectClass::Journal;
    names.scope = mms::ObjectName::Scope::Domain;
    names.domainId = "SLD";
    mms::Pdu listed = ask(names);
    ASSERT_TRUE(std::holds_alternative<mms::ConfirmedResponse>(listed));
    EXPECT_EQ(
        std::get<mms::GetNameListResponse>(std::get<mms::ConfirmedResponse>(listed).service).identifiers,
        (std::vector<std::string>{"LLN0$Log", "LLN0$QLog", "LLN0$ULog"}));
    names.domainId = "NOPE";
    EXPECT_TRUE(isNonExistent(ask(names)));
}

}  // namespace
