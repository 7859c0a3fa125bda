#include "simulatorprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>

namespace korvan::test {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStartTimeout = 60s;

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

off_t sizeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

// A fresh, empty file in the temporary folder; empty string when none could be made.
std::string temporaryFile(const char* pattern) {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/" + pattern;
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    return path;
}

// Runs `program` with `arguments`, its standard output and errors into `outputPath`; the child's pid,
// or -1. Everything the child does between fork and exec is async-signal-safe, as the test processes
// that call this run threads.
pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& outputPath) {
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int out = ::open(outputPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) {
        return -1;
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
#ifdef __linux__
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);  // the parent is already gone
        }
#endif
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        // Sockets of the test must not live on in the simulator, or closing them would not end anything.
        if (::close_range(3, ~0U, 0) != 0) {
            for (int fd = 3; fd < 1024; ++fd) {
                ::close(fd);
            }
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out);
    return child;
}

// Exit status of a finished child, -1 while it runs.
int exitStatus(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

SimulatorProcess::~SimulatorProcess() {
    kill();
    removeFiles();
}

bool SimulatorProcess::available() {
#ifdef KORVAN_IEDSIM
    return true;
#else
    return false;
#endif
}

std::string SimulatorProcess::sampleModel() {
    return KORVAN_SOURCE_DIR "/tools/iedsim/models/sample_bay.icd";
}

bool SimulatorProcess::start(const std::string& sclFile, const std::vector<std::string>& extraArguments) {
    std::vector<std::string> arguments{"--scl", sclFile, "--port", "0"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    return launch(arguments);
}

bool SimulatorProcess::startGenerated(unsigned logicalNodes, const std::vector<std::string>& extraArguments) {
#ifdef KORVAN_IEDSIM
    if (generatedModel.empty()) {
        generatedModel = temporaryFile("korvan-generated-XXXXXX");
    }
    const pid_t generator =
        generatedModel.empty()
            ? -1
            : spawn(KORVAN_IEDSIM, {"--generate", std::to_string(logicalNodes)}, generatedModel);
    int status = -1;
    if (generator > 0) {
        ::waitpid(generator, &status, 0);
    }
    if (generator <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "the model generator failed";
        return false;
    }
#else
    (void)logicalNodes;
#endif
    return start(generatedModel, extraArguments);
}

bool SimulatorProcess::launch(const std::vector<std::string>& arguments) {
    kill();
    error.clear();
#ifdef KORVAN_IEDSIM
    if (logPath.empty()) {
        logPath = temporaryFile("korvan-iedsim-XXXXXX");
    }
    if (logPath.empty() || (pid = spawn(KORVAN_IEDSIM, arguments, logPath)) < 0) {
        error = "the simulator could not be started";
        pid = -1;
        return false;
    }
    static const std::regex announcement("iedsim listening on 127\\.0\\.0\\.1:(\\d+)");
    const auto deadline = Clock::now() + kStartTimeout;
    while (Clock::now() < deadline) {
        const std::string printed = output();
        std::smatch match;
        if (std::regex_search(printed, match, announcement)) {
            listeningPort = static_cast<uint16_t>(std::stoul(match[1]));
            return listeningPort != 0;
        }
        const int status = exitStatus(pid);
        if (status >= 0) {
            pid = -1;
            error = "the simulator ended (status " + std::to_string(status) + "): " + printed;
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    error = "the simulator did not announce its port: " + output();
    kill();
#else
    (void)arguments;
    error = "the simulator is not part of this build";
#endif
    return false;
}

std::string SimulatorProcess::output() const {
    return logPath.empty() ? std::string() : readFile(logPath);
}

int SimulatorProcess::pdusLogged() const {
    // Until the log has been quiet for 300 ms, for 3 s at most.
    const auto deadline = Clock::now() + 3s;
    off_t size = sizeOf(logPath);
    auto quietSince = Clock::now();
    while (pid > 0 && Clock::now() < deadline && Clock::now() - quietSince < 300ms) {
        std::this_thread::sleep_for(20ms);
        const off_t now = sizeOf(logPath);
        if (now != size) {
            size = now;
            quietSince = Clock::now();
        }
    }
    // A line per PDU, tagged with its association: "12:00:00.000 [1 127.0.0.1:4711] read ...";
    // association events are not PDUs of their own.
    static const std::regex pduLine("^\\S+ \\[[^\\]]*\\] (?!associat)");
    std::istringstream lines(output());
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        count += std::regex_search(line, pduLine) ? 1 : 0;
    }
    return count;
}

long SimulatorProcess::attributesServed() const {
    static const std::regex served("(\\d+) attributes");
    const std::string printed = output();
    std::smatch match;
    return std::regex_search(printed, match, served) ? std::stol(match[1]) : 0;
}

void SimulatorProcess::kill() {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
    listeningPort = 0;
}

void SimulatorProcess::freeze() {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGSTOP);
    // The signal lands when the process is next scheduled; on a busy machine it could still answer
    // a request sent after kill() returned. Waiting for the stop makes "frozen" true on return.
    int status = 0;
    if (::waitpid(pid, &status, WUNTRACED) == pid && !WIFSTOPPED(status)) {
        pid = -1;  // it had ended and is now reaped
        listeningPort = 0;
    }
}

void SimulatorProcess::thaw() {
    if (pid > 0) {
        ::kill(pid, SIGCONT);
    }
}

void SimulatorProcess::removeFiles() {
    for (const std::string& path : {logPath, generatedModel}) {
        if (!path.empty()) {
            ::unlink(path.c_str());
        }
    }
}

}  // namespace korvan::test
