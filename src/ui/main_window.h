// The main window: twelve pages of controls over the wave display, the
// render strip, the four big buttons and the main menu. It owns the session
// (the synthesizer state) and the audio objects, mirrors the session in its
// controls and calls the session's operations from its handlers.
//
// Threads: the render thread and the real-time tick never touch a widget.
// Their notifications are queued to the window's thread, which then reads
// the session's progress, lights, meter and sound.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/session.h"
#include "core/wave_view.h"

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;
class QTabWidget;
class QVBoxLayout;

namespace kf {
class MidiIn;
class OutputDevice;
class Playback;
class RealTime;
class WaveOut;
}  // namespace kf

namespace kf::ui {

class GraphBox;
class LevelBox;
class LightCheck;
class LightCheckBox;
class NumberEdit;
class Tools;
class CurveEditor;

// What the window needs from the machine; tests hand in devices without hardware.
struct Platform {
    WaveOut* waveOut = nullptr;                       // required
    std::vector<std::string> midiOutDevices;          // shown only
    std::vector<std::string> waveInDevices;           // shown only
    bool midiInput = true;                            // open MIDI input through the audio layer
    std::string settingsPath;                         // empty: settings are neither read nor written
};

// Window size rule: minimum tracking size and maximized size, scaled by the
// screen's dots per inch.
struct SizeRule {
    int minWidth, minHeight, maxWidth, maxHeight;
};
SizeRule windowSizeRule(int dotsPerInch);

// The page captions in page order.
const std::array<const char*, 12>& pageCaptions();

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Platform platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    Session& session() { return *session_; }
    Playback& playback() { return *playback_; }
    QTabWidget* pages() const { return pages_; }
    QAction* action(const QString& caption) const;  // a menu item by caption (first in menu order)
    QWidget* control(const std::string& name) const; // a control by its name (e.g. "Env1AttackBar")
    GraphBox* waveGraph() const { return waveGraph_; }
    LevelBox* levelBox() const { return levelBox_; }
    QSlider* viewTrackBar() const { return viewTrackBar_; }
    const DisplayBuffer& displayBuffer() const { return display_; }
    QRadioButton* viewButton(WaveView v) const { return viewButtons_[static_cast<size_t>(v)]; }
    QListWidget* deviceList(int which) const { return deviceLists_[static_cast<size_t>(which)]; }
    Tools& tools() const { return *tools_; }  // the "Tools", "Options..." and "&Help" commands and their windows

    // The wave display for the selected view (also after every render).
    void redrawWave();
    // Pushes the session's values into every control without rendering.
    void refreshControls();
    // The shut-down steps; runs once (from the destructor when not before).
    void shutDown();
    // Opens a preset as "Open preset..." does; a failure is shown.
    bool openPresetFile(const QString& path);

    // Before edits would be discarded: Save, Discard or Cancel. True when
    // the command may go on. Tests replace `askUnsaved` (the question box).
    enum class UnsavedAnswer { Save, Discard, Cancel };
    std::function<UnsavedAnswer()> askUnsaved;
    bool maySwitchPreset();
    // A file given on the command line or dropped on the window: a preset
    // opens, a MIDI file renders, anything else is offered as a sample.
    void openFile(const QString& path);
    // The folder a file dialog of this kind ("preset", "sample", "export",
    // "midi") opens in, and remembering the one a file was chosen from.
    QString lastFolder(const std::string& kind) const;
    void rememberFolder(const std::string& kind, const QString& file);

signals:
    // Emitted on the window's thread after the display followed a finished render.
    void renderShown();

protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // Building. Pages are columns of groups; every table-made control goes
    // into the group its row names (made on demand in the last column).
    void buildMenus();
    void buildFileMenus(QMenuBar* bar);
    void buildSoundMenus(QMenuBar* bar);
    void buildToolMenus(QMenuBar* bar);
    void buildWindowMenus(QMenuBar* bar);
    // A menu command, found again by its caption (and "Menu/caption") in actions_.
    QAction* addCommand(QMenu* m, const QString& caption, QKeySequence key, std::function<void()> handler);
    void buildPages();
    void buildPageGroups();
    void buildOscillatorButtons();
    void buildNoteSteps();
    void buildMixerExtras();
    void buildChordEdit();
    void stretchColumns();
    void buildStrip(QWidget* host);
    QHBoxLayout* buildRenderStrip(QWidget* host);
    QGroupBox* buildWaveDisplay(QWidget* host);
    QVBoxLayout* buildBigButtons(QWidget* host);
    void buildCurvePage(int page, bool waveform);
    QGridLayout* buildHarmonicsEditor(QGroupBox* group);
    void buildOptionsPage();
    void buildRealtimeExtras();
    void showLiveSettings();  // the live voices' controls from the settings
    QGroupBox* groupOn(int page, int column, const QString& title);
    QGroupBox* findGroup(int page, const QString& title);
    QVBoxLayout* groupLayout(QGroupBox* g);
    void addTableControls();

