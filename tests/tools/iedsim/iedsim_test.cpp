// The iedsim program as scripts and other tests run it: a free port announced on stdout, one log
// line per association and request, a clean stop on SIGINT, refusals with exit codes; and the
// generated large models.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "mms_test_client.h"
#include "model_generator.h"
#include "options.h"
#include "scl/scl_loader.h"
#include "server/model_builder.h"

using namespace iecstack;
using namespace std::chrono_literals;

namespace {

const std::string kSample = std::string(KORVAN_SOURCE_DIR) + "/tools/iedsim/models/sample_bay.icd";

// A child process with its stdout and stderr on pipes.
class Process {
public:
    explicit Process(std::vector<std::string> args) {
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::close(out[0]);
            ::close(err[0]);
            std::vector<char*> argv;
            args.insert(args.begin(), IEDSIM_PATH);
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            ::execv(IEDSIM_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Process() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    // Reads stdout until a line matches, or the time is up.
    std::optional<std::smatch> waitForLine(const std::regex& pattern, std::chrono::milliseconds timeout) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            size_t newline;
            while ((newline = pending_.find('\n')) != std::string::npos) {
                lines_.push_back(pending_.substr(0, newline));
                pending_.erase(0, newline + 1);
                std::smatch m;
                if (std::regex_search(lines_.back(), m, pattern)) {
                    matched_ = lines_.back();
                    return std::regex_search(matched_, m, pattern) ? std::optional<std::smatch>(m)
                                                                   : std::nullopt;
                }
            }
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buffer[4096];
                ssize_t n = ::read(out_, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                pending_.append(buffer, static_cast<size_t>(n));
            }
        }
        return std::nullopt;
    }

