// A private JACK server (dummy driver, no sound card) for the duration of a
// test program: started before the first test, stopped by its process id.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace kf {

class JackServer : public ::testing::Environment {
public:
    explicit JackServer(std::string rate) : rate_(std::move(rate)) {}

    void SetUp() override {
        std::string name = "kftest" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        const char* argv[] = {"jackd", "--no-realtime", "-d", "dummy", "-r", rate_.c_str(), "-p", "256", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int rc = posix_spawnp(&pid_, "jackd", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            why_ = "jackd could not be started (" + std::to_string(rc) + ")";
            pid_ = 0;
            return;
        }
        if (std::system("jack_wait -w -t 10 >/dev/null 2>&1") != 0) why_ = "jackd did not come up within 10 s";
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    static const std::string& unavailable() { return why_; }

private:
    std::string rate_;
    pid_t pid_ = 0;
    static inline std::string why_;
};

}  // namespace kf
