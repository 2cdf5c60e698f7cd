#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/cli_runner.h"

namespace fs = std::filesystem;

namespace {

const fs::path kRoot = KF_TEST_SOURCE_DIR;

std::string midi(const std::string& name) { return "'" + (kRoot / "tests/data/midi" / name).string() + "'"; }

uint32_t le32(const std::vector<uint8_t>& b, size_t o) {
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (uint32_t{b[o + 3]} << 24);
}

class CliRenderMidi : public kf::test::CliTest {
protected:
    size_t filesInDir() const {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(dir)) n += e.path().filename() == "stdout.txt" ||
                                                                     e.path().filename() == "stderr.txt" ? 0 : 1;
        return n;
    }
};

}  // namespace

TEST_F(CliRenderMidi, RendersAMultiTrackFileWithThePadIntoAWav) {
    const std::string pad = "'" + (kRoot / "examples/pad.kfp").string() + "'";
    ASSERT_EQ(cli("render-midi " + midi("tempo_two_tracks.mid") + " " + pad + " -o out.wav --tail 0.5"), 0) << err;
    const auto w = file("out.wav");
    ASSERT_GE(w.size(), 44u);
    EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
    EXPECT_EQ(le32(w, 24), 22050u);
    // Last event at 3.5 s, half a second of tail.
    EXPECT_EQ(le32(w, 40), 2u * (77175 + 11025));
    EXPECT_EQ(w.size(), 44u + le32(w, 40));
    int peak = 0;
    for (size_t i = 44; i + 1 < w.size(); i += 2) peak = std::max(peak, std::abs(int(int16_t(w[i] | w[i + 1] << 8))));
    EXPECT_GT(peak, 1000);
    EXPECT_NE(out.find("3 voices"), std::string::npos) << out;
    EXPECT_NE(out.find("Wrote"), std::string::npos);
    EXPECT_EQ(filesInDir(), 1u) << "no temporary file is left behind";
}

TEST_F(CliRenderMidi, BadInputFailsInOneLineAndLeavesTheOutputAlone) {
    const std::vector<uint8_t> keep{'k', 'e', 'e', 'p'};
    for (const std::string& args :
         {midi("text.mid"), midi("truncated.mid"), midi("short.mid"), midi("no_notes.mid"), midi("missing.mid"),
          midi("scale.mid") + " --voices 0", midi("scale.mid") + " --block 0",
          midi("scale.mid") + " missing.kfp"}) {
        {
            std::ofstream f(dir / "out.wav", std::ios::binary);
            f.write(reinterpret_cast<const char*>(keep.data()), static_cast<std::streamsize>(keep.size()));
        }
        const int rc = cli("render-midi " + args + " -o out.wav");
        expectOneLineError(rc);
        EXPECT_EQ(file("out.wav"), keep) << args;
        EXPECT_EQ(filesInDir(), 1u) << args;
    }
    // The song itself as the output.
    fs::copy_file(kRoot / "tests/data/midi/scale.mid", dir / "song.mid");
    expectOneLineError(cli("render-midi song.mid -o ./song.mid"));
    EXPECT_EQ(file("song.mid"), kf::test::readBytes(kRoot / "tests/data/midi/scale.mid"));
    // An output that cannot be created.
    expectOneLineError(cli("render-midi " + midi("one_note.mid") + " -o no/such/dir/out.wav"));
    for (const char* args : {"--voices 0", "--voices 17", "--block 0", "--tail -1", "--tail nan"})
        EXPECT_EQ(cli("render-midi " + midi("scale.mid") + " -o out.wav " + args), 2) << args;
    EXPECT_NE(err.find("not a number"), std::string::npos) << err;
}

TEST_F(CliRenderMidi, TermAndHangUpEndLikeCtrlCWithoutLeftovers) {
    // One note held to End-of-Track an hour later: a render of many seconds
    // (silent voices render at once, a sounding one does not).
    const std::string song("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x0a\0\x90\x45\x64\xaa\x98\0\xff\x2f\0", 32);
    std::ofstream(dir / "long.mid", std::ios::binary) << song;
    for (const char* sig : {"TERM", "HUP"}) {
        const std::string line = "cd '" + dir.string() + "' && ('" KF_CLI_PATH
                                 "' render-midi long.mid '" + (kRoot / "examples/keys.kfp").string() + "' -o o.wav 2>e.txt & p=$!; sleep 1; kill -" + sig + " $p; wait $p)";
        const int rc = std::system(line.c_str());
        EXPECT_EQ(WEXITSTATUS(rc), 130) << sig;
        std::ifstream e(dir / "e.txt");
        std::string text((std::istreambuf_iterator<char>(e)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "kestrafon-cli: render-midi: interrupted\n") << sig;
        EXPECT_EQ(filesInDir(), 2u) << sig << ": only the song and the messages";
    }
}
