#include "ui/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "audio/midi_in.h"
#include "audio/playback.h"
#include "audio/realtime.h"
#include "audio/wave_out.h"
#include "ui/custom_controls.h"
#include "ui/curve_editor.h"
#include "files/preset_bank.h"
#include "ui/dialogs.h"

namespace kf::ui {

SizeRule windowSizeRule(int dpi) {
    return {100 * dpi / 96, 100 * dpi / 96, 648 * dpi / 96, 480 * dpi / 96};
}

const std::array<const char*, 12>& pageCaptions() {
    static const std::array<const char*, 12> captions{"Mixer",    "Amplifiers", "Oscillators", "Waveform",
                                                      "Envelope", "GraphEnv",   "LFO",         "Filters",
                                                      "Sequencer", "Options",   "Realtime",    "FX"};
    return captions;
}

namespace {

QString plain(QString caption) { return caption.remove('&'); }

const QString kSampleFileFilter =
    "Sound files (*.wav *.aif *.aiff *.flac *.ogg *.oga *.opus *.smp *.raw *.pcm *.iff);;All files (*)";

}  // namespace

// ---------------------------------------------------------------------------
// Start-up

MainWindow::MainWindow(Platform platform, QWidget* parent) : QMainWindow(parent), platform_(std::move(platform)) {
    setWindowTitle("Kestrafon");
    // The session runs the synthesizer's own start-up: scale, buffers, both
    // timbres, default samples, the first render request and the default preset.
    session_ = std::make_unique<Session>();
    // Notifications may be raised on the render thread or the tick: the
    // wake-up only queues a drain on this thread, where the listener runs.
    session_->params().setWakeup([this] {
        QMetaObject::invokeMethod(this, [this] { session_->params().drainNotifications(); }, Qt::QueuedConnection);
    });
    listener_ = session_->params().subscribe([this](const Notification& n) { onNotification(n); });
    out_ = std::make_unique<OutputDevice>(*platform_.waveOut);
    out_->sampleRate = session_->files().sampleRate();
    realTime_ = std::make_unique<RealTime>(*out_, session_->live().renderer());
    playback_ = std::make_unique<Playback>(*out_, session_->render().playBuffer(), realTime_.get());
    playback_->setErrorReporter([this](const Status& s) { showPlayError(s); });
    session_->live().setPlayback(playback_.get());
    if (platform_.midiInput)
        midiIn_ = std::make_unique<MidiIn>(session_->live().midiQueue(), session_->live().midiControllers(),
                                           [rt = realTime_.get()] { return rt->midiTimeStamp(); });

    buildMenus();
    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(1, 0, 1, 1);
    v->setSpacing(2);
    pages_ = new QTabWidget(central);
    pages_->setUsesScrollButtons(false);  // all twelve captions in view
    v->addWidget(pages_, 1);
    buildPages();
    buildStrip(central);
    setCentralWidget(central);
    pages_->setCurrentIndex(2);  // "Oscillators"
    setAcceptDrops(true);

    fillDeviceLists();
    session_->render().startUpRender();
    refreshControls();
    readIni();
    openMidiIn();

    const int dpi = screen() ? static_cast<int>(screen()->logicalDotsPerInch()) : 96;
    const SizeRule rule = windowSizeRule(dpi);
    // Never smaller than the pages and the strip need, so no text is cut.
    const QSize least = minimumSizeHint();
    setMinimumSize(std::max(rule.minWidth, least.width()), std::max(rule.minHeight, least.height()));
    // The maximized size of the rule, but never smaller than the pages need
    // at the font in use.
    const QSize hint = sizeHint();
    resize(std::max(rule.maxWidth, hint.width()), std::max(rule.maxHeight, hint.height()));
    redrawWave();
    showRenderState();
    showHistory();
    // A single play ends by itself; the light follows the playback's state.
    auto* lightTimer = new QTimer(this);
    connect(lightTimer, &QTimer::timeout, this, [this] { playingLight_->setChecked(playback_->playingLight()); });
    lightTimer->start(200);
}

MainWindow::~MainWindow() { shutDown(); }

void MainWindow::closeEvent(QCloseEvent* e) {
    if (!shutDown_ && !maySwitchPreset()) {
        e->ignore();
        return;
    }
    shutDown();
    e->accept();
}

// Playback and the real-time stream stop first (they read the sound and the
// session); MIDI input closes before the render thread ends; the settings
// are written last.
void MainWindow::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    // A long render runs to its end; the window does not stay on screen meanwhile.
    hide();
    playback_->stopClick();
    tools_->shutDown();
    if (midiIn_) midiIn_->closeMidiIn();
    session_->render().stopRender();
    session_->params().setWakeup(nullptr);
    session_->params().unsubscribe(listener_);
    session_->live().setPlayback(nullptr);
    if (!platform_.settingsPath.empty()) (void)writeSettings(platform_.settingsPath, session_->files().settings());
}

