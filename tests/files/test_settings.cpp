#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "files/settings.h"
#include "files_test_util.h"

namespace kf {
namespace {

using test::TempDir;

TEST(Settings, FirstRunWritesAllEightKeysInOrder) {
    TempDir dir;
    const std::string path = dir.file("sub/kestrafon/Kestra.Ini");  // directory does not exist yet
    Settings s = readSettings(path);
    EXPECT_EQ(s.midiIn, 0);
    EXPECT_EQ(s.waveOut, 0);
    EXPECT_EQ(s.util1, "");
    EXPECT_EQ(s.saveDir, "./");
    EXPECT_EQ(s.bufSize, 2);
    ASSERT_TRUE(writeSettings(path, s).ok);
    EXPECT_EQ(test::readText(path),
              "[Main]\nMidiIn=0\nWaveOut=0\nUtil1=\nUtil1Path=\nUtil2=\nUtil2Path=\nSaveDir=./\nBufSize=2\n");
}

TEST(Settings, RoundTripAndRewriteKeepsOtherSections) {
    TempDir dir;
    const std::string path = dir.file("Kestra.Ini");
    {
        std::string text = "[Other]\nA=1\n[main]\nmidiin=5\nExtra=x\nBufSize=9\n[Tail]\nB=2\n";
        test::writeAll(path, std::vector<uint8_t>(text.begin(), text.end()));
    }
    Settings s = readSettings(path);
    EXPECT_EQ(s.midiIn, 5);  // section and key names ignore case
    EXPECT_EQ(s.bufSize, 9);
    s.util1 = "Editor";
    s.util1Path = "/usr/bin/audacity";
    s.saveDir = "/snd/";
    s.waveOut = -1;
    ASSERT_TRUE(writeSettings(path, s).ok);
    EXPECT_EQ(test::readText(path),
              "[Other]\nA=1\n[Main]\nMidiIn=5\nWaveOut=-1\nUtil1=Editor\nUtil1Path=/usr/bin/audacity\nUtil2=\n"
              "Util2Path=\nSaveDir=/snd/\nBufSize=9\nExtra=x\n[Tail]\nB=2\n");
    Settings back = readSettings(path);
    EXPECT_EQ(back.waveOut, -1);
    EXPECT_EQ(back.util1Path, "/usr/bin/audacity");
    EXPECT_EQ(back.saveDir, "/snd/");
}

TEST(Settings, IntegerValues) {
    EXPECT_EQ(parseSettingsInt("0x10", 2), 16);
    EXPECT_EQ(parseSettingsInt("0XfF", 2), 255);
    EXPECT_EQ(parseSettingsInt("0xFFFFFFFF", 2), -1);
    EXPECT_EQ(parseSettingsInt("0x", 2), 2);  // two characters only: not hexadecimal
    EXPECT_EQ(parseSettingsInt("abc", 2), 2);
    EXPECT_EQ(parseSettingsInt("", 7), 7);
    EXPECT_EQ(parseSettingsInt("-12", 2), -12);
    EXPECT_EQ(parseSettingsInt("12x", 2), 2);
    EXPECT_EQ(parseSettingsInt("0x1G", 2), 2);
    EXPECT_EQ(parseSettingsInt("2147483648", 2), 2);
    EXPECT_EQ(parseSettingsInt("-2147483648", 2), -2147483647 - 1);
    EXPECT_EQ(parseSettingsInt("0x100000000", 2), 2);

    TempDir dir;
    const std::string path = dir.file("Kestra.Ini");
    std::string text = "[Main]\r\nBufSize=0x10\r\nMidiIn=abc\r\nWaveOut= 3 \r\n";
    test::writeAll(path, std::vector<uint8_t>(text.begin(), text.end()));
    Settings s = readSettings(path);
    EXPECT_EQ(s.bufSize, 16);
    EXPECT_EQ(s.midiIn, 0);
    EXPECT_EQ(s.waveOut, 3);
    text = "[Main]\nBufSize=abc\n";
    test::writeAll(path, std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(readSettings(path).bufSize, 2);
}

TEST(Settings, StringsAreCutTo1023Characters) {
    TempDir dir;
    const std::string path = dir.file("Kestra.Ini");
    std::string text = "[Main]\nUtil2Path=" + std::string(1500, 'p') + "\n";
    test::writeAll(path, std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(readSettings(path).util2Path, std::string(1023, 'p'));
}

TEST(Settings, GarbageAndDirectoriesGiveDefaults) {
    TempDir dir;
    const std::string path = dir.file("Kestra.Ini");
    std::vector<uint8_t> junk;
    uint32_t seed = 12345;
    for (int i = 0; i < 5000; ++i) {
        seed = seed * 1103515245u + 12345u;
        junk.push_back(static_cast<uint8_t>(seed >> 16));
    }
    test::writeAll(path, junk);
    Settings s = readSettings(path);
    EXPECT_EQ(s.bufSize, 2);
    EXPECT_EQ(s.saveDir, "./");
    s.bufSize = 4;
    ASSERT_TRUE(writeSettings(path, s).ok);
    EXPECT_EQ(readSettings(path).bufSize, 4);

    EXPECT_EQ(readSettings(dir.str()).bufSize, 2);
    EXPECT_EQ(readSettings(dir.file("missing.ini")).saveDir, "./");
}

TEST(Settings, FailedWriteNamesTheFile) {
    TempDir dir;
    // A regular file where a directory is needed: neither mkdir nor open work.
    test::writeAll(dir.file("plain"), {1});
    const std::string path = dir.file("plain/Kestra.Ini");
    Status st = writeSettings(path, Settings{});
    EXPECT_FALSE(st.ok);
    EXPECT_EQ(st.message, "Unable to write to " + path + ": Not a directory");
    EXPECT_FALSE(writeSettings(dir.str(), Settings{}).ok);
}

TEST(Settings, LineBreaksInValuesDoNotCreateKeys) {
    TempDir dir;
    const std::string path = dir.file("Kestra.Ini");
    Settings s;
    s.util1 = "Name\nBufSize=30";
    ASSERT_TRUE(writeSettings(path, s).ok);
    Settings back = readSettings(path);
    EXPECT_EQ(back.util1, "Name");
    EXPECT_EQ(back.bufSize, 2);
}

TEST(Settings, PathFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/kfcfg", 1);
    EXPECT_EQ(settingsPath(), "/tmp/kfcfg/kestrafon/Kestra.Ini");
    ::unsetenv("XDG_CONFIG_HOME");
    if (const char* home = std::getenv("HOME"); home && home[0]) {
        EXPECT_EQ(settingsPath(), std::string(home) + "/.config/kestrafon/Kestra.Ini");
    }
    if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST(Settings, RecentPresetsAndFoldersKeepTheirOwnSections) {
    TempDir dir;
    const std::string path = dir.file("Kestra.Ini");
    Settings s;
    for (int n = 0; n < 9; ++n) rememberRecentPreset(s, "/p/" + std::to_string(n) + ".kfp");
    rememberRecentPreset(s, "/p/4.kfp");  // again: moves to the front, once
    s.lastFolders = {{"preset", "/p"}, {"sample", "/s=1"}};
    ASSERT_TRUE(writeSettings(path, s).ok);
    ASSERT_TRUE(writeSettings(path, s).ok);  // rewriting replaces the sections
    const std::string text = test::readText(path);
    EXPECT_EQ(text.find("[Recent]"), text.rfind("[Recent]"));
    EXPECT_EQ(text.substr(0, text.find("[Recent]")),
              "[Main]\nMidiIn=0\nWaveOut=0\nUtil1=\nUtil1Path=\nUtil2=\nUtil2Path=\nSaveDir=./\nBufSize=2\n");
    const Settings back = readSettings(path);
    EXPECT_EQ(back.recentPresets,
              (std::vector<std::string>{"/p/4.kfp", "/p/8.kfp", "/p/7.kfp", "/p/6.kfp", "/p/5.kfp", "/p/3.kfp",
                                        "/p/2.kfp", "/p/1.kfp"}));
    EXPECT_EQ(back.lastFolders, s.lastFolders);
}

TEST(Settings, LiveVoicesGainAndOctaveRoundTrip) {
    TempDir dir;
    const std::string path = dir.file("Kestra.Ini");
    Settings s;
    s.liveVoices = 5;
    s.liveGainDb = -6.5;
    s.octaveDown = true;
    ASSERT_TRUE(writeSettings(path, s).ok);
    Settings back = readSettings(path);
    EXPECT_EQ(back.liveVoices, 5);
    EXPECT_EQ(back.liveGainDb, -6.5);
    EXPECT_TRUE(back.octaveDown);
    // Bad values keep the defaults (1/voices, true pitch); voices are held to 16.
    std::ofstream(path) << "[Live]\nVoices=40\nGainDb=loud\nOctaveDown=x\n";
    back = readSettings(path);
    EXPECT_EQ(back.liveVoices, 16);
    EXPECT_TRUE(std::isnan(back.liveGainDb));
    EXPECT_FALSE(back.octaveDown);
}

}  // namespace
}  // namespace kf
