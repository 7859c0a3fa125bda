// The MMS PDU codec against byte strings: PDUs as the reference captures carry them (decode, and
// encode back to the same bytes), then malformed input grouped by the kind of damage.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "ber/writer.h"
#include "hex.h"
#include "mms/codec.h"
#include "wire_text.h"

namespace {

using namespace iecstack;
using namespace iecstack::mms;
using korvan::test::toHex;
using korvan::test::wire;

Pdu decoded(const Bytes& bytes) {
    auto result = decodePdu(bytes);
    EXPECT_TRUE(result.ok()) << toHex(bytes) << " -> " << errorName(result.error().failure.error) << " / "
                             << ber::errorName(result.error().failure.berError);
    return result.ok() ? std::move(*result) : Pdu(ConcludeRequest{});
}

Error failureOf(const Bytes& bytes, const DecodeLimits& limits = {}) {
    auto result = decodePdu(bytes, limits);
    EXPECT_FALSE(result.ok()) << toHex(bytes);
    return result.ok() ? Error::Malformed : result.error().failure.error;
}

// Copies out of the variants, so that results of temporaries can be held by reference.
template <typename T>
T as(const Pdu& pdu) {
    const T* value = std::get_if<T>(&pdu);
    EXPECT_NE(value, nullptr) << "PDU variant index " << pdu.index();
    return value != nullptr ? *value : T{};
}

template <typename T, typename Variant>
T service(const Variant& variant) {
    const T* value = std::get_if<T>(&variant);
    EXPECT_NE(value, nullptr) << "service variant index " << variant.index();
    return value != nullptr ? *value : T{};
}

// Every PDU the notes spell out in full, as it stands in the captures; each must decode and encode
// back to the same bytes.
struct Golden {
    const char* frame;
    const char* bytes;
};

const Golden kGolden[] = {
    {"01#8 initiate-Request",
     "a8 26 80 03 00 fd e8 81 01 05 82 01 05 83 01 0a a4 16 80 01 01 81 03 05 f1 00 "
     "82 0c 03 ee 1c 00 00 04 08 00 00 79 ef 18"},
    {"01#9 initiate-Response",
     "a9 26 80 03 00 fd e8 81 01 05 82 01 05 83 01 0a a4 16 80 01 01 81 03 05 f1 00 "
     "82 0c 03 ee 1c 00 00 00 00 00 00 00 01 18"},
    {"01#14 conclude-Request", "8b 00"},
    {"01#15 conclude-Response", "8c 00"},
    {"01#12 identify response", R"(a1 1a 02 01 01 a2 15 80 02 "MZ" 81 08 "basic io" 82 05 "1.4.2")"},
    {"02#11 GetNameList domains", "a0 0e 02 01 01 a1 09 a0 03 80 01 09 a1 02 80 00"},
    {"02#14 GetNameList variables", R"(a0 1f 02 01 02 a1 1a a0 03 80 01 00 a1 13 81 11 "simpleIOGenericIO")"},
    {"03a#17 GetNameList continueAfter",
     R"(a0 36 02 01 05 a1 31 a0 03 80 01 00 a1 13 81 11 "simpleIOGenericIO" 82 15 "GGIO1$ST$Health$stVal")"},
    {"02#12 GetNameList response", R"(a1 1d 02 01 01 a1 18 a0 13 1a 11 "simpleIOGenericIO" 81 01 00)"},
    {"03a#15 GetNameList response, more follow", R"(a1 1a 02 01 01 a1 15 a0 13 1a 11 "simpleIOGenericIO")"},
    {"02#21 confirmed-Error", "a2 0a 80 01 07 a2 05 a0 03 87 01 02"},
    {"05#11 Read request", R"(a0 39 02 01 01 a4 34 a1 32 a0 30 30 2e a0 2c a1 2a 1a 11 "simpleIOGenericIO" )"
                           R"(1a 15 "GGIO1$ST$SPCSO1$stVal")"},
    {"05#12 Read response", "a1 0a 02 01 01 a4 05 a1 03 83 01 00"},
    {"05#69 Read response, four results",
     "a1 19 02 01 18 a4 14 a1 12 83 01 00 84 03 03 00 00 80 01 0a 87 05 08 bf 20 04 8d"},
    {"05#27 utc-time", "a1 11 02 01 09 a4 0c a1 0a 91 08 6b 16 62 4c 73 74 bc a0"},
    {"05#48 binary-time", "a1 0f 02 01 10 a4 0a a1 08 8c 06 00 00 00 00 00 00"},
    {"08#17 unsigned with leading zero", "a1 0c 02 01 03 a4 07 a1 05 86 03 00 9c 40"},
    {"07#20 data set read",
     R"(a0 2c 02 01 04 a4 27 a1 25 a1 23 a1 21 1a 11 "simpleIOGenericIO" 1a 0c "LLN0$Events2")"},
    {"07#32 read with specWithResult", R"(a0 14 02 01 0b a4 0f 80 01 01 a1 0a a1 08 82 06 "MyAADS")"},
    {"08#11 Write request", R"(a0 41 02 01 01 a5 3c a0 35 30 33 a0 31 a1 2f 1a 11 "simpleIOGenericIO" )"
                            R"(1a 1a "LLN0$RP$EventsRCB01$RptEna" a0 03 83 01 01)"},
    {"08#12 Write success", "a1 07 02 01 01 a5 02 81 00"},
    {"08#30 Write failure", "a1 08 02 01 0a a5 03 80 01 03"},
    {"11#17 Oper write",
     R"(a0 5c 02 01 03 a5 57 a0 2f 30 2d a0 2b a1 29 1a 11 "simpleIOGenericIO" 1a 14 "GGIO1$CO$SPCSO1$Oper" )"
     R"(a0 24 a2 22 83 01 01 a2 09 85 01 03 89 04 "wire" 86 01 01 91 08 6b 16 62 a4 07 ae 14 00 83 01 00 )"
     "84 02 06 00"},
    {"04#14 GVAA request",
     R"(a0 2c 02 01 02 a6 27 a0 25 a1 23 1a 11 "simpleIOGenericIO" 1a 0e "GGIO1$MX$AnIn1")"},
    {"04#15 GVAA response",
     "a1 3d 02 01 02 a6 38 80 01 00 a2 33 a2 31 a1 2f 30 1a 80 03 6d 61 67 a1 13 a2 11 a1 0f 30 0d 80 01 66 "
     "a1 08 a7 06 02 01 20 02 01 08 30 08 80 01 71 a1 03 84 01 f3 30 07 80 01 74 a1 02 91 00"},
    {"04#21 GVAA of a boolean", "a1 0c 02 01 05 a6 07 80 01 00 a2 02 83 00"},
    {"07#11 GetNamedVariableListAttributes",
     R"(a0 27 02 01 01 ac 22 a1 20 1a 11 "simpleIOGenericIO" 1a 0b "LLN0$Events")"},
    {"07#24 DefineNamedVariableList response", "a1 05 02 01 05 8b 00"},
    {"07#36 DeleteNamedVariableList response", "a1 0b 02 01 0c ad 06 80 01 01 81 01 01"},
    {"09#41 report",
     R"(a3 7a a0 78 a1 05 80 03 "RPT" a0 6f 8a 07 "Events1" 84 03 06 7c 80 86 01 01 8c 06 01 a4 1b ff 3d 41 )"
     R"(8a 1d "simpleIOGenericIO/LLN0$Events" 86 01 01 84 02 04 80 )"
     R"(8a 27 "simpleIOGenericIO/GGIO1$ST$SPCSO1$stVal" 83 01 01 84 02 02 40)"},
    {"15#18 LastApplError",
     R"(a3 57 a0 55 a0 13 30 11 a0 0f 80 0d "LastApplError" a0 3e a2 3c )"
     R"(8a 26 "simpleIOGenericIO/GGIO1$CO$SPCSO4$Oper" 85 01 00 a2 09 85 01 03 89 04 "wire" 86 01 00 85 01 12)"},
    {"18#12 reject unrecognized-service", "a4 06 80 01 4d 81 01 01"},
    {"18#21 reject invalid-pdu", "a4 06 80 01 50 85 01 01"},
    {"18#24 reject unknown-pdu-type", "a4 03 85 01 00"},
    {"18#26 status request", "a0 06 02 01 0a 80 01 00"},
    {"18#27 status response", "a1 0b 02 01 0a a0 06 80 01 00 81 01 00"},
};

TEST(MmsCodecGolden, NotedPdusDecodeAndEncodeToTheSameBytes) {
    for (const Golden& golden : kGolden) {
        SCOPED_TRACE(golden.frame);
        const Bytes bytes = wire(golden.bytes);
        auto result = decodePdu(bytes);
        ASSERT_TRUE(result.ok()) << errorName(result.error().failure.error);
        EXPECT_EQ(toHex(encodePdu(*result)), toHex(bytes));
    }
}

TEST(MmsCodecGolden, InitiateCarriesPduSizeAndSupportStrings) {
    const auto request = as<InitiateRequest>(decoded(wire(kGolden[0].bytes))).parameters;
    EXPECT_EQ(request.localDetail, 65000);
    EXPECT_EQ(request.dataStructureNestingLevel, 10);
    EXPECT_EQ(request.parameterSupport,
              parameterSupport({ParameterSupport::Str1, ParameterSupport::Str2, ParameterSupport::Vnam,
                                ParameterSupport::Valt, ParameterSupport::Vlis}));
    const auto response = as<InitiateResponse>(decoded(wire(kGolden[1].bytes))).parameters;
    EXPECT_EQ(response.servicesSupported,
              servicesSupported(
                  {ServiceSupport::Status, ServiceSupport::GetNameList, ServiceSupport::Identify,
                   ServiceSupport::Read, ServiceSupport::Write, ServiceSupport::GetVariableAccessAttributes,
                   ServiceSupport::DefineNamedVariableList, ServiceSupport::GetNamedVariableListAttributes,
                   ServiceSupport::DeleteNamedVariableList, ServiceSupport::InformationReport,
                   ServiceSupport::Conclude, ServiceSupport::Cancel}));
}

TEST(MmsCodecGolden, GetNameListMoreFollowsDefaultsToTrue) {
    const auto& last = as<ConfirmedResponse>(decoded(wire(kGolden[8].bytes)));
    EXPECT_FALSE(service<GetNameListResponse>(last.service).moreFollows);
    const auto& partial = as<ConfirmedResponse>(decoded(wire(kGolden[9].bytes)));
    const auto& names = service<GetNameListResponse>(partial.service);
    EXPECT_TRUE(names.moreFollows);
    EXPECT_EQ(names.identifiers, std::vector<std::string>{"simpleIOGenericIO"});
    const auto& next = as<ConfirmedRequest>(decoded(wire(kGolden[7].bytes)));
    EXPECT_EQ(service<GetNameListRequest>(next.service).continueAfter, "GGIO1$ST$Health$stVal");
}

TEST(MmsCodecGolden, ReadResultsKeepTypesAndFailures) {
    const auto& response = as<ConfirmedResponse>(decoded(wire(kGolden[13].bytes)));
    EXPECT_EQ(response.invokeId, 0x18u);
    const auto results = service<ReadResponse>(response.service).results;
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[0], MmsValue::boolean(false));
    EXPECT_EQ(results[1].bits().bitCount(), 13u);
    EXPECT_EQ(results[2], MmsValue::accessError(DataAccessError::ObjectNonExistent));
    EXPECT_TRUE(results[3].type() == MMS_FLOAT && !results[3].isDoublePrecision());

