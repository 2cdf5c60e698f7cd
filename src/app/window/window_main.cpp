// The window program. Without a display it says so and stops; the command
// line program renders without one.
#include <QApplication>
#include <QFont>
#include <QTimer>
#include <cstdlib>
#include <iostream>

#include "audio/device_lists.h"
#include "audio/wave_out.h"
#include "files/settings.h"
#include "ui/main_window.h"

namespace {

bool displayAvailable() {
    auto set = [](const char* v) { return std::getenv(v) && *std::getenv(v); };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
    if (!displayAvailable()) {
        std::cerr << "kestrafon: no display available (use kestrafon-cli to render without one)\n";
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrafon");
    QApplication::setApplicationDisplayName("Kestrafon");
    kf::RtAudioWaveOut waveOut;
    kf::ui::Platform platform;
    platform.waveOut = &waveOut;
    platform.waveInDevices = kf::waveInDevices();
    platform.midiOutDevices = kf::midiOutDevices();
    platform.settingsPath = kf::settingsPath();
    int rc = 0;
    {
        kf::ui::MainWindow window(platform);
        window.show();
        // A file manager opens a preset (or any file the window takes) this way.
        const QStringList args = QApplication::arguments();
        if (args.size() > 1) QTimer::singleShot(0, &window, [&window, f = args[1]] { window.openFile(f); });
        rc = QApplication::exec();
    }
    return rc;
}
