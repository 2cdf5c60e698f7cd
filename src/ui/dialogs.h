// The small windows around the main window and the commands that use them:
// the "Tools" menu, the Fat wizard, the setup dialog ("Options..."), the two
// utility buttons, the instructions window ("RTFM"), the About and contact
// windows, and "Render MIDI" on a worker thread. All are created once with
// the main window and reused, so the wizard's track bars keep their
// positions and the instructions are read once.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/session.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSlider;

namespace kf::ui {

class MainWindow;

// "Fat wizard": modal; its track bars keep their positions between uses.
class FatWizardDialog : public QDialog {
    Q_OBJECT
public:
    explicit FatWizardDialog(QWidget* parent = nullptr);
    FatWizard values() const;
    void setValues(const FatWizard& w);

signals:
    void helpRequested();

private:
    QSlider* range_ = nullptr;
    QSlider* detune_ = nullptr;
};

// The setup dialog: not modal; every time it becomes the active window its
// edits are filled from the stored strings, so edits not confirmed with
// "OK" are dropped.
class SetupDialog : public QDialog {
    Q_OBJECT
public:
    SetupDialog(Session& s, QWidget* parent = nullptr);
    void fill();   // the edits from the stored strings
    void store();  // "OK"
    QLineEdit* edit(int k) const { return edits_[static_cast<size_t>(k)]; }

signals:
    void stored();

protected:
    bool event(QEvent* e) override;

private:
    Session& session_;
    std::array<QLineEdit*, 5> edits_{};
};

// "Instructions...": the manual, one joined paragraph per memo line.
class InstructionsWindow : public QDialog {
    Q_OBJECT
public:
    explicit InstructionsWindow(QWidget* parent = nullptr);
    void setLines(const std::vector<std::string>& lines);
    QString text() const;
    QPlainTextEdit* memo() const { return memo_; }
    // Scrolls the paragraph holding `phrase` to the top (the start when none does).
    void showAt(const QString& phrase);

private:
    QPlainTextEdit* memo_ = nullptr;
};

// A small modal window with static text and one button that closes it.
class NoteWindow : public QDialog {
    Q_OBJECT
public:
    NoteWindow(const QString& caption, const QString& text, QWidget* parent = nullptr);
};

class Tools : public QObject {
    Q_OBJECT
public:
    Tools(MainWindow& window, Session& session);
    ~Tools() override;

    // The strip's utility buttons; their captions follow the utility names.
    void attachUtilityButtons(QPushButton* util1, QPushButton* util2);
    // Stops a running MIDI render and lets go of the session (before the
    // session goes away).
    void shutDown();

    // The commands.
    void melodicToC(int octave);
    void octave(bool up);
    void makeFatSound();
    void tb303();
    void processSoundFile();
    void options();
    void utility(int n);
    void rtfm();
    void rtfmAt(const QString& phrase);  // the manual, opened at a paragraph
    void about();
    void contact();
    // A dropped file is rendered without asking for it.
    void renderMidi(const QString& file = {});

    // Seams for tests: the open-file dialog and the save dialog (which asks
    // before replacing a file), both empty on cancel, and the error box.
    std::function<QString(const QString& title, const QString& filter)> chooseFile;
    std::function<QString(const QString& title, const QString& start, const QString& filter)> chooseSaveFile;
    std::function<void(const Status&)> reportError;

    FatWizardDialog* fatWizard() const { return fatWizard_; }
    SetupDialog* setupDialog() const { return setup_; }
    InstructionsWindow* instructions() const { return instructions_; }
    bool midiRendering() const { return midiThread_.joinable(); }
    QString midiMessage() const { return midiMessage_; }

signals:
    void midiRenderDone(bool ok);

private:
    void refreshUtilityCaptions();
    void midiProgress(int percent);
    void midiFinished(const Status& st, const QString& path);

    MainWindow& window_;
    Session& session_;
    int listener_ = 0;
    FatWizardDialog* fatWizard_ = nullptr;
    SetupDialog* setup_ = nullptr;
    InstructionsWindow* instructions_ = nullptr;
    std::array<QPointer<QPushButton>, 2> utilButtons_{};
    QProgressBar* midiBar_ = nullptr;
    QPushButton* midiCancelButton_ = nullptr;
    std::thread midiThread_;
    std::atomic<bool> midiCancel_{false};
    QString midiMessage_;
};

}  // namespace kf::ui