    const auto& big = as<ConfirmedResponse>(decoded(wire(kGolden[16].bytes)));
    EXPECT_EQ(service<ReadResponse>(big.service).results.at(0), MmsValue::unsignedInteger(40000));
}

TEST(MmsCodecGolden, TypeDescriptionKeepsNegativeSizesAsUpperBounds) {
    const auto& response = as<ConfirmedResponse>(decoded(wire(kGolden[24].bytes)));
    const TypeSpec type = service<GetVariableAccessAttributesResponse>(response.service).type;
    ASSERT_EQ(type.components.size(), 3u);
    EXPECT_EQ(type.components[0].name, "mag");
    EXPECT_EQ(type.components[0].type.components.at(0).type.exponentWidth, 8);
    const TypeSpec& quality = type.components[1].type;
    EXPECT_EQ(quality.type, MMS_BIT_STRING);
    EXPECT_TRUE(quality.variableLength());
    EXPECT_EQ(quality.maxLength(), 13u);
    EXPECT_EQ(type.components[2].type.type, MMS_UTC_TIME);
}

TEST(MmsCodecGolden, WriteKeepsItsTwoListsApart) {
    const auto& request = as<ConfirmedRequest>(decoded(wire(kGolden[22].bytes)));
    const auto& write = service<WriteRequest>(request.service);
    ASSERT_EQ(write.spec.variables.size(), 1u);
    EXPECT_EQ(write.spec.variables[0].name, ObjectName::domain("simpleIOGenericIO", "GGIO1$CO$SPCSO1$Oper"));
    ASSERT_EQ(write.data.size(), 1u);
    const MmsValue& oper = write.data[0];
    ASSERT_EQ(oper.elements().size(), 6u);
    EXPECT_EQ(oper.elements()[1].elements()[1], MmsValue::octetString({'w', 'i', 'r', 'e'}));
    EXPECT_EQ(oper.elements()[3].utcTimeQuality(), 0);
    EXPECT_EQ(oper.elements()[5].bits().bitCount(), 2u);

    const auto& failed = as<ConfirmedResponse>(decoded(wire(kGolden[21].bytes)));
    EXPECT_EQ(service<WriteResponse>(failed.service).results.at(0), DataAccessError::ObjectAccessDenied);
}