void MainWindow::readIni() {
    if (!platform_.settingsPath.empty()) session_->files().setSettings(readSettings(platform_.settingsPath));
    const Settings s = session_->files().settings();
    if (auto* l = deviceLists_[0]; s.waveOut >= 0 && s.waveOut < l->count()) l->setCurrentRow(s.waveOut);
    if (auto* l = deviceLists_[3]; s.midiIn >= 0 && s.midiIn < l->count()) l->setCurrentRow(s.midiIn);
    if (auto* bar = qobject_cast<QScrollBar*>(control("RealTimeDelayScrollBar")))
        bar->setValue(std::clamp(s.bufSize, 1, 32));
    showLiveSettings();
}

void MainWindow::openMidiIn() {
    if (!midiIn_) return;
    const int row = deviceLists_[3]->currentRow();
    midiIn_->openMidiIn(std::max(row, 0));
}

void MainWindow::fillDeviceLists() {
    auto fill = [](QListWidget* l, const std::vector<std::string>& names) {
        l->clear();
        for (const auto& n : names) l->addItem(QString::fromStdString(n.substr(0, kDeviceNameMax)));
    };
    fill(deviceLists_[0], platform_.waveOut->devices());
    fill(deviceLists_[1], platform_.midiOutDevices);
    fill(deviceLists_[2], platform_.waveInDevices);
    fill(deviceLists_[3], midiIn_ ? midiIn_->devices() : std::vector<std::string>{kNoMidiInput});
    if (deviceLists_[0]->count() > 0) deviceLists_[0]->setCurrentRow(0);
    if (deviceLists_[3]->count() > 1) deviceLists_[3]->setCurrentRow(1);
}

// ---------------------------------------------------------------------------
// Menus

QAction* MainWindow::addCommand(QMenu* m, const QString& caption, QKeySequence key, std::function<void()> handler) {
    QAction* a = m->addAction(caption);
    if (!key.isEmpty()) a->setShortcut(key);
    if (handler)
        connect(a, &QAction::triggered, this, [h = std::move(handler)] { h(); });
    else
        a->setEnabled(false);  // its command is not part of this program yet
    const QString name = plain(caption);
    if (!actions_.count(name)) actions_[name] = a;
    actions_[plain(m->title()) + "/" + name] = a;
    return a;
}

void MainWindow::buildMenus() {
    tools_ = new Tools(*this, *session_);
    QMenuBar* bar = menuBar();
    buildFileMenus(bar);
    buildPresetsMenu(bar->addMenu("Presets"));
    buildSoundMenus(bar);
    buildToolMenus(bar);
    buildWindowMenus(bar);
}

