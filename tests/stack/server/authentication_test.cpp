// Password authentication as the configuration asks for it: which files require a password, the
// simulator admitting only clients that give it (through our client API and through the captured
// client's own bytes), and refusals that say why in the association response.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "capture.h"
#include "iec61850_client.h"
#include "iso/association_codec.h"
#include "iso/cotp.h"
#include "iso/tpkt.h"
#include "mms/codec.h"
#include "scl/scl_loader.h"
#include "server/model_builder.h"
#include "server/simulated_server.h"

using namespace iecstack;
using namespace iecstack::server;
using namespace korvan::test;
using namespace std::chrono_literals;

namespace {

// The device of capture 19, whose server admits the password "user1@testpw".
const char* const kCapturedPassword = "user1@testpw";

std::string basicIoWith(const std::string& authentication) {
    std::ifstream in(std::string(KORVAN_TEST_DATA_DIR) + "/models/basic_io.icd");
    std::stringstream text;
    text << in.rdbuf();
    std::string scl = text.str();
    const std::string open = "<Authentication/>";
    const size_t at = scl.find(open);
    EXPECT_NE(at, std::string::npos);
    return scl.replace(at, open.size(), authentication);
}

std::unique_ptr<DataModel> modelWith(const std::string& authentication) {
    auto document = scl::loadSclText(basicIoWith(authentication), "basic_io.icd");
    EXPECT_TRUE(document.ok());
    auto model = buildDataModel(*document, "");
    EXPECT_TRUE(model.ok());
    return model.ok() ? std::move(*model) : nullptr;
}

const std::string kPasswordOnly = R"(<Authentication none="false" password="true"/>)";

std::unique_ptr<SimulatedServer> serve(const std::string& authentication, std::optional<std::string> password,
                                       std::string* error = nullptr) {
    SimulatedServer::Options options;
    options.server.password = std::move(password);
    return SimulatedServer::start(modelWith(authentication), options, error);
}

struct ConnectionDeleter {
    void operator()(sIedConnection* c) const { IedConnection_destroy(c); }
};
using Connection = std::unique_ptr<sIedConnection, ConnectionDeleter>;
struct AuthenticationDeleter {
    void operator()(sAcseAuthenticationParameter* a) const { AcseAuthenticationParameter_destroy(a); }
};
using Authentication = std::unique_ptr<sAcseAuthenticationParameter, AuthenticationDeleter>;

Authentication authentication(AcseAuthenticationMechanism mechanism, std::string password) {
    Authentication auth(AcseAuthenticationParameter_create());
    AcseAuthenticationParameter_setAuthMechanism(auth.get(), mechanism);
    AcseAuthenticationParameter_setPassword(auth.get(), password.data());
    return auth;
}

// Connects as a client application does it; `auth` may be null. The connection stays open.
IedClientError connectWith(const Connection& connection, uint16_t port, AcseAuthenticationParameter auth) {
    IsoConnectionParameters parameters =
        MmsConnection_getIsoConnectionParameters(IedConnection_getMmsConnection(connection.get()));
    IsoConnectionParameters_setAcseAuthenticationParameter(parameters, auth);
    IedClientError error = IED_ERROR_UNKNOWN;
    IedConnection_connect(connection.get(), &error, "127.0.0.1", port);
    return error;
}

IedClientError connectWith(uint16_t port, AcseAuthenticationParameter auth) {
    Connection connection(IedConnection_create());
    return connectWith(connection, port, auth);
}

// Sends a captured client's transport connection and association request as they are, and returns
// the association response unit the server answers with (empty when it closes instead).
Bytes answerToCapturedRequest(uint16_t port, const Bytes& connectionRequest,
                              const Bytes& associationRequest) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        ADD_FAILURE() << "cannot connect";
        return {};
    }
    for (const Bytes& tpdu : {connectionRequest, associationRequest}) {
        const Bytes wire = iso::encodeTpkt(tpdu);
        ::send(fd, wire.data(), wire.size(), MSG_NOSIGNAL);
    }
    iso::TpktFramer framer;
    Bytes unit;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (unit.empty() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        uint8_t buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            break;
        }
        framer.feed(ByteView(buffer, static_cast<size_t>(n)));
        for (auto payload = framer.next(); payload.ok() && payload->has_value(); payload = framer.next()) {
            auto tpdu = iso::cotp::decodeTpdu(**payload);
            if (tpdu.ok() && tpdu->kind == iso::cotp::TpduKind::Data) {
                unit = tpdu->data.toBytes();
            }
        }
    }
    ::close(fd);
    return unit;
}

}  // namespace

