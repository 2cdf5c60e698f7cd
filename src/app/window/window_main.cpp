// The window program. Without a display it says so and stops; the command
// line program renders without one.
#include <QApplication>
#include <QFont>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli_quiet.h"
#include "audio/device_lists.h"
#include "audio/wave_out.h"
#include "files/settings.h"
#include "ui/main_window.h"

namespace {

bool displayAvailable() {
    auto set = [](const char* v) { return std::getenv(v) && *std::getenv(v); };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

constexpr const char* kUsage =
    "Usage: kestrafon [PRESET.kfp] [--verbose]\n"
    "Opens the Kestrafon window, with PRESET.kfp loaded when given.\n"
    "  --verbose   show the audio libraries' own messages (ALSA, JACK, PulseAudio)\n"
    "  --help      show this text and exit\n"
    "  --version   show the version and exit\n"
    "kestrafon-cli renders, converts and plays without a window.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string preset;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            std::cout << kUsage;
            return 0;
        }
        if (!std::strcmp(a, "--version")) {
            std::cout << "kestrafon " << KF_VERSION << "\n";
            return 0;
        }
        if (!std::strcmp(a, "--verbose")) {
            kf::cli::setVerbose(true);
        } else if (a[0] == '-' && a[1] == '-') {
            std::cerr << "kestrafon: unknown option " << a << " (see kestrafon --help)\n";
            return 2;
        } else if (a[0] == '-') {
            // Qt's own options (-platform NAME, -reverse ...) are Qt's to read.
            for (const char* withValue : {"-platform", "-platformpluginpath", "-platformtheme", "-style",
                                          "-stylesheet", "-display", "-geometry", "-qwindowgeometry",
                                          "-qwindowtitle", "-qwindowicon", "-session", "-title"})
                if (!std::strcmp(a, withValue)) ++i;
        } else if (preset.empty()) {
            preset = a;
        } else {
            std::cerr << "kestrafon: one preset at a time, got " << preset << " and " << a << "\n";
            return 2;
        }
    }
    if (!displayAvailable()) {
        std::cerr << "kestrafon: no display available (use kestrafon-cli to render without one)\n";
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrafon");
    QApplication::setApplicationDisplayName("Kestrafon");
    // Probing the sound and MIDI systems makes their libraries talk; that
    // text is kept back unless --verbose asks for it.
    auto quiet = std::make_unique<kf::cli::StderrCapture>();
    kf::RtAudioWaveOut waveOut;
    kf::ui::Platform platform;
    platform.waveOut = &waveOut;
    platform.waveInDevices = kf::waveInDevices();
    platform.midiOutDevices = kf::midiOutDevices();
    platform.settingsPath = kf::settingsPath();
    int rc = 0;
    {
        kf::ui::MainWindow window(platform);
        quiet.reset();
        window.show();
        // A file manager opens a preset (or any file the window takes) this way.
        if (!preset.empty())
            QTimer::singleShot(0, &window, [&window, f = QString::fromLocal8Bit(preset.c_str())] { window.openFile(f); });
        rc = QApplication::exec();
    }
    return rc;
}
