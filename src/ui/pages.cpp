// The twelve pages: their groups, and the widgets that are not made from
// the parameter table (lists, radio buttons, device lists, graph editors).
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "audio/midi_in.h"
#include "audio/playback.h"
#include "audio/realtime.h"
#include "ui/curve_editor.h"
#include "ui/custom_controls.h"
#include "ui/main_window.h"

namespace kf::ui {

namespace {

enum Page { kMixer, kAmplifiers, kOscillators, kWaveform, kEnvelope, kGraphEnv, kLfo, kFilters, kSequencer,
            kOptions, kRealtime, kFx };

const char* const kSourceItems[] = {"None", "Env1", "Env2", "Env3", "LFO1", "LFO2", "Noise",
                                    "Graph", "Seq", "SEnv", "Midi1", "Midi2", "MEnv1", "MEnv2"};
const char* const kWaveItems[] = {"Sine", "|Sine|", "EvenSine", "Square", "Triangle", "Saw",
                                  "2xSaw", "Noise", "Light noise", "Custom", "Sample 1", "Sample 2"};

uint16_t listToSet(const QListWidget* l) {
    uint16_t bits = 0;
    for (int i = 0; i < l->count() && i < 16; ++i)
        if (l->item(i)->isSelected()) bits = static_cast<uint16_t>(bits | (1u << i));
    return bits;
}

void setToList(QListWidget* l, uint16_t bits) {
    for (int i = 0; i < l->count() && i < 16; ++i) l->item(i)->setSelected((bits >> i) & 1);
}

}  // namespace

void MainWindow::buildPages() {
    const auto& captions = pageCaptions();
    for (int p = 0; p < 12; ++p) {
        auto* page = new QWidget;
        auto* row = new QHBoxLayout(page);
        row->setContentsMargins(4, 4, 4, 4);
        row->setSpacing(6);
        pages_->addTab(page, captions[static_cast<size_t>(p)]);
    }
    buildMixerPage();
    buildAmplifiersPage();
    buildOscillatorsPage();
    buildCurvePage(kWaveform, true);
    buildCurvePage(kGraphEnv, false);
    buildLfoPage();
    buildFiltersPage();
    buildSequencerPage();
    buildOptionsPage();
    buildRealtimePage();
    for (int e = 0; e < 3; ++e) groupOn(kEnvelope, e, QString("Envelope %1").arg(e + 1));
    groupOn(kFx, 0, "Flanger");
    groupOn(kFx, 1, "Chorus");
    addTableControls();
    for (auto& cols : pageColumns_)
        for (QVBoxLayout* c : cols) c->addStretch(1);
}

QGroupBox* MainWindow::groupOn(int page, int col, const QString& title) {
    auto& cols = pageColumns_[static_cast<size_t>(page)];
    auto* row = static_cast<QHBoxLayout*>(pages_->widget(page)->layout());
    while (static_cast<int>(cols.size()) <= col) {
        auto* c = new QVBoxLayout;
        c->setSpacing(4);
        row->addLayout(c, 1);
        cols.push_back(c);
    }
    auto* g = new QGroupBox(title, pages_->widget(page));
    auto* v = new QVBoxLayout(g);
    v->setContentsMargins(4, 2, 4, 2);
    v->setSpacing(1);
    cols[static_cast<size_t>(col)]->addWidget(g);
    groups_[{page, title}] = g;
    return g;
}

QGroupBox* MainWindow::findGroup(int page, const QString& title) {
    auto it = groups_.find({page, title});
    if (it != groups_.end()) return it->second;
    const int last = std::max(0, static_cast<int>(pageColumns_[static_cast<size_t>(page)].size()) - 1);
    return groupOn(page, last, title);
}

QVBoxLayout* MainWindow::groupLayout(QGroupBox* g) { return static_cast<QVBoxLayout*>(g->layout()); }

QListWidget* MainWindow::sourceList(const char* name, QWidget* parent, std::function<uint16_t&()> field, bool osc) {
    auto* l = new QListWidget(parent);
    for (const char* item : kSourceItems) l->addItem(item);
    l->setSelectionMode(QAbstractItemView::MultiSelection);  // plain toggling, no ranges
    l->setFixedWidth(l->sizeHintForColumn(0) + 28);
    connect(l, &QListWidget::itemSelectionChanged, this, [this, l, field, osc] {
        if (refreshing_) return;
        {
            std::lock_guard<std::recursive_mutex> lock(session_->mutex());
            field() = listToSet(l);
        }
        if (osc)
            session_->oscillatorControlChanged();
        else
            session_->timbreControlChanged();
    });
    registerControl(name, l, [this, l, field] {
        std::lock_guard<std::recursive_mutex> lock(session_->mutex());
        setToList(l, field());
    });
    return l;
}

void MainWindow::buildMixerPage() {
    QGroupBox* rate = groupOn(kMixer, 0, "Sample rate");
    auto* buttons = new QHBoxLayout;
    for (auto [caption, position] : {std::pair{"11025", 2205}, {"22050", 4410}, {"44100", 8820}, {"48000", 9600}}) {
        auto* b = new QPushButton(caption, rate);
        buttons->addWidget(b);
        // The buttons only move the rate bar; its own handler does the rest.
        connect(b, &QPushButton::clicked, this, [this, position = position] {
            if (auto* bar = control("FrequencyScrollBar")) {
                if (auto* sb = qobject_cast<QScrollBar*>(bar->findChild<QScrollBar*>())) {
                    sb->setValue(position);
                    return;
                }
            }
            session_->sampleRateChanged(position);
        });
    }
    groupLayout(rate)->addLayout(buttons);
    groupOn(kMixer, 0, "Length");
    QGroupBox* samples = groupOn(kMixer, 1, "Samples Info");
    sampleInfo_ = new QLabel(samples);
    groupLayout(samples)->addWidget(sampleInfo_);
    registerControl("SamplesInfoLabel", sampleInfo_, [this] {
        std::lock_guard<std::recursive_mutex> lock(session_->mutex());
        sampleInfo_->setText(QString("Sample #1: %1 (%2 samples)\nSample #2: %3 (%4 samples)")
                                 .arg(QString::fromStdString(session_->sample1.label()))
                                 .arg(session_->sample1.view().count)
                                 .arg(QString::fromStdString(session_->sample2.label()))
                                 .arg(session_->sample2.view().count));
    });
}

void MainWindow::buildAmplifiersPage() {
    groupOn(kAmplifiers, 0, "FeedBack");
    QGroupBox* main = groupOn(kAmplifiers, 1, "Main");
    groupOn(kAmplifiers, 1, "Overdrive");
    groupOn(kAmplifiers, 2, "Reverb");
    auto* l = sourceList("VolumeModulationBox", main, [this]() -> uint16_t& { return session_->panel.volumeModulation; },
                         false);
    l->setFixedHeight(96);
    groupLayout(main)->addWidget(new QLabel("Modulation", main));
    groupLayout(main)->addWidget(l);
}

void MainWindow::buildOscillatorsPage() {
    QGroupBox* oscs = groupOn(kOscillators, 0, "Oscillators");
    auto* grid = new QGridLayout;
    grid->setSpacing(1);
    auto* radios = new QButtonGroup(this);
    for (int k = 0; k < 10; ++k) {
        auto* light = new LightCheck(oscs);
        light->setFixedSize(13, 13);
        light->setToolTip("Active");
        auto* b = new QRadioButton(QString::number(k + 1), oscs);
        radios->addButton(b, k);
        grid->addWidget(light, k, 0);
        grid->addWidget(b, k, 1);
        oscButtons_[static_cast<size_t>(k)] = b;
        activeLights_[static_cast<size_t>(k)] = light;
        registerControl("Oscillator" + std::to_string(k + 1) + "RadioButton", b, {});
        registerControl("Oscillator" + std::to_string(k + 1) + "CheckBox", light, [this, k, light, b] {
            std::lock_guard<std::recursive_mutex> lock(session_->mutex());
            light->setChecked(session_->activeLights[static_cast<size_t>(k)]);
            b->setChecked(session_->selectedOscillator == k);
        });
        connect(b, &QRadioButton::clicked, this, [this, k] {
            if (!refreshing_) session_->selectOscillator(k);
        });
        connect(light, &LightCheck::clicked, this, [this, k, light] {
            {
                std::lock_guard<std::recursive_mutex> lock(session_->mutex());
                session_->activeLights[static_cast<size_t>(k)] = light->isChecked();
            }
            session_->oscillatorControlChanged();
        });
    }
    groupLayout(oscs)->addLayout(grid);

    QGroupBox* wave = groupOn(kOscillators, 1, "Oscillator");
    waveForm_ = new QComboBox(wave);
    for (const char* w : kWaveItems) waveForm_->addItem(w);
    groupLayout(wave)->addWidget(waveForm_);
    registerControl("WaveFormComboBox", waveForm_, [this] {
        std::lock_guard<std::recursive_mutex> lock(session_->mutex());
        waveForm_->setCurrentIndex(session_->osc.waveList);
    });
    connect(waveForm_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (refreshing_ || i < 0) return;
        {
            std::lock_guard<std::recursive_mutex> lock(session_->mutex());
            session_->osc.waveList = i;
        }
        session_->oscillatorControlChanged();
    });