// File and Edit.
void MainWindow::buildFileMenus(QMenuBar* bar) {
    QMenu* file = bar->addMenu("&File");
    addCommand(file, "New preset", {}, [this] { newPresetClick(); });
    addCommand(file, "Open preset...", Qt::Key_F3, [this] { openPresetClick(); });
    addCommand(file, "Save preset...", Qt::Key_F2, [this] { savePresetClick(); });
    recentMenu_ = file->addMenu("Recent presets");
    connect(recentMenu_, &QMenu::aboutToShow, this, [this] { fillRecentMenu(); });
    file->addSeparator();
    addCommand(file, "Open Sample &1", Qt::Key_F11, [this] { openSampleClick(1); });
    addCommand(file, "Open Sample &2", Qt::Key_F12, [this] { openSampleClick(2); });
    file->addSeparator();
    addCommand(file, "&Save sample", {}, [this] { saveClick(); });
    addCommand(file, "Save sample as...", QKeySequence(Qt::CTRL | Qt::Key_S), [this] { saveSampleAsClick(); });
    addCommand(file, "Render MIDI", {}, [this] { tools_->renderMidi(); });
    file->addSeparator();
    addCommand(file, "Options...", {}, [this] { tools_->options(); });
    file->addSeparator();
    addCommand(file, "E&xit", {}, [this] { exitClick(); });

    QMenu* editMenu = bar->addMenu("&Edit");
    undoAction_ = addCommand(editMenu, "Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { undoClick(false); });
    redoAction_ = addCommand(editMenu, "Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { undoClick(true); });
    redoAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
}

// Timbres, Play and Convert.
void MainWindow::buildSoundMenus(QMenuBar* bar) {
    QMenu* timbres = bar->addMenu("Timbres");
    timbreGroup_ = new QActionGroup(this);
    for (int t = 0; t < 2; ++t) {
        QAction* a = addCommand(timbres, QString("Timbre %1").arg(t + 1), QKeySequence(Qt::CTRL | (t ? Qt::Key_F2 : Qt::Key_F1)),
                         [this, t] { session_->params().selectTimbre(t); });
        a->setCheckable(true);
        a->setChecked(t == 0);
        timbreGroup_->addAction(a);
    }

    QMenu* play = bar->addMenu("Play");
    addCommand(play, "Play", Qt::Key_F5, [this] { playClick(); });
    addCommand(play, "Play Once", Qt::Key_F6, [this] { playOnceClick(); });
    addCommand(play, "Stop", Qt::Key_F8, [this] { stopClick(); });
    addCommand(play, "Render", Qt::Key_F4, [this] { renderClick(); });

    QMenu* convert = bar->addMenu("&Convert");
    addCommand(convert, "Byte swap - sample 1", {}, [this] { session_->files().byteSwapSample(1); });
    addCommand(convert, "Byte swap - sample 2", {}, [this] { session_->files().byteSwapSample(2); });
}

// Tools and Scale.
void MainWindow::buildToolMenus(QMenuBar* bar) {
    QMenu* tools = bar->addMenu("Tools");
    addCommand(tools, "Normalize", {}, [this] { normalizeClick(); });
    for (int o = 3; o <= 8; ++o) addCommand(tools, QString("All melodic osc to C-%1").arg(o), {}, [this, o] { tools_->melodicToC(o); });
    addCommand(tools, "Octave down", {}, [this] { tools_->octave(false); });
    addCommand(tools, "Octave up", {}, [this] { tools_->octave(true); });
    tools->addSeparator();
    addCommand(tools, "Make fat sound", {}, [this] { tools_->makeFatSound(); });
    addCommand(tools, "TB-303 model", {}, [this] {
        if (maySwitchPreset()) tools_->tb303();
    });
    addCommand(tools, "Process sound file", {}, [this] { tools_->processSoundFile(); });

    QMenu* scale = bar->addMenu("Scale");
    auto* scales = new QActionGroup(this);
    const std::array<std::pair<const char*, Scale>, 3> scaleItems{
        {{"Tempered", Scale::Tempered}, {"Natural #", Scale::NaturalSharp}, {"Natural b", Scale::NaturalFlat}}};
    for (const auto& [caption, s] : scaleItems) {
        QAction* a = addCommand(scale, caption, {}, [this, s = s] { session_->render().scaleChanged(s); });
        a->setCheckable(true);
        a->setChecked(s == Scale::Tempered);
        scales->addAction(a);
    }
}

// Window, Help and Realtime.
void MainWindow::buildWindowMenus(QMenuBar* bar) {
    QMenu* window = bar->addMenu("Window");
    const std::array<std::pair<const char*, Qt::Key>, 12> pageItems{{{"Mixer", Qt::Key_M},
                                                                     {"Amplifiers", Qt::Key_A},
                                                                     {"Oscillators", Qt::Key_O},
                                                                     {"WaveForm", Qt::Key_W},
                                                                     {"Envelopes", Qt::Key_E},
                                                                     {"Graphic envelope", Qt::Key_G},
                                                                     {"LFO", Qt::Key_L},
                                                                     {"Filters", Qt::Key_F},
                                                                     {"Sequencer", Qt::Key_S},
                                                                     {"Options", Qt::Key_T},
                                                                     {"Realtime", Qt::Key_R},
                                                                     {"FX", Qt::Key_X}}};
    for (int i = 0; i < 12; ++i) {
        const auto& [caption, key] = pageItems[static_cast<size_t>(i)];
        const QKeySequence seq(Qt::CTRL | key);
        // Ctrl+S belongs to "Save sample as...": the Sequencer page takes Ctrl+U.
        addCommand(window, caption, key == Qt::Key_S ? QKeySequence(Qt::CTRL | Qt::Key_U) : seq,
            [this, i] { pages_->setCurrentIndex(i); });
    }

    QMenu* help = bar->addMenu("&Help");
    addCommand(help, "RTFM", Qt::Key_F1, [this] { tools_->rtfm(); });
    addCommand(help, "Contact", {}, [this] { tools_->contact(); });
    help->addSeparator();
    addCommand(help, "About", {}, [this] { tools_->about(); });

    QMenu* rt = bar->addMenu("Realtime");
    realTimeAction_ = addCommand(rt, "Realtime", {}, [this] { realTimeClick(); });
    realTimeAction_->setCheckable(true);
}

QAction* MainWindow::action(const QString& caption) const {
    auto it = actions_.find(caption);
    return it == actions_.end() ? nullptr : it->second;
}

QWidget* MainWindow::control(const std::string& name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : it->second;
}

void MainWindow::registerControl(const std::string& name, QWidget* w, std::function<void()> refresh) {
    w->setObjectName(QString::fromStdString(name));
    controls_[name] = w;
    if (refresh) refreshers_.push_back(std::move(refresh));
}

// ---------------------------------------------------------------------------
// The strip below the pages, the wave display and the big buttons

void MainWindow::buildStrip(QWidget* host) {
    QHBoxLayout* strip = buildRenderStrip(host);
    QGroupBox* display = buildWaveDisplay(host);
    QVBoxLayout* buttons = buildBigButtons(host);
    auto* lower = new QHBoxLayout;
    lower->addWidget(display, 1);
    lower->addLayout(buttons);
    buttons->addStretch(1);
    auto* v = static_cast<QVBoxLayout*>(host->layout());
    v->addLayout(strip);
    v->addLayout(lower, 1);  // the wave display shares the window's spare height
    v->setStretch(0, 2);
}

// Auto Render, Render, the lights, progress, clip, the utility buttons.
QHBoxLayout* MainWindow::buildRenderStrip(QWidget* host) {
    auto* strip = new QHBoxLayout;
    strip->setSpacing(6);
    autoRender_ = new QCheckBox("Auto Render", host);
    autoRender_->setChecked(true);
    connect(autoRender_, &QCheckBox::toggled, this, [this](bool on) {
        session_->render().setAutoRender(on);
        session_->render().generateSoundBuf();
    });
    renderButton_ = new QPushButton("Render", host);
    connect(renderButton_, &QPushButton::clicked, this, [this] { renderClick(); });
    renderingLight_ = new LightCheckBox("Rendering", host);
    renderingLight_->setOnColor(QColor(255, 0, 0));
    renderingLight_->setOffColor(QColor(128, 0, 0));
    connect(renderingLight_, &LightCheck::clicked, this, [this] { renderingLight_->setChecked(false); });
    progress_ = new QProgressBar(host);
    progress_->setRange(0, 6);
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(90);
    clip_ = new QCheckBox("Clip", host);
    clip_->setAttribute(Qt::WA_TransparentForMouseEvents);  // shows the last render only
    clip_->setFocusPolicy(Qt::NoFocus);
    auto* util1 = new QPushButton("Cool", host);
    auto* util2 = new QPushButton("AWave", host);
    tools_->attachUtilityButtons(util1, util2);
    playingLight_ = new LightCheck(host);
    playingLight_->setOnColor(QColor(255, 255, 0));
    playingLight_->setOffColor(QColor(128, 0, 0));
    connect(playingLight_, &LightCheck::clicked, this, [this] { playClick(); });
    auto* product = new QLabel("Kestrafon sound designer", host);
    product->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    product->setMinimumWidth(product->sizeHint().width());
    for (QWidget* w : std::initializer_list<QWidget*>{autoRender_, renderButton_, renderingLight_, progress_, clip_,
                                                      util1, util2, playingLight_})
        strip->addWidget(w);
    // While the live stream plays there is no finished sound to show or save.
    liveNote_ = new QLabel("Realtime on: Render and Save are off", host);
    liveNote_->setStyleSheet("color: #b00000; font-weight: bold");
    liveNote_->setVisible(false);
    strip->addWidget(liveNote_);
    strip->addWidget(product, 1);
    registerControl("AutoRegenerateCheckBox", autoRender_, {});
    registerControl("RegenerateButton", renderButton_, {});
    registerControl("RenderingRadioButton", renderingLight_, {});
    registerControl("RenderProgressBar", progress_, {});
    registerControl("PeakCheckButton", clip_, {});
    registerControl("Util1Button", util1, {});
    registerControl("Util2Button", util2, {});
    registerControl("PlayingLightCheck", playingLight_, {});
    return strip;
}

// The wave display: view buttons, track bar, graph and meter.
QGroupBox* MainWindow::buildWaveDisplay(QWidget* host) {
    auto* display = new QGroupBox(host);
    auto* dl = new QGridLayout(display);
    dl->setContentsMargins(4, 2, 4, 2);
    dl->setSpacing(2);
    auto* views = new QHBoxLayout;
    auto* viewGroup = new QButtonGroup(this);
    const char* viewCaptions[] = {"Zoomed", "Full", "Env1", "Env2", "Env3", "LFO1", "LFO2", "Seq", "SeqEnv"};
    for (int i = 0; i < 9; ++i) {
        auto* b = new QRadioButton(viewCaptions[i], display);
        viewButtons_[static_cast<size_t>(i)] = b;
        viewGroup->addButton(b, i);
        views->addWidget(b);
        connect(b, &QRadioButton::clicked, this, [this, i] {
            view_ = static_cast<WaveView>(i);
            redrawWave();
        });
    }
    viewButtons_[0]->setChecked(true);
    viewTrackBar_ = new QSlider(Qt::Horizontal, display);
    viewTrackBar_->setRange(0, 256);
    viewTrackBar_->setTickInterval(32);
    viewTrackBar_->setTickPosition(QSlider::TicksBelow);
    connect(viewTrackBar_, &QSlider::valueChanged, this, [this] { redrawWave(); });
    // Hidden in the other views, it keeps its place so the buttons stay put.
    QSizePolicy keep = viewTrackBar_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    viewTrackBar_->setSizePolicy(keep);
    views->addWidget(viewTrackBar_, 1);
    auto* zoom = new QComboBox(display);
    for (int z : {1, 2, 4, 8, 16}) zoom->addItem(QString("\u00d7%1").arg(z), z);
    zoom->setToolTip("Vertical zoom of the wave display");
    connect(zoom, &QComboBox::currentIndexChanged, this, [this, zoom] {
        waveGraph_->setVerticalZoom(zoom->currentData().toInt());
    });
    views->addWidget(zoom);
    registerControl("VerticalZoomBox", zoom, {});
    waveGraph_ = new GraphBox(display);
    waveGraph_->setMinimumHeight(72);
    levelBox_ = new LevelBox(display);
    levelBox_->setFixedWidth(14);
    dl->addLayout(views, 0, 0);
    dl->addWidget(waveGraph_, 1, 0);
    dl->addWidget(levelBox_, 0, 1, 2, 1);
    registerControl("WaveGraphBox", waveGraph_, {});
    registerControl("LevelBox", levelBox_, {});
    registerControl("ViewTrackBar", viewTrackBar_, {});
    return display;
}

// Play, Stop, Exit and Save in large type.
QVBoxLayout* MainWindow::buildBigButtons(QWidget* host) {
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    QFont big = font();
    big.setBold(true);
    big.setPixelSize(15);
    const std::array<std::pair<const char*, std::function<void()>>, 4> bigButtons{{
        {"Play", [this] { playClick(); }},
        {"Stop", [this] { stopClick(); }},
        {"Exit", [this] { exitClick(); }},
        {"Save", [this] { saveClick(); }},
    }};
    for (const auto& [caption, handler] : bigButtons) {
        auto* b = new QPushButton(caption, host);
        b->setFont(big);
        b->setFixedSize(std::max(55, QFontMetrics(big).horizontalAdvance("Play") + 20), 23);
        connect(b, &QPushButton::clicked, this, [h = handler] { h(); });
        buttons->addWidget(b);
        registerControl(std::string(caption) + "Button", b, {});
    }
    return buttons;
}

// ---------------------------------------------------------------------------
// Session notifications

void MainWindow::onNotification(const Notification& n) {
    if (shutDown_) return;
    const bool curveShown = view_ != WaveView::Zoomed && view_ != WaveView::Full;
    switch (n.change) {
        case Change::RenderStarted:
        case Change::RenderProgress:
            showRenderState();
            break;
        case Change::RenderFinished:
            showRenderState();
            redrawWave();
            runDeferred();
            emit renderShown();
            break;
        case Change::Redraw:
            redrawWave();
            break;
        case Change::Param:
            updateControl(n.id);
            if (n.id == ParamId::SampleRate) {
                out_->sampleRate = session_->files().sampleRate();
                // Times and rates are labelled at the sound's rate.
                for (int i = 0; i < kParamCount; ++i) updateControl(static_cast<ParamId>(i));
            }
            // Envelope and LFO pictures follow their controls.
            if (curveShown) redrawWave();
            break;
        case Change::Preset:
            showHistory();
            refreshControls();
            break;
        case Change::History:
            showHistory();
            break;
        case Change::RealTime:
            realTimeAction_->setChecked(session_->live().realTimeMark());
            liveNote_->setVisible(session_->live().realTimeMark());
            break;
        default:
            refreshControls();
            if (curveShown) redrawWave();
            break;
    }
}

void MainWindow::renderClick() {
    if (session_->render().renderingLight()) {
        pendingRenderClick_ = true;
        return;
    }
    if (Status st = session_->render().renderClick(); !st) showError(st);
}

void MainWindow::runDeferred() {
    if (session_->render().renderingLight()) return;
    auto held = std::move(deferred_);
    deferred_.clear();
    for (const auto& [id, v] : held) {
        session_->params().set(id, v);
        updateControl(id);
    }
    if (std::exchange(pendingRenderClick_, false)) session_->render().renderClick();
}

void MainWindow::showRenderState() {
    progress_->setValue(session_->render().progress());
    const bool rendering = session_->render().renderingLight();
    renderingLight_->setChecked(rendering);
    QPalette pal = renderingLight_->palette();
    pal.setColor(QPalette::WindowText, rendering ? QColor(255, 0, 0) : QColor(96, 96, 96));
    renderingLight_->setPalette(pal);
    clip_->setChecked(session_->render().clip());
    levelBox_->setLevel(session_->render().meterLevel());
    playingLight_->setChecked(playback_->playingLight());
}

void MainWindow::redrawWave() {
    viewTrackBar_->setVisible(view_ == WaveView::Zoomed);
    viewer_.fill(*session_, view_, viewTrackBar_->value(), display_);
    waveGraph_->setBuffer(display_.data(), kDisplaySamples);
    waveGraph_->repaint();
}

void MainWindow::refreshControls() {
    ++refreshing_;
    for (auto& r : refreshers_) r();
    --refreshing_;
}

// ---------------------------------------------------------------------------
// Commands

void MainWindow::showError(const Status& s) {
    QMessageBox::critical(this, QString::fromStdString(s.caption.empty() ? "Kestrafon" : s.caption),
                          QString::fromStdString(s.message));
}

void MainWindow::playClick() {
    out_->sampleRate = session_->files().sampleRate();
    playback_->playClick();
    playingLight_->setChecked(playback_->playingLight());
}

void MainWindow::playOnceClick() {
    out_->sampleRate = session_->files().sampleRate();
    playback_->playOnce();
    playingLight_->setChecked(playback_->playingLight());
}

void MainWindow::stopClick() {
    playback_->stopClick();
    playingLight_->setChecked(playback_->playingLight());
}

void MainWindow::exitClick() {
    stopClick();
    close();
}

void MainWindow::realTimeClick() {
    playback_->toggleRealTime();
    session_->live().setRealTimeMark(playback_->realTimeMark());
    realTimeAction_->setChecked(playback_->realTimeMark());
    liveNote_->setVisible(playback_->realTimeMark());
    playingLight_->setChecked(playback_->playingLight());
}

SaveFormat MainWindow::saveFormat() const {
    const bool eight = eightBits_ && eightBits_->isChecked();
    SaveType t = SaveType::XI;
    if (saveTypes_[0] && saveTypes_[0]->isChecked()) t = SaveType::MotorolaPCM;
    if (saveTypes_[1] && saveTypes_[1]->isChecked()) t = SaveType::IntelPCM;
    if (saveTypes_[2] && saveTypes_[2]->isChecked()) t = SaveType::WAV;
    return saveFormatFor(t, eight);
}

void MainWindow::saveClick() {
    std::string written;
    if (Status st = session_->files().saveSoundFile(saveFormat(), &written); !st) showError(st);
    else statusBar()->showMessage("Saved " + QString::fromStdString(written), 8000);
}

void MainWindow::showPlayError(const Status& s) {
    // Without any output the library's own words explain little: say what is missing first.
    if (platform_.waveOut->devices().size() > 1) return showError(s);
    QMessageBox box(QMessageBox::Critical, "Kestrafon", "No sound card or sound server found.", QMessageBox::Ok, this);
    box.setInformativeText("The sound can still be rendered and saved.");
    box.setDetailedText(QString::fromStdString(s.caption.empty() ? s.message : s.caption + " " + s.message));
    box.exec();
}

bool MainWindow::openPresetFile(const QString& path) {
    std::string warning;
    if (Status st = session_->files().openPreset(path.toStdString(), true, &warning); !st) {
        showError(st);  // refused: the current sound stays
        return false;
    }
    if (!warning.empty()) QMessageBox::warning(this, "Kestrafon", QString::fromStdString(warning));
    rememberRecent(path);
    return true;
}

void MainWindow::saveSampleAsClick() {
    QFileDialog dialog(this, "Save sample as...");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The last two are chosen by a name's extension too, whatever the filter.
    const QStringList filters{"Microsoft WAV (*.WAV *.wav)", "Extended Instrument (*.XI *.xi)",
                              "Motorola raw (*.RAW *.raw)", "Intel raw (*.RAW *.raw)", "FLAC (*.flac)",
                              "Ogg Vorbis (*.ogg)"};
    dialog.setNameFilters(filters);
    if (const QString dir = lastFolder("export"); !dir.isEmpty()) dialog.setDirectory(dir);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const int filter = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    const QString name = dialog.selectedFiles().front();
    rememberFolder("export", name);
    if (Status st = session_->files().saveSampleAs(name.toStdString(), filter); !st) showError(st);
}

void MainWindow::newPresetClick() {
    if (maySwitchPreset()) session_->files().newPreset();
}

void MainWindow::openPresetClick(const QString& fileName) {
    if (!maySwitchPreset()) return;
    QString name = fileName;
    if (name.isEmpty()) {
        name = QFileDialog::getOpenFileName(this, "Open preset", lastFolder("preset"), "Kestrafon presets (*.kfp)");
        if (name.isEmpty()) return;
        rememberFolder("preset", name);
    }
    openPresetFile(name);
}

bool MainWindow::maySwitchPreset() {
    if (!session_->history().modified()) return true;
    const UnsavedAnswer a = askUnsaved ? askUnsaved() : [this] {
        const auto b = QMessageBox::question(
            this, "Kestrafon",
            QString::fromStdString("The preset " + session_->files().presetName() + " has unsaved changes. Save them?"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        return b == QMessageBox::Save ? UnsavedAnswer::Save
               : b == QMessageBox::Discard ? UnsavedAnswer::Discard : UnsavedAnswer::Cancel;
    }();
    if (a == UnsavedAnswer::Cancel) return false;
    if (a == UnsavedAnswer::Save) {
        savePresetClick();
        return !session_->history().modified();  // a cancelled or failed save keeps the edits
    }
    return true;
}

void MainWindow::undoClick(bool redo) {
    if (redo ? session_->history().redo() : session_->history().undo()) refreshControls();
}

// The Edit menu names the steps; the title names the preset and marks unsaved work.
void MainWindow::showHistory() {
    setWindowTitle(QString::fromStdString(session_->history().windowTitle()));
    const std::string u = session_->history().undoLabel(), r = session_->history().redoLabel();
    undoAction_->setText(QString::fromStdString(u.empty() ? "Undo" : "Undo " + u));
    redoAction_->setText(QString::fromStdString(r.empty() ? "Redo" : "Redo " + r));
    undoAction_->setEnabled(!u.empty());
    redoAction_->setEnabled(!r.empty());
}

void MainWindow::savePresetClick() {
    // The dialog asks before replacing an existing file.
    QString name =
        QFileDialog::getSaveFileName(this, "Save preset", lastFolder("preset"), "Kestrafon presets (*.kfp)");
    if (name.isEmpty()) return;
    if (!name.contains('.')) name += ".kfp";
    rememberFolder("preset", name);
    if (Status st = session_->files().savePreset(name.toStdString()); !st) return showError(st);
    rememberRecent(name);
}

void MainWindow::openSampleClick(int slot) {
    const QString name = QFileDialog::getOpenFileName(this, QString("Open sample %1").arg(slot), lastFolder("sample"),
                                                      kSampleFileFilter);
    if (name.isEmpty()) return;
    rememberFolder("sample", name);
    if (Status st = session_->files().loadSample(slot, name.toStdString()); !st) showError(st);
}

// ---------------------------------------------------------------------------
// The factory bank, recent presets, remembered folders and dropped files

void MainWindow::buildPresetsMenu(QMenu* menu) {
    QMenu* category = nullptr;
    for (const BankPreset& p : listPresetBank(presetBankDir())) {
        const QString title = QString::fromStdString(p.category);
        if (!category || category->title() != title) category = menu->addMenu(title);
        QAction* a = category->addAction(QString::fromStdString(p.title));
        connect(a, &QAction::triggered, this, [this, path = QString::fromStdString(p.path)] { openPresetClick(path); });
    }
    if (menu->isEmpty()) menu->addAction("(no presets installed)")->setEnabled(false);
}

void MainWindow::fillRecentMenu() {
    recentMenu_->clear();
    for (const std::string& path : session_->files().settings().recentPresets) {
        const QString file = QString::fromStdString(path);
        QAction* a = recentMenu_->addAction(QFileInfo(file).fileName());
        a->setToolTip(file);
        connect(a, &QAction::triggered, this, [this, file] { openPresetClick(file); });
    }
    if (recentMenu_->isEmpty()) recentMenu_->addAction("(none)")->setEnabled(false);
}

void MainWindow::rememberRecent(const QString& file) {
    Settings s = session_->files().settings();
    rememberRecentPreset(s, QFileInfo(file).absoluteFilePath().toStdString());
    session_->files().setSettings(s);
}

QString MainWindow::lastFolder(const std::string& kind) const {
    const Settings s = session_->files().settings();
    const auto it = s.lastFolders.find(kind);
    return it == s.lastFolders.end() ? QString() : QString::fromStdString(it->second);
}

void MainWindow::rememberFolder(const std::string& kind, const QString& file) {
    Settings s = session_->files().settings();
    s.lastFolders[kind] = QFileInfo(file).absolutePath().toStdString();
    session_->files().setSettings(s);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return;
    e->acceptProposedAction();
    // Dialogs must not run inside the drop: the source waits for it.
    QTimer::singleShot(0, this, [this, file = urls.front().toLocalFile()] { openFile(file); });
}

void MainWindow::openFile(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == "kfp") return openPresetClick(path);
    if (ext == "mid" || ext == "midi") return tools_->renderMidi(path);
    QMessageBox ask(QMessageBox::Question, "Kestrafon", QString("Load %1 as").arg(QFileInfo(path).fileName()),
                    QMessageBox::Cancel, this);
    QAbstractButton* one = ask.addButton("Sample 1", QMessageBox::AcceptRole);
    QAbstractButton* two = ask.addButton("Sample 2", QMessageBox::AcceptRole);
    ask.exec();
    const int slot = ask.clickedButton() == one ? 1 : ask.clickedButton() == two ? 2 : 0;
    if (slot == 0) return;
    if (Status st = session_->files().loadSample(slot, path.toStdString()); !st) showError(st);
}

void MainWindow::normalizeClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    session_->render().normalize();
    QApplication::restoreOverrideCursor();
    refreshControls();
}

}  // namespace kf::ui