    // Every parameter control is made from its table row: range, start,
    // step, label and the session call its change makes.
    QWidget* makeControl(const ParamInfo& p, QWidget* parent);
    QWidget* makeBar(const ParamInfo& p, QWidget* parent);
    QWidget* makeNumberEdit(const ParamInfo& p, QWidget* parent);
    QWidget* makeChoice(const ParamInfo& p, QWidget* parent);
    QWidget* makeSourceList(const ParamInfo& p, QWidget* parent);
    void bind(const ParamInfo& p, QWidget* w, std::function<void()> update);
    void userSet(ParamId id, long double v);
    void updateControl(ParamId id);
    void registerControl(const std::string& name, QWidget* w, std::function<void()> refresh);

    // Session notifications, delivered on this thread by the drain.
    void onNotification(const Notification& n);
    // Commands that would wait for a running render (Render, sound length,
    // additional silence) are held until it finished, so the event loop
    // never waits on a render.
    void renderClick();
    void runDeferred();
    void showRenderState();

    // Handlers.
    void playClick();
    void playOnceClick();
    void stopClick();
    void exitClick();
    void saveClick();
    void saveSampleAsClick();
    void newPresetClick();
    // With a name (the Presets menu, recent presets, a drop) the dialog is
    // skipped; everything else is the same path.
    void openPresetClick(const QString& fileName = {});
    void buildPresetsMenu(QMenu* menu);
    void fillRecentMenu();
    void rememberRecent(const QString& file);
    void savePresetClick();
    void openSampleClick(int slot);
    void normalizeClick();
    void realTimeClick();
    void undoClick(bool redo);
    void showHistory();
    void showError(const Status& s);
    void showPlayError(const Status& s);
    void fillDeviceLists();
    void readIni();
    void openMidiIn();
    SaveFormat saveFormat() const;

    Platform platform_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<OutputDevice> out_;
    std::unique_ptr<RealTime> realTime_;
    std::unique_ptr<Playback> playback_;
    std::unique_ptr<MidiIn> midiIn_;
    int listener_ = 0;
    bool shutDown_ = false;

    QTabWidget* pages_ = nullptr;
    std::map<std::string, QWidget*> controls_;
    std::array<std::vector<QVBoxLayout*>, 12> pageColumns_;
    std::map<std::pair<int, QString>, QGroupBox*> groups_;
    std::vector<std::function<void()>> refreshers_;
    std::map<QString, QAction*> actions_;

    // Strip, display and big buttons.
    QCheckBox* autoRender_ = nullptr;
    QPushButton* renderButton_ = nullptr;
    LightCheckBox* renderingLight_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QCheckBox* clip_ = nullptr;
    LightCheck* playingLight_ = nullptr;
    std::array<QRadioButton*, 9> viewButtons_{};
    QSlider* viewTrackBar_ = nullptr;
    GraphBox* waveGraph_ = nullptr;
    LevelBox* levelBox_ = nullptr;
    DisplayBuffer display_{};
    WaveViewer viewer_;
    WaveView view_ = WaveView::Zoomed;

    // Controls with handlers of their own.
    std::array<QRadioButton*, 10> oscButtons_{};
    QGridLayout* oscGrid_ = nullptr;
    QLineEdit* chordEdit_ = nullptr;
    std::array<QListWidget*, 4> deviceLists_{};
    std::array<QRadioButton*, 4> saveTypes_{};
    QRadioButton* eightBits_ = nullptr;
    QActionGroup* timbreGroup_ = nullptr;
    QAction* realTimeAction_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QLabel* liveNote_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QLabel* sampleInfo_ = nullptr;
    std::array<std::function<void()>, kParamCount> updaters_;
    bool pendingRenderClick_ = false;
    std::map<ParamId, long double> deferred_;
    int refreshing_ = 0;
    Tools* tools_ = nullptr;
};

}  // namespace kf::ui