    QGroupBox* mods = groupOn(kOscillators, 2, "Modulation");
    auto* row = new QHBoxLayout;
    const std::array<std::tuple<const char*, const char*, uint16_t OscillatorControls::*>, 3> lists{{
        {"Shape", "SineGeneratorShapeModulationBox", &OscillatorControls::shapeSources},
        {"Frequency", "SineGeneratorFrequencyModulationBox", &OscillatorControls::frequencySources},
        {"Volume", "SineGeneratorVolumeModulationBox", &OscillatorControls::volumeSources},
    }};
    for (const auto& [caption, name, field] : lists) {
        auto* col = new QVBoxLayout;
        col->addWidget(new QLabel(caption, mods));
        auto* l = sourceList(name, mods, [this, f = field]() -> uint16_t& { return session_->osc.*f; }, true);
        l->setFixedHeight(200);
        col->addWidget(l);
        row->addLayout(col);
    }
    groupLayout(mods)->addLayout(row);
}

void MainWindow::buildCurvePage(int page, bool waveform) {
    QWidget* host = pages_->widget(page);
    Curve& curve = waveform ? session_->waveFormGraph : session_->envelopeGraph;
    auto* editor = new CurveEditor(curve, session_->mutex(), [this, waveform] {
        if (waveform) {
            // The drawn waveform is sampled at the next render; record it now.
            std::lock_guard<std::recursive_mutex> lock(session_->mutex());
            session_->oscillatorsChanged = true;
            session_->getTimbre(session_->current());
        } else {
            session_->timbreControlChanged();
        }
    }, host);
    host->layout()->addWidget(editor);
    registerControl(waveform ? "WaveFormGraphBox" : "EnvelopeGraphBox", editor, [editor] { editor->area()->update(); });
}

