#include "support/PrivatePulse.h"

#include "support/Process.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace cantorel::test {

namespace {
constexpr const char* Server = "/usr/bin/pulseaudio";
}

bool PrivatePulse::available() { return ::access(Server, X_OK) == 0; }

PrivatePulse::PrivatePulse()
{
    char pattern[] = "/tmp/cantorel-pulse-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    address_ = "unix:" + folder_ + "/native";
    start();
    ::setenv("PULSE_SERVER", address_.c_str(), 1);
}

PrivatePulse::~PrivatePulse()
{
    kill();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void PrivatePulse::start()
{
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
        ::setenv("HOME", folder_.c_str(), 1);
        const std::string socket = "--load=module-native-protocol-unix socket=" + folder_ + "/native auth-anonymous=1";
        ::execl(Server, Server, "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
                "--load=module-null-sink sink_name=private_null norewinds=1", socket.c_str(), "--log-target=stderr",
                "--log-level=0", nullptr);
        ::_exit(127);
    }
    for (int i = 0; i < 50; ++i) {
        if (runProcess("/usr/bin/pactl", {"info"}, {"PULSE_SERVER=" + address_}).status == 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ADD_FAILURE() << "the private PulseAudio server did not start";
}

void PrivatePulse::stall() { ::kill(pid_, SIGSTOP); }

void PrivatePulse::resume() { ::kill(pid_, SIGCONT); }

void PrivatePulse::kill()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void PrivatePulse::restart()
{
    kill();
    std::filesystem::remove(folder_ + "/native");
    start();
}

} // namespace cantorel::test