TEST(MmsCodecGolden, ReportsNameTheirListOrTheirVariables) {
    const auto& report = as<UnconfirmedPdu>(decoded(wire(kGolden[29].bytes)));
    const auto& rpt = service<InformationReport>(report.service);
    EXPECT_EQ(rpt.spec.kind, VariableAccessSpec::Kind::VariableListName);
    EXPECT_EQ(rpt.spec.listName, ObjectName::vmd("RPT"));
    ASSERT_EQ(rpt.results.size(), 10u);
    EXPECT_EQ(rpt.results[3].binaryTimeMs(), 441763200000ull + 15681ull * 86400000ull + 0x01a41bffull);

    const auto& refusal = as<UnconfirmedPdu>(decoded(wire(kGolden[30].bytes)));
    const auto& lastAppl = service<InformationReport>(refusal.service);
    ASSERT_EQ(lastAppl.spec.variables.size(), 1u);
    EXPECT_EQ(lastAppl.spec.variables[0].name, ObjectName::vmd("LastApplError"));
    EXPECT_EQ(lastAppl.results.at(0).elements().at(4), MmsValue::integer(18));
}

TEST(MmsCodecGolden, EchoedAssociationNameIsReadInItsConstructedForm) {
    // 07#33: the responder wraps the echoed association-specific name in a constructed [2]. We read it
    // but write the primitive form that the request used, so the re-encoding is shorter on purpose.
    const Bytes captured = wire(R"(a1 18 02 01 0b a4 13 a0 0c a1 0a a2 08 1a 06 "MyAADS" a1 03 83 01 00)");
    const auto& response = as<ConfirmedResponse>(decoded(captured));
    const auto& read = service<ReadResponse>(response.service);
    ASSERT_TRUE(read.spec.has_value());
    EXPECT_EQ(read.spec->listName, ObjectName::association("MyAADS"));
    EXPECT_EQ(toHex(encodePdu(response)),
              toHex(wire(R"(a1 16 02 01 0b a4 11 a0 0a a1 08 82 06 "MyAADS" a1 03 83 01 00)")));
}

