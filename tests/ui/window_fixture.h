// The window on a capture device without MIDI input, for the window tests.
#pragma once

#include <QCoreApplication>
#include <memory>
#include <string>
#include <vector>

#include "audio/wave_out.h"
#include "ui/main_window.h"

namespace kf::ui::test {

struct WindowFixture {
    CaptureWaveOut waveOut;
    std::unique_ptr<MainWindow> window;
    explicit WindowFixture(std::vector<std::string> devices = {"Only card"}) : waveOut(std::move(devices)) {
        Platform p;
        p.waveOut = &waveOut;
        p.midiInput = false;
        window = std::make_unique<MainWindow>(p);
        // No question box in a test: unsaved edits are discarded unless a test answers otherwise.
        window->askUnsaved = [] { return MainWindow::UnsavedAnswer::Discard; };
        settle();
    }
    Session& s() { return window->session(); }
    template <class T>
    T* find(const char* name) {
        return qobject_cast<T*>(window->control(name));
    }
    // Lets the render run out and its queued notifications reach the window.
    void settle() {
        for (int i = 0; i < 3; ++i) {
            window->session().render().waitForRender();
            QCoreApplication::processEvents();
        }
    }
};

}  // namespace kf::ui::test