    // Exit status, or -1 when the process did not end in time.
    int wait(std::chrono::milliseconds timeout) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    std::string stderrText() {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(err_, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }

    void signal(int sig) { ::kill(pid_, sig); }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool exited_ = false;
    std::string pending_;
    std::string matched_;
    std::vector<std::string> lines_;
};

}  // namespace

TEST(Iedsim, AnnouncesItsPortLogsRequestsAndStopsOnSigint) {
    Process sim({"--scl", kSample, "--port", "0", "--simulate", "--latency", "5"});
    auto listening = sim.waitForLine(std::regex("^iedsim listening on 127\\.0\\.0\\.1:([0-9]+)$"), 60s);
    ASSERT_TRUE(listening) << sim.stderrText();
    uint16_t port = static_cast<uint16_t>(std::stoi((*listening)[1]));
    {
        auto client = korvan::test::MmsTestClient::connect(port);
        ASSERT_TRUE(client);
        mms::ReadRequest read;
        read.spec =
            mms::VariableAccessSpec::list({{mms::ObjectName::domain("BAY1MEAS", "MMXU1$MX$TotW$mag$f"), {}}});
        auto answer = client->request(read);
        ASSERT_TRUE(answer);
        EXPECT_TRUE(std::holds_alternative<mms::ConfirmedResponse>(*answer));
        EXPECT_TRUE(client->release());
    }
    EXPECT_TRUE(sim.waitForLine(std::regex("associated: PDU size 65000"), 10s));
    EXPECT_TRUE(sim.waitForLine(std::regex("read BAY1MEAS/MMXU1\\$MX\\$TotW\\$mag\\$f: ok"), 10s));
    EXPECT_TRUE(sim.waitForLine(std::regex("association ended: "), 10s));
    sim.signal(SIGINT);
    EXPECT_EQ(sim.wait(10s), 0);
}

TEST(Iedsim, RefusesBadFilesAndArgumentsWithExitCodes) {
    Process broken({"--scl", std::string(KORVAN_TEST_DATA_DIR) + "/scl/openscd-datatypetemplateerrors.scd",
                    "--port", "0"});
    EXPECT_EQ(broken.wait(60s), 1);
    EXPECT_NE(broken.stderrText().find("openscd-datatypetemplateerrors.scd:66: <DO> has no type attribute"),
              std::string::npos);

    Process ambiguous(
        {"--scl", std::string(KORVAN_TEST_DATA_DIR) + "/scl/openscd-reportcontrol.scd", "--port", "0"});
    EXPECT_EQ(ambiguous.wait(60s), 1);
    EXPECT_NE(ambiguous.stderrText().find("choose one with --ied NAME"), std::string::npos);

    // Problems of the file as a whole have no line to name.
    Process missing({"--scl", "/nonexistent/model.icd", "--port", "0"});
    EXPECT_EQ(missing.wait(60s), 1);
    EXPECT_EQ(missing.stderrText(), "iedsim: /nonexistent/model.icd: cannot open the file\n");

    Process badPort({"--scl", kSample, "--port", "70000"});
    EXPECT_EQ(badPort.wait(60s), 2);
    EXPECT_NE(badPort.stderrText().find("--port needs a number"), std::string::npos);
}

TEST(Iedsim, AFileAskingForAPasswordIsServedOnlyWithOne) {
    std::ifstream in(std::string(KORVAN_TEST_DATA_DIR) + "/models/basic_io.icd");
    std::stringstream text;
    text << in.rdbuf();
    std::string scl = text.str();
    scl.replace(scl.find("<Authentication/>"), 17, R"(<Authentication none="false" password="true"/>)");
    const std::string path = ::testing::TempDir() + "iedsim_password.icd";
    std::ofstream(path) << scl;

    Process refused({"--scl", path, "--port", "0"});
    EXPECT_EQ(refused.wait(60s), 1);
    EXPECT_EQ(refused.stderrText(),
              "iedsim: " + path +
                  " asks for password authentication (Authentication none=\"false\" password=\"true\"); give "
                  "the password clients must use with --password\n");

    Process sim({"--scl", path, "--port", "0", "--password", "SECRET"});
    auto listening = sim.waitForLine(std::regex("^iedsim listening on 127\\.0\\.0\\.1:([0-9]+)$"), 60s);
    ASSERT_TRUE(listening) << sim.stderrText();
    const uint16_t port = static_cast<uint16_t>(std::stoi((*listening)[1]));
    EXPECT_FALSE(korvan::test::MmsTestClient::connect(port));
    EXPECT_TRUE(sim.waitForLine(std::regex("association refused: no password given$"), 10s));
    EXPECT_FALSE(korvan::test::MmsTestClient::connect(port, 65000, std::string("secret")));
    EXPECT_TRUE(sim.waitForLine(std::regex("association refused: wrong password$"), 10s));
    EXPECT_TRUE(korvan::test::MmsTestClient::connect(port, 65000, std::string("SECRET")));
    EXPECT_TRUE(sim.waitForLine(std::regex("associated: PDU size"), 10s));
    // The password itself never reaches the log.
    for (const std::string& line : sim.lines()) {
        EXPECT_EQ(line.find("secret"), std::string::npos) << line;
        EXPECT_EQ(line.find("SECRET"), std::string::npos) << line;
    }
    sim.signal(SIGINT);
    EXPECT_EQ(sim.wait(10s), 0);

    // A file that admits everyone keeps doing so, and says that the password is not checked.
    Process open({"--scl", kSample, "--port", "0", "--password", "SECRET"});
    listening = open.waitForLine(std::regex("^iedsim listening on 127\\.0\\.0\\.1:([0-9]+)$"), 60s);
    ASSERT_TRUE(listening);
    EXPECT_TRUE(korvan::test::MmsTestClient::connect(static_cast<uint16_t>(std::stoi((*listening)[1]))));
    open.signal(SIGINT);
    EXPECT_EQ(open.wait(10s), 0);
    EXPECT_NE(open.stderrText().find("does not ask for password authentication; --password is not checked"),
              std::string::npos);
}

TEST(Iedsim, SaysWhyItCannotListen) {
    Process first({"--scl", kSample, "--port", "0", "--bind", "localhost"});
    auto listening = first.waitForLine(std::regex("^iedsim listening on 127\\.0\\.0\\.1:([0-9]+)$"), 60s);
    ASSERT_TRUE(listening) << first.stderrText();
    const std::string port = (*listening)[1];

    Process second({"--scl", kSample, "--port", port});
    EXPECT_EQ(second.wait(60s), 1);
    EXPECT_EQ(second.stderrText(), "iedsim: cannot listen on 127.0.0.1:" + port +
                                       ": the port is already in use (another server listens there)\n");

    // An address of the documentation range, which no machine here has.
    Process foreign({"--scl", kSample, "--port", "0", "--bind", "192.0.2.7"});
    EXPECT_EQ(foreign.wait(60s), 1);
    EXPECT_NE(foreign.stderrText().find("the address does not belong to this machine"), std::string::npos)
        << foreign.stderrText();

    Process unknown({"--scl", kSample, "--port", "0", "--bind", "ied.invalid"});
    EXPECT_EQ(unknown.wait(60s), 1);
    EXPECT_NE(unknown.stderrText().find("not an IPv4 address or a name this machine knows"),
              std::string::npos);

    // Only without the right to the low ports (not as root) is the refusal to be seen.
    std::ifstream lowest("/proc/sys/net/ipv4/ip_unprivileged_port_start");
    int unprivilegedFrom = 1024;
    lowest >> unprivilegedFrom;
    if (::geteuid() != 0 && unprivilegedFrom > 102) {
        Process privileged({"--scl", kSample, "--port", "102"});
        EXPECT_EQ(privileged.wait(60s), 1);
        EXPECT_NE(privileged.stderrText().find("no permission: ports below 1024 need root"),
                  std::string::npos)
            << privileged.stderrText();
    }

    Process help({"--help"});
    EXPECT_EQ(help.wait(60s), 0);
}

TEST(Iedsim, ParsesItsOptions) {
    iedsim::Options o;
    EXPECT_EQ(iedsim::parseOptions({"--scl", "a.icd", "--ied", "X", "--port", "0", "--bind", "0.0.0.0",
                                    "--simulate", "--max-pdu", "4096", "--latency", "20"},
                                   o),
              std::nullopt);
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(o.maxPdu, 4096u);
    EXPECT_EQ(o.latencyMs, 20u);
    EXPECT_TRUE(o.simulate);
    EXPECT_EQ(o.bindAddress, "0.0.0.0");
    iedsim::Options missing;
    EXPECT_EQ(iedsim::parseOptions({"--port", "5"}, missing), std::string("--scl FILE is required"));
    iedsim::Options dangling;
    EXPECT_EQ(iedsim::parseOptions({"--scl"}, dangling), std::string("--scl needs a file"));
    iedsim::Options tiny;
    EXPECT_TRUE(iedsim::parseOptions({"--scl", "a", "--max-pdu", "100"}, tiny).has_value());
    iedsim::Options abuse;
    EXPECT_EQ(abuse.maxConnections, 32u);
    EXPECT_EQ(iedsim::parseOptions({"--scl", "a", "--max-connections", "200", "--silent-after", "0"}, abuse),
              std::nullopt);
    EXPECT_EQ(abuse.maxConnections, 200u);
    EXPECT_EQ(abuse.silentAfter, std::optional<uint64_t>(0));
    iedsim::Options noConnections;
    EXPECT_TRUE(iedsim::parseOptions({"--scl", "a", "--max-connections", "0"}, noConnections).has_value());

    iedsim::Options device;
    EXPECT_EQ(
        iedsim::parseOptions({"--scl", "a", "--max-outstanding", "1", "--idle-timeout", "120000"}, device),
        std::nullopt);
    EXPECT_EQ(device.maxOutstanding, 1u);
    EXPECT_EQ(device.idleTimeoutMs, 120000u);
    EXPECT_TRUE(iedsim::parseOptions({"--scl", "a", "--max-outstanding", "0"}, device).has_value());
    iedsim::Options storm;
    EXPECT_EQ(iedsim::parseOptions({"--scl", "a", "--simulate-period", "1"}, storm), std::nullopt);
    EXPECT_TRUE(storm.simulate);
    EXPECT_EQ(storm.simulationPeriodMs, 1u);
    EXPECT_TRUE(iedsim::parseOptions({"--scl", "a", "--simulate-period", "0"}, storm).has_value());
    iedsim::Options generate;
    EXPECT_EQ(iedsim::parseOptions({"--generate", "50"}, generate), std::nullopt);
    EXPECT_EQ(generate.generate, 50u);
    iedsim::Options password;
    EXPECT_EQ(iedsim::parseOptions({"--scl", "a", "--password", "user1@testpw"}, password), std::nullopt);
    EXPECT_EQ(password.password, std::optional<std::string>("user1@testpw"));
    EXPECT_EQ(iedsim::parseOptions({"--scl", "a", "--password", ""}, password),
              std::string("--password needs a password"));
}

// Generated models are complete: every data set member exists, every control block points at a
// data set, and the size grows with the node count.
TEST(Iedsim, GeneratedModelsLoadWithoutLeftovers) {
    size_t previous = 0;
    // Ten members per data set, devices of at most 100 nodes: 5 nodes give 1 set, 150 give 10 + 5.
    for (auto [nodes, expectedSets] : {std::pair{5u, size_t{1}}, {150u, size_t{15}}}) {
        auto doc = scl::loadSclText(iedsim::generateModel(nodes), "generated.icd");
        ASSERT_TRUE(doc.ok()) << doc.error().message;
        auto model = server::buildDataModel(*doc, "");
        ASSERT_TRUE(model.ok()) << model.error().message;
        EXPECT_TRUE((*model)->warnings.empty()) << (*model)->warnings.front();
        size_t attributes = (*model)->attributeCount();
        EXPECT_GT(attributes, previous);
        previous = attributes;
        size_t dataSets = 0;
        for (const auto& d : (*model)->domains) {
            dataSets += d->dataSets.size();
        }
        EXPECT_EQ(dataSets, expectedSets);
    }
    EXPECT_GT(previous, 5000u);
}