TEST(MmsCodecGolden, AlternateAccessPathsEncodeAsTheClientSendsThem) {
    // 06#26: element 3 of the array, then cVal, mag, f; 06#20 and 06#23: index and index range.
    struct Case {
        std::vector<AccessSelection> path;
        const char* bytes;
    } cases[] = {
        {{AccessSelection::at(3), AccessSelection::named("cVal"), AccessSelection::named("mag"),
          AccessSelection::named("f")},
         R"(a5 1d a0 1b 81 01 03 30 16 a0 14 80 04 "cVal" 30 0c a0 0a 80 03 "mag" 30 03 81 01 "f")"},
        {{AccessSelection::at(2)}, "a5 03 82 01 02"},
        {{AccessSelection::range(1, 3)}, "a5 08 a3 06 80 01 01 81 01 03"},
        {{AccessSelection::named("mag"), AccessSelection::named("f")},
         R"(a5 0c a0 0a 80 03 "mag" 30 03 81 01 "f")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        ReadRequest read;
        read.spec = VariableAccessSpec::list({{ObjectName::domain("LD", "MHAI1$MX$HA"), c.path}});
        const Bytes encoded = encodePdu(ConfirmedRequest{9, read});
        EXPECT_NE(toHex(encoded).find(toHex(wire(c.bytes))), std::string::npos) << toHex(encoded);
        const auto& back = as<ConfirmedRequest>(decoded(encoded));
        EXPECT_EQ(service<ReadRequest>(back.service).spec, read.spec);
    }
}

TEST(MmsCodecGolden, EveryDataTypeSurvivesEncodeAndDecode) {
    const MmsValue values[] = {
        MmsValue::floatDouble(-1.0 / 3),
        MmsValue::floatSingle(50.0f),
        MmsValue::integer(-129),
        MmsValue::integer(INT64_MIN),
        MmsValue::unsignedInteger(UINT64_MAX),
        MmsValue::bcd(1234),
        MmsValue::generalizedTime("20261207073851.528Z"),
        MmsValue::mmsString("Schalter \xc3\xbc"),
        MmsValue::objectId({0x28, 0xca, 0x22, 0x02, 0x01}),
        MmsValue::binaryTimeOfDay(27531528u),
        MmsValue::octetString({}),
        MmsValue::visibleString(""),
        MmsValue::bitString(BitString(0)),
        MmsValue::array({MmsValue::structure({}), MmsValue::array({})}),
    };
    for (const MmsValue& value : values) {
        ber::Writer writer;
        encodeData(writer, value);
        const Bytes bytes = writer.take();
        auto back = decodeData(bytes);
        ASSERT_TRUE(back.ok()) << toHex(bytes) << " " << errorName(back.error().error);
        EXPECT_EQ(*back, value) << toHex(bytes);
    }
    ber::Writer writer;
    encodeData(writer, MmsValue::floatDouble(1.0));
    EXPECT_EQ(toHex(writer.take()), "87 09 0b 3f f0 00 00 00 00 00 00");
}

// ---- Malformed input, grouped by the kind of damage -------------------------------------------

TEST(MmsCodecMalformed, LengthsPastTheEnd) {
    EXPECT_EQ(failureOf(wire("a1 0a 02 01 01 a4 05 a1 03 83 05 00")), Error::Malformed);
    EXPECT_EQ(failureOf(wire("a1 0a 02 01 01 a4 09 a1 03 83 01 00")), Error::Malformed);
    EXPECT_EQ(failureOf(wire("a1 7f 02 01 01")), Error::Malformed);
    // A list element that claims more than its list holds.
    EXPECT_EQ(failureOf(wire(R"(a1 1d 02 01 01 a1 18 a0 13 1a 12 "simpleIOGenericIO" 81 01 00)")),
              Error::Malformed);
}

TEST(MmsCodecMalformed, TruncationAtEveryByteIsANamedError) {
    for (const Golden& golden : kGolden) {
        const Bytes bytes = wire(golden.bytes);
        for (size_t size = 0; size < bytes.size(); ++size) {
            const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
            EXPECT_FALSE(decodePdu(prefix).ok()) << golden.frame << " cut to " << size;
        }
    }
}

TEST(MmsCodecMalformed, AbsurdLengths) {
    EXPECT_EQ(failureOf(wire("a1 84 ff ff ff ff 02 01 01")), Error::Malformed);
    EXPECT_EQ(failureOf(wire("a1 85 01 00 00 00 00 02 01 01")), Error::Malformed);
    EXPECT_EQ(failureOf(wire("a1 80 02 01 01 00 00")), Error::Malformed);
    // An identifier longer than any name a peer may use.
    const std::string longName(300, 'x');
    ber::Writer writer;
    writer.begin(ber::ctxc(1));
    writer.integer(ber::tags::Integer, 1);
    writer.begin(ber::ctxc(1));
    writer.begin(ber::ctxc(0));
    writer.string(ber::tags::VisibleString, longName);
    writer.end();
    writer.end();
    writer.end();
    EXPECT_EQ(failureOf(writer.take()), Error::IdentifierTooLong);
    // More results than the list limit allows.
    DecodeLimits tight;
    tight.maxListLength = 3;
    EXPECT_EQ(failureOf(wire(kGolden[13].bytes), tight), Error::TooManyElements);
}

Bytes nested(const char* tag, size_t depth, Bytes inner) {
    for (size_t i = 0; i < depth; ++i) {
        Bytes outer = korvan::test::fromHex(tag);
        ber::appendLength(outer, inner.size());
        outer.insert(outer.end(), inner.begin(), inner.end());
        inner = std::move(outer);
    }
    return inner;
}

Bytes readResponseOf(const Bytes& result) {
    return nested("a1", 1, [&] {
        Bytes content = wire("02 01 01");
        const Bytes read = nested("a4", 1, nested("a1", 1, result));
        content.insert(content.end(), read.begin(), read.end());
        return content;
    }());
}

TEST(MmsCodecMalformed, NestingIsBoundedNotRecursedWithoutEnd) {
    // Structures inside structures from a hostile peer must stop at the limit, not at the stack end.
    EXPECT_EQ(failureOf(readResponseOf(nested("a2", 1000, wire("83 01 00")))), Error::NestingTooDeep);
    EXPECT_EQ(failureOf(readResponseOf(nested("a1", 60, wire("83 01 00")))), Error::NestingTooDeep);
    // Within the limit the same shape decodes.
    EXPECT_TRUE(decodePdu(readResponseOf(nested("a2", 30, wire("83 01 00")))).ok());

    // Alternate access: select-alternate-access steps, each wrapping the rest in a SEQUENCE.
    Bytes access = wire("81 01 00");
    for (int i = 0; i < 500; ++i) {
        Bytes step = wire("81 01 00");
        const Bytes rest = nested("30", 1, access);
        step.insert(step.end(), rest.begin(), rest.end());
        access = nested("a0", 1, step);
    }
    Bytes variable = wire(R"(a0 06 80 04 "Name")");
    const Bytes alternate = nested("a5", 1, access);
    variable.insert(variable.end(), alternate.begin(), alternate.end());
    Bytes request = wire("02 01 01");
    const Bytes read = nested("a4", 1, nested("a1", 1, nested("a0", 1, nested("30", 1, variable))));
    request.insert(request.end(), read.begin(), read.end());
    EXPECT_EQ(failureOf(nested("a0", 1, request)), Error::NestingTooDeep);

    // Type descriptions: arrays of arrays.
    Bytes arrays = wire("83 00");
    for (int i = 0; i < 500; ++i) {
        Bytes element = wire("81 01 01");
        const Bytes elementType = nested("a2", 1, arrays);
        element.insert(element.end(), elementType.begin(), elementType.end());
        arrays = nested("a1", 1, element);
    }
    Bytes attributes = wire("80 01 00");
    const Bytes type = nested("a2", 1, arrays);
    attributes.insert(attributes.end(), type.begin(), type.end());
    Bytes response = wire("02 01 01");
    const Bytes gvaa = nested("a6", 1, attributes);
    response.insert(response.end(), gvaa.begin(), gvaa.end());
    EXPECT_EQ(failureOf(nested("a1", 1, response)), Error::NestingTooDeep);
}

TEST(MmsCodecMalformed, UnknownAndWrongTags) {
    EXPECT_EQ(failureOf(readResponseOf(wire("9f 20 00"))), Error::UnexpectedTag);
    EXPECT_EQ(failureOf(readResponseOf(wire("a3 03 83 01 00"))),
              Error::UnexpectedTag);                                                 // constructed boolean
    EXPECT_EQ(failureOf(readResponseOf(wire("88 01 00"))), Error::UnsupportedData);  // real
    EXPECT_EQ(failureOf(wire("30 03 02 01 01")), Error::UnknownPduType);
    EXPECT_EQ(failureOf(wire("ae 00")), Error::UnknownPduType);
    EXPECT_EQ(failureOf(wire("8b 01 00")), Error::UnexpectedTag);
    // Domain-specific name with a context tag where a VisibleString belongs.
    EXPECT_EQ(failureOf(wire(R"(a0 0e 02 01 02 a6 09 a0 07 a1 05 80 01 "L" 1a 00)")), Error::UnexpectedTag);
    // ObjectName of no known form.
    EXPECT_EQ(failureOf(wire(R"(a0 0b 02 01 01 ac 06 83 04 "LLN0")")), Error::BadObjectName);
    // Write whose data list carries the wrong tag.
    EXPECT_EQ(failureOf(wire(R"(a0 13 02 01 01 a5 0e a1 07 a1 05 80 03 "RPT" a1 03 83 01 01)")),
              Error::UnexpectedTag);
}

TEST(MmsCodecMalformed, ContentThatBreaksItsType) {
    EXPECT_EQ(failureOf(readResponseOf(wire("87 05 09 bf 20 04 8d"))), Error::BadFloat);
    EXPECT_EQ(failureOf(readResponseOf(wire("87 04 08 bf 20 04"))), Error::BadFloat);
    EXPECT_EQ(failureOf(readResponseOf(wire("91 07 6b 16 62 4c 73 74 bc"))), Error::BadTime);
    EXPECT_EQ(failureOf(readResponseOf(wire("8c 05 00 00 00 00 00"))), Error::BadTime);
    EXPECT_EQ(failureOf(readResponseOf(wire("83 02 00 01"))), Error::BadBoolean);
    EXPECT_EQ(failureOf(readResponseOf(wire("84 02 08 00"))), Error::BadBitString);
    EXPECT_EQ(failureOf(readResponseOf(wire("85 00"))), Error::BadInteger);
    EXPECT_EQ(failureOf(readResponseOf(wire("86 0a 00 01 00 00 00 00 00 00 00 00"))), Error::BadInteger);
    EXPECT_EQ(failureOf(wire("a1 0a 02 05 01 00 00 00 00 a4 01 00")),
              Error::BadInteger);  // invokeID > 32 bits
}

TEST(MmsCodecMalformed, UnsignedWithoutItsLeadingZeroIsTakenAsUnsigned) {
    // Some devices drop the 00 octet; the tag already says the value has no sign.
    auto value = decodeData(wire("86 01 ff"));
    ASSERT_TRUE(value.ok());
    EXPECT_EQ(*value, MmsValue::unsignedInteger(255));
}

TEST(MmsCodecUnknownServices, KnownButUnprovidedServicesDecodeForARejection) {
    // 18#11 rename and 18#14 getCapabilityList are services MMS has but we do not provide.
    for (const char* text : {"a0 0a 02 01 4d a3 05 a0 03 80 01 41", "a0 08 02 01 4e bf 52 02 80 00"}) {
        const auto& request = as<ConfirmedRequest>(decoded(wire(text)));
        const auto* other = std::get_if<UnsupportedService>(&request.service);
        ASSERT_NE(other, nullptr) << text;
        EXPECT_EQ(toHex(encodePdu(request)), toHex(wire(text)));
    }
    EXPECT_EQ(toHex(encodePdu(rejectUnrecognizedService(77))), "a4 06 80 01 4d 81 01 01");
}

TEST(MmsCodecUnknownServices, GarbageGetsTheRejectTheReferenceServerSends) {
    // 18#20: confirmed request with a service tag that is no service -> pdu-error invalid-pdu with
    // the invokeID; 18#23: unknown top-level tag -> pdu-error unknown-pdu-type without one.
    auto invalid = decodePdu(wire("a0 06 02 01 50 9f 7f 00"));
    ASSERT_FALSE(invalid.ok());
    EXPECT_EQ(invalid.error().failure.error, Error::InvalidServiceTag);
    EXPECT_EQ(toHex(encodePdu(rejectFor(invalid.error()))), "a4 06 80 01 50 85 01 01");
    auto unknown = decodePdu(wire("ae 03 02 01 05"));
    ASSERT_FALSE(unknown.ok());
    EXPECT_EQ(toHex(encodePdu(rejectFor(unknown.error()))), "a4 03 85 01 00");
    // A well-framed request whose argument is incomplete: rejected as a request, with its invokeID.
    auto broken = decodePdu(wire("a0 0b 02 01 07 a4 06 a1 04 a0 02 30 00"));
    ASSERT_FALSE(broken.ok());
    const Reject reject = rejectFor(broken.error());
    EXPECT_EQ(reject.originalInvokeId, 7u);
    EXPECT_EQ(reject.rejectClass, RejectClass::ConfirmedRequest);
    // What a person reads in the log about the three.
    EXPECT_EQ(describe(invalid.error()), "InvalidServiceTag in confirmed request (invokeID 80)");
    EXPECT_EQ(describe(unknown.error()), "UnknownPduType");
    EXPECT_EQ(describe(broken.error()), "MissingElement in confirmed request (invokeID 7)");
}

}  // namespace