void MainWindow::buildLfoPage() {
    for (int n = 0; n < 2; ++n) {
        QGroupBox* g = groupOn(kLfo, n, n ? "LFO2" : "LFO1");
        auto* row = new QHBoxLayout;
        auto* group = new QButtonGroup(this);
        const std::array<std::pair<const char*, uint8_t>, 3> shapes{{{"Sine", 0}, {"Random", 6}, {"Triangle", 3}}};
        std::array<QRadioButton*, 3> buttons{};
        for (size_t i = 0; i < 3; ++i) {
            auto* b = new QRadioButton(shapes[i].first, g);
            buttons[i] = b;
            group->addButton(b);
            row->addWidget(b);
            const uint8_t code = shapes[i].second;
            connect(b, &QRadioButton::toggled, this, [this, n, code](bool on) {
                if (!on || refreshing_) return;
                {
                    std::lock_guard<std::recursive_mutex> lock(session_->mutex());
                    (n ? session_->panel.lfo2Shape : session_->panel.lfo1Shape) = code;
                }
                session_->timbreControlChanged();
            });
        }
        groupLayout(g)->addLayout(row);
        registerControl(n ? "LFO2ShapeRadioButtons" : "LFO1ShapeRadioButtons", g, [this, n, buttons, shapes] {
            std::lock_guard<std::recursive_mutex> lock(session_->mutex());
            const uint8_t code = n ? session_->panel.lfo2Shape : session_->panel.lfo1Shape;
            for (size_t i = 0; i < 3; ++i)
                if (shapes[i].second == code) buttons[i]->setChecked(true);
        });
    }
    groupOn(kLfo, 2, "Noise");
}