TEST(Authentication, TheConfigurationDecidesWhetherAPasswordIsNeeded) {
    const struct {
        std::string element;
        bool requiresPassword;
        std::string warning;  // part of the one warning expected, or empty for none
    } cases[] = {
        {"<Authentication/>", false, ""},
        {kPasswordOnly, true, ""},
        // Both allowed: clients without a password keep being admitted.
        {R"(<Authentication none="true" password="true"/>)", false, ""},
        {R"(<Authentication none="false" password="true" certificate="true"/>)", true,
         "authentication by certificate is not supported; served with password authentication"},
        {R"(<Authentication none="false" weak="true" strong="true"/>)", false,
         "authentication by weak, strong is not supported; served without authentication"},
        {R"(<Authentication none="false"/>)", false, "no authentication method is allowed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element);
        auto model = modelWith(c.element);
        ASSERT_TRUE(model);
        EXPECT_EQ(model->requiresPassword, c.requiresPassword);
        if (c.warning.empty()) {
            EXPECT_TRUE(model->warnings.empty());
        } else {
            ASSERT_EQ(model->warnings.size(), 1u);
            EXPECT_NE(model->warnings[0].find("basic_io.icd:9: " + c.warning), std::string::npos)
                << model->warnings[0];
        }
    }

    // A device configured for passwords is never served open.
    std::string error;
    EXPECT_FALSE(serve(kPasswordOnly, std::nullopt, &error));
    EXPECT_EQ(error, "IED \"simpleIO\" asks for password authentication and no password was given");
}

TEST(Authentication, OnlyClientsGivingThePasswordAreAssociated) {
    auto ied = serve(kPasswordOnly, std::string(kCapturedPassword));
    ASSERT_TRUE(ied);
    const uint16_t port = ied->port();

    EXPECT_EQ(connectWith(port, nullptr), IED_ERROR_CONNECTION_REJECTED);
    EXPECT_EQ(connectWith(port, authentication(ACSE_AUTH_PASSWORD, "wrongpass").get()),
              IED_ERROR_CONNECTION_REJECTED);
    EXPECT_EQ(
        connectWith(port, authentication(ACSE_AUTH_PASSWORD, std::string(kCapturedPassword) + "x").get()),
        IED_ERROR_CONNECTION_REJECTED);
    // A mechanism the client cannot send leaves the request without a password.
    EXPECT_EQ(connectWith(port, authentication(ACSE_AUTH_CERTIFICATE, kCapturedPassword).get()),
              IED_ERROR_CONNECTION_REJECTED);
    EXPECT_EQ(ied->server().counters().associationsAccepted, 0u);

    // The right password: the association works, and the parameter serves the next connect as well.
    Authentication right = authentication(ACSE_AUTH_PASSWORD, kCapturedPassword);
    Connection connection(IedConnection_create());
    ASSERT_EQ(connectWith(connection, port, right.get()), IED_ERROR_OK);
    IedClientError error = IED_ERROR_UNKNOWN;
    MmsValue* value = IedConnection_readObject(connection.get(), &error, "simpleIOGenericIO/LLN0.Mod.stVal",
                                               IEC61850_FC_ST);
    EXPECT_EQ(error, IED_ERROR_OK);
    MmsValue_delete(value);
    IedConnection_close(connection.get());
    ASSERT_EQ(connectWith(connection, port, right.get()), IED_ERROR_OK);
    EXPECT_EQ(ied->server().counters().associationsRefused, 4u);
    EXPECT_EQ(ied->server().counters().associationsAccepted, 2u);
}

TEST(Authentication, AFileThatAllowsNoAuthenticationAdmitsEveryone) {
    auto ied = serve("<Authentication/>", std::string("secret"));
    ASSERT_TRUE(ied);
    EXPECT_EQ(connectWith(ied->port(), nullptr), IED_ERROR_OK);
    EXPECT_EQ(connectWith(ied->port(), authentication(ACSE_AUTH_PASSWORD, "anything").get()), IED_ERROR_OK);
}

TEST(Authentication, TheCapturedClientsRequestsGetTheirAnswerWithTheReason) {
    Capture capture = readCapture(referenceCapture("19-association-password-auth.pcap"));
    ASSERT_EQ(capture.connections.size(), 2u);
    auto requests = [](const CapturedConnection& connection) {
        const auto sent = connection.from(Direction::ToServer);
        EXPECT_GE(sent.size(), 2u);
        return std::pair{sent[0].tpdu, sent[1].tpdu};
    };
    const auto [wrongCr, wrongConnect] = requests(capture.connections[0]);
    const auto [rightCr, rightConnect] = requests(capture.connections[1]);
    // The same request naming another mechanism (2.2.3.2 in place of the password's 2.2.3.1).
    Bytes otherMechanism = wrongConnect;
    const Bytes passwordMechanism{0x8b, 0x03, 0x52, 0x03, 0x01};
    auto found = std::search(otherMechanism.begin(), otherMechanism.end(), passwordMechanism.begin(),
                             passwordMechanism.end());
    ASSERT_NE(found, otherMechanism.end());
    found[4] = 0x02;
    // A request of capture 1, without any authentication.
    const Capture plain = readCapture(referenceCapture("01-association.pcap"));
    const auto [plainCr, plainConnect] = requests(plain.connections[0]);

    auto ied = serve(kPasswordOnly, std::string(kCapturedPassword));
    ASSERT_TRUE(ied);
    const struct {
        const char* what;
        const Bytes& cr;
        const Bytes& connect;
        int64_t result;
        iso::acse::AssociateDiagnostic diagnostic;
    } cases[] = {
        {"wrong password", wrongCr, wrongConnect, 1, iso::acse::AssociateDiagnostic::AuthenticationFailure},
        {"no authentication", plainCr, plainConnect, 1,
         iso::acse::AssociateDiagnostic::AuthenticationRequired},
        {"other mechanism", wrongCr, otherMechanism, 1,
         iso::acse::AssociateDiagnostic::AuthenticationMechanismNotRecognized},
        {"right password", rightCr, rightConnect, 0, iso::acse::AssociateDiagnostic::Null},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes unit = answerToCapturedRequest(ied->port(), c.cr, c.connect);
        ASSERT_FALSE(unit.empty());
        auto confirmation = iso::decodeAcceptUnit(unit);
        ASSERT_TRUE(confirmation.ok()) << iso::errorName(confirmation.error());
        EXPECT_EQ(confirmation->response.result, c.result);
        EXPECT_EQ(confirmation->response.diagnostic, static_cast<int64_t>(c.diagnostic));
        EXPECT_FALSE(confirmation->response.diagnosticFromProvider);
        // Accepted: the MMS initiate response; refused: nothing of MMS.
        if (c.result == 0) {
            auto initiate = mms::decodePdu(confirmation->response.userData);
            ASSERT_TRUE(initiate.ok());
            EXPECT_TRUE(std::holds_alternative<mms::InitiateResponse>(*initiate));
        } else {
            EXPECT_TRUE(confirmation->response.userData.empty());
        }
    }
}
