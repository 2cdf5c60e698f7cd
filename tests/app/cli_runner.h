// Runs kestrafon-cli as a user would, in a temporary directory of its own
// whose settings file is kept inside it.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kf::test {

namespace fs = std::filesystem;

inline std::vector<uint8_t> readBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

class CliTest : public ::testing::Test {
protected:
    fs::path dir;
    std::string out, err;
    double seconds = 0;  // wall time of the last run

    void SetUp() override {
        dir = fs::temp_directory_path() /
              (std::string("kf_cli_") + ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
               std::to_string(::getpid()));  // several checkouts may run the suite at once
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Runs the CLI with `args` in `cwd` (the temp directory by default) and
    // `env` assignments before it. Returns the exit status, or 128 + signal
    // for a crash (124 when the time limit hit).
    int cli(const std::string& args, const fs::path& cwd = {}, const std::string& env = {}) {
        const std::string cmd = "cd '" + (cwd.empty() ? dir : cwd).string() + "' && XDG_CONFIG_HOME='" +
                                dir.string() + "' " + env + " timeout 60 '" KF_CLI_PATH "' " + args + " >'" +
                                (dir / "stdout.txt").string() + "' 2>'" + (dir / "stderr.txt").string() + "'";
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = std::system(cmd.c_str());
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const std::vector<uint8_t> o = readBytes(dir / "stdout.txt"), e = readBytes(dir / "stderr.txt");
        out.assign(o.begin(), o.end());
        err.assign(e.begin(), e.end());
        if (WIFSIGNALED(rc)) return 128 + WTERMSIG(rc);
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128;
    }

    std::vector<uint8_t> file(const std::string& name) const { return readBytes(dir / name); }

    void expectOneLineError(int rc) {
        EXPECT_GT(rc, 0);
        EXPECT_LT(rc, 124) << "crashed or hung";
        EXPECT_FALSE(err.empty());
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
};

}  // namespace kf::test