void MainWindow::buildFiltersPage() {
    groupOn(kFilters, 0, "Average filter");
    groupOn(kFilters, 0, "Window filter");
    QGroupBox* res = groupOn(kFilters, 1, "Resonance");
    QGroupBox* cut = groupOn(kFilters, 2, "Cut-off");
    auto* rl = sourceList("ResonanceFrequencyModulationBox", res,
                          [this]() -> uint16_t& { return session_->panel.resonanceFrequencyModulation; }, false);
    rl->setFixedHeight(80);
    groupLayout(res)->addWidget(rl);
    auto* mode = new QHBoxLayout;
    auto* high = new QRadioButton("High-p", cut);
    auto* low = new QRadioButton("Low", cut);
    low->setChecked(true);
    mode->addWidget(high);
    mode->addWidget(low);
    groupLayout(cut)->addLayout(mode);
    connect(high, &QRadioButton::toggled, this, [this](bool on) {
        if (refreshing_) return;
        {
            std::lock_guard<std::recursive_mutex> lock(session_->mutex());
            session_->panel.cutOffMode = on ? 1 : 0;
        }
        session_->timbreControlChanged();
    });
    registerControl("CutOffModeRadioButtons", high, [this, high, low] {
        std::lock_guard<std::recursive_mutex> lock(session_->mutex());
        (session_->panel.cutOffMode == 1 ? high : low)->setChecked(true);
    });
    auto* cl = sourceList("CutOffModulationBox", cut, [this]() -> uint16_t& { return session_->panel.cutOffModulation; },
                          false);
    cl->setFixedHeight(80);
    groupLayout(cut)->addWidget(cl);
}

void MainWindow::buildSequencerPage() {
    QGroupBox* notes = groupOn(kSequencer, 0, "Note sequencer");
    QGroupBox* env = groupOn(kSequencer, 1, "Envelope sequencer");
    QGroupBox* freq = groupOn(kSequencer, 1, "Frequency sequencer");
    for (QGroupBox* g : {notes, env, freq}) {
        auto* l = new QLabel(g);
        l->setWordWrap(true);
        groupLayout(g)->addWidget(l);
        registerControl(g->title().toStdString() + " summary", l, [this, l, g] {
            std::lock_guard<std::recursive_mutex> lock(session_->mutex());
            if (g->title() == "Note sequencer")
                l->setText(QString("%1 notes").arg(session_->units.noteSequencer().noteCount));
            else
                l->setText("Edited through presets");
        });
    }
    QGroupBox* chord = groupOn(kSequencer, 1, "Chord");
    auto* row = new QHBoxLayout;
    chordCheck_ = new QCheckBox("Chord", chord);
    chordEdit_ = new QLineEdit("C-5,E-5", chord);
    chordEdit_->setEnabled(false);
    chordEdit_->setMinimumWidth(161);
    row->addWidget(chordCheck_);
    row->addWidget(chordEdit_, 1);
    groupLayout(chord)->addLayout(row);
    connect(chordCheck_, &QCheckBox::toggled, this, [this](bool on) {
        chordEdit_->setEnabled(on);
        if (refreshing_) return;
        {
            std::lock_guard<std::recursive_mutex> lock(session_->mutex());
            session_->panel.chordActive = on ? 1 : 0;
        }
        session_->timbreControlChanged();
    });
    connect(chordEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        {
            std::lock_guard<std::recursive_mutex> lock(session_->mutex());
            session_->chordEdit = text.toStdString();
        }
        session_->timbreControlChanged();
    });
    registerControl("ChordCheckBox", chordCheck_, [this] {
        std::lock_guard<std::recursive_mutex> lock(session_->mutex());
        chordCheck_->setChecked(session_->panel.chordActive != 0);
        chordEdit_->setEnabled(chordCheck_->isChecked());
        if (chordEdit_->text().toStdString() != session_->chordEdit)
            chordEdit_->setText(QString::fromStdString(session_->chordEdit));
    });
    registerControl("ChordEdit", chordEdit_, {});
}

