#pragma once

#include <string>
#include <sys/types.h>

namespace cantorel::test {

// A PulseAudio server of the test's own, with a null sink, on a socket in a folder of its
// own; the test can stall it (SIGSTOP), let it go on, or kill it. Its address goes into
// PULSE_SERVER of this process while it exists.
class PrivatePulse {
public:
    // Starts the server and waits (at most 5 s) until it answers; fails the test when it
    // does not.
    PrivatePulse();
    ~PrivatePulse();
    PrivatePulse(const PrivatePulse&) = delete;
    PrivatePulse& operator=(const PrivatePulse&) = delete;

    static bool available();
    const std::string& address() const { return address_; }
    void stall();
    void resume();
    void kill();
    // Starts it again on the same socket after kill().
    void restart();

private:
    void start();

    std::string folder_;
    std::string address_;
    pid_t pid_ = -1;
};

} // namespace cantorel::test