void MainWindow::buildOptionsPage() {
    const std::array<const char*, 4> titles{"Wave Out Devices", "Midi Out Devices", "Wave In Devices",
                                            "Midi In Devices"};
    const std::array<const char*, 4> names{"WaveOutDevicesListBox", "MidiOutDevicesListBox", "WaveInDevicesListBox",
                                           "MidiInDevicesListBox"};
    for (int i = 0; i < 4; ++i) {
        QGroupBox* g = groupOn(kOptions, i / 2, titles[static_cast<size_t>(i)]);
        auto* l = new QListWidget(g);
        l->setFixedHeight(70);
        groupLayout(g)->addWidget(l);
        deviceLists_[static_cast<size_t>(i)] = l;
        registerControl(names[static_cast<size_t>(i)], l, {});
    }
    deviceLists_[1]->setEnabled(false);  // shown only
    deviceLists_[2]->setEnabled(false);
    connect(deviceLists_[0], &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        out_->deviceItem = row;
        session_->settings.waveOut = row;
    });
    connect(deviceLists_[3], &QListWidget::itemClicked, this, [this] {
        if (midiIn_) midiIn_->closeMidiIn();
        session_->settings.midiIn = std::max(deviceLists_[3]->currentRow(), 0);
        openMidiIn();
    });

    QGroupBox* format = groupOn(kOptions, 2, "Saving format");
    const std::array<const char*, 4> typeNames{"SaveTypeMotorolaPCMRadioButton", "SaveTypeIntelPCMRadioButton",
                                               "SaveTypeWAVRadioButton", "SaveTypeXIRadioButton"};
    for (size_t i = 0; i < 4; ++i) {
        saveTypes_[i] = new QRadioButton(format);
        groupLayout(format)->addWidget(saveTypes_[i]);
        registerControl(typeNames[i], saveTypes_[i], {});
    }
    saveTypes_[2]->setText("Microsoft WAV");
    saveTypes_[3]->setText("FastTracker's XI");
    saveTypes_[3]->setChecked(true);
    QGroupBox* quality = groupOn(kOptions, 2, "Quality");
    eightBits_ = new QRadioButton("8 bits", quality);
    auto* sixteen = new QRadioButton("16 bits", quality);
    sixteen->setChecked(true);
    groupLayout(quality)->addWidget(eightBits_);
    groupLayout(quality)->addWidget(sixteen);
    auto captions = [this] {
        const bool eight = eightBits_->isChecked();
        saveTypes_[0]->setText(motorolaCaption(eight));
        saveTypes_[1]->setText(intelCaption(eight));
    };
    captions();
    connect(eightBits_, &QRadioButton::toggled, this, captions);
    registerControl("QualityRadioGroup", quality, {});

    QGroupBox* rt = groupOn(kOptions, 2, "Real-time buffer");
    auto* label = new QLabel(QString::fromStdString(bufferLengthLabel(1)), rt);
    auto* bar = new QScrollBar(Qt::Horizontal, rt);
    bar->setRange(1, 32);
    bar->setValue(1);
    groupLayout(rt)->addWidget(label);
    groupLayout(rt)->addWidget(bar);
    connect(bar, &QScrollBar::valueChanged, this, [this, label](int pos) {
        label->setText(QString::fromStdString(bufferLengthLabel(pos)));
        label->repaint();
        playback_->realTimeDelayChange(pos);
        session_->settings.bufSize = pos;
    });
    registerControl("RealTimeDelayScrollBar", bar, {});
}

void MainWindow::buildRealtimePage() {
    groupOn(kRealtime, 0, "Tempo");
    QGroupBox* midi = groupOn(kRealtime, 0, "MIDI controllers");
    auto* response = new QCheckBox("Oscillators response to MIDI In", midi);
    response->setChecked(true);
    groupLayout(midi)->addWidget(response);
    connect(response, &QCheckBox::toggled, this, [this](bool on) { session_->midi.noteResponse = on; });
    registerControl("OscillatorMidiInCheckBox", response, {});
    for (int n = 0; n < 2; ++n) {
        auto* row = new QHBoxLayout;
        auto* spin = new QSpinBox(midi);
        spin->setRange(0, n ? 2147483647 : 255);
        spin->setValue(n ? 10 : 7);
        row->addWidget(new QLabel(QString("Controller %1").arg(n + 1), midi));
        row->addWidget(spin);
        groupLayout(midi)->addLayout(row);
        connect(spin, &QSpinBox::valueChanged, this, [this, n](int v) { session_->midi.number[n] = v; });
        registerControl("MidiController" + std::to_string(n + 1) + "SpinEdit", spin, {});
        auto* srow = new QHBoxLayout;
        auto* sens = new QScrollBar(Qt::Horizontal, midi);
        sens->setRange(1, 256);
        sens->setValue(256);
        srow->addWidget(new QLabel("Sensitivity", midi));
        srow->addWidget(sens, 1);
        groupLayout(midi)->addLayout(srow);
        connect(sens, &QScrollBar::valueChanged, this, [this, n](int v) { session_->midi.sensitivity[n] = v; });
        registerControl("Controller" + std::to_string(n + 1) + "SensetivityScrollBar", sens, {});
    }
    groupOn(kRealtime, 1, "MIDIEnvelope1");
    groupOn(kRealtime, 2, "MIDIEnvelope2");
}

// Until the parameter table exists there are no table-made controls.
void MainWindow::addTableControls() {}

}  // namespace kf::ui
