// The twelve pages. Every parameter control is made from its row of the
// parameter table and placed in the group the row names; the widgets that
// are not parameters (device lists, save choices, graph editors, oscillator
// radio buttons, rate buttons) are made here too.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>
#include <cstring>
#include <limits>

#include "audio/midi_in.h"
#include "audio/playback.h"
#include "audio/realtime.h"
#include "ui/curve_editor.h"
#include "ui/custom_controls.h"
#include "ui/harmonic_bars.h"
#include "ui/keyboard_play.h"
#include "ui/labelled_bar.h"
#include "ui/main_window.h"
#include "ui/note_list.h"

namespace kf::ui {

namespace {

enum Page { kMixer, kAmplifiers, kOscillators, kWaveform, kEnvelope, kGraphEnv, kLfo, kFilters, kSequencer,
            kOptions, kRealtime, kFx };

QString qs(std::string_view v) { return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())); }

uint16_t listToSet(const QListWidget* l) {
    uint16_t bits = 0;
    for (int i = 0; i < l->count() && i < 16; ++i)
        if (l->item(i)->isSelected()) bits = static_cast<uint16_t>(bits | (1u << i));
    return bits;
}

void setToList(QListWidget* l, uint16_t bits) {
    for (int i = 0; i < l->count() && i < 16; ++i) l->item(i)->setSelected((bits >> i) & 1);
}

// A caption for a bar whose value has no label: its control name without
// the group's prefix and the kind, in words ("ReverbDryVolumeScrollBar" in
// group "Reverb" reads "Dry volume").
QString barCaption(std::string_view control, std::string_view group) {
    QString name = qs(control);
    for (const char* kind : {"ScrollBar", "Bar"})
        if (name.endsWith(kind)) {
            name.chop(static_cast<int>(std::strlen(kind)));
            break;
        }
    name.remove('_');
    QString g = qs(group);
    g.remove(' ');
    // In "Main" the group's name is part of the caption ("Main volume").
    if (!g.isEmpty() && g != "Main" && name.startsWith(g, Qt::CaseInsensitive) && name.size() > g.size()) name = name.mid(g.size());
    if (name.startsWith("FW")) name = name.mid(2);
    QString words;
    for (int i = 0; i < name.size(); ++i) {
        if (i > 0 && name[i].isUpper() && !name[i - 1].isUpper()) words += ' ';
        words += words.isEmpty() ? name[i] : name[i].toLower();
    }
    return words;
}

int pageOf(std::string_view caption) {
    const auto& captions = pageCaptions();
    for (int p = 0; p < 12; ++p)
        if (caption == captions[static_cast<size_t>(p)]) return p;
    return -1;
}

// The tooltip of a control that is not a bar (bars say their value and range
// themselves): its group, its name and how it is changed.
QString controlTip(const ParamInfo& p) {
    const QString where = qs(p.group.empty() ? std::string_view("Sequencer") : p.group);
    switch (p.type) {
        case ParamType::Bool:
            if (p.scope == ParamScope::Light) return QString("Oscillator %1 on or off").arg(p.offset + 1);
            return where + ": " + qs(p.caption) + " (on or off; Space toggles it)";
        case ParamType::Sources:
            return where + ": modulation sources; click to select or unselect, several at once";
        case ParamType::Choice: {
            QStringList items;
            for (const ParamChoice& c : paramChoices(p.id)) items << qs(c.caption);
            return where + ": one of " + items.join(", ");
        }
        case ParamType::Int:
        case ParamType::Real:
            break;
    }
    QString tip = where + ": " + qs(p.caption).remove(':').trimmed();
    if (p.max < 2147483647.0L)
        tip += QString(" (%1 to %2)").arg(static_cast<double>(p.min)).arg(static_cast<double>(p.max));
    else
        tip += QString(" (%1 or more)").arg(static_cast<double>(p.min));
    return tip + "; type a value in the box or move the bar";
}

// Set on a group whose content should grow with the page's height.
constexpr const char* kFillsColumn = "fillsColumn";

}  // namespace

// ---------------------------------------------------------------------------
// Pages and groups

void MainWindow::buildPages() {
    buildPageGroups();
    buildOscillatorButtons();
    QGroupBox* harm = findGroup(kOscillators, "Harmonics");
    QGridLayout* harmonics = buildHarmonicsEditor(harm);

    buildCurvePage(kWaveform, true);
    buildCurvePage(kGraphEnv, false);
    buildOptionsPage();
    buildRealtimeExtras();
    addTableControls();

    groupLayout(harm)->addLayout(harmonics);  // below the table's "Active" box
    buildNoteSteps();

    // Keys that reach the window unhandled play notes while real time is on.
    installEventFilter(new KeyboardPlay(
        *session_, [this] { return playback_->realTimeMark(); }, [this] { return realTime_->midiTimeStamp(); },
        this));

    buildMixerExtras();
    buildChordEdit();
    stretchColumns();
}

// The twelve pages and their groups in columns.
void MainWindow::buildPageGroups() {
    const auto& captions = pageCaptions();
    for (int p = 0; p < 12; ++p) {
        auto* page = new QWidget;
        auto* row = new QHBoxLayout(page);
        row->setContentsMargins(4, 4, 4, 4);
        row->setSpacing(6);
        pages_->addTab(page, captions[static_cast<size_t>(p)]);
    }
    // Groups in their columns, so that each page reads left to right.
    const std::array<std::vector<std::vector<const char*>>, 12> layout{{
        {{"Sample rate", "Length"}, {"Samples"}},
        {{"FeedBack"}, {"Main", "Overdrive"}, {"Reverb"}},
        {{"Oscillators"}, {"Oscillator"}, {"Harmonics"}, {"Volume modulation"}, {"Frequency modulation"},
         {"Shape modulation"}},
        {},
        {{"Env1"}, {"Env2"}, {"Env3"}},
        {},
        {{"LFO1"}, {"LFO2"}, {"Noise"}},
        {{"Average filter", "Window filter"}, {"Resonance"}, {"CutOff"}},
        {{"Note sequencer", "Chord"}, {"Envelope sequencer", "Frequency sequencer"}},
        {},
        {{"Tempo", "MIDI controllers"}, {"MIDI envelope 1"}, {"MIDI envelope 2"}},
        {{"Flanger"}, {"Chorus"}},
    }};
    for (int p = 0; p < 12; ++p)
        for (size_t c = 0; c < layout[static_cast<size_t>(p)].size(); ++c)
            for (const char* g : layout[static_cast<size_t>(p)][c]) groupOn(p, static_cast<int>(c), g);
}

// The oscillator radio buttons, beside which the table's "Active" lights go.
void MainWindow::buildOscillatorButtons() {
    QGroupBox* oscs = findGroup(kOscillators, "Oscillators");
    oscGrid_ = new QGridLayout;
    oscGrid_->setSpacing(1);
    auto* radios = new QButtonGroup(this);
    for (int k = 0; k < 10; ++k) {
        auto* b = new QRadioButton(QString::number(k + 1), oscs);
        radios->addButton(b, k);
        oscGrid_->addWidget(b, k, 1);
        oscButtons_[static_cast<size_t>(k)] = b;
        registerControl("Oscillator" + std::to_string(k + 1) + "RadioButton", b,
                        [this, k, b] { b->setChecked(session_->params().selectedOscillator() == k); });
        connect(b, &QRadioButton::clicked, this, [this, k] {
            if (!refreshing_) session_->params().selectOscillator(k);
        });
    }
    groupLayout(oscs)->addLayout(oscGrid_);
    oscs->setToolTip("The lights switch the oscillators on; the buttons choose the one shown");
}

// The note sequencer's step list below its count edit.
void MainWindow::buildNoteSteps() {
    QGroupBox* notes = findGroup(kSequencer, "Note sequencer");
    auto* steps = new NoteStepList(*session_, notes);
    steps->setMinimumHeight(8 * steps->fontMetrics().height());
    groupLayout(notes)->addWidget(steps, 1);
    notes->setProperty(kFillsColumn, true);
    registerControl("NotesListBox", steps, [steps] { steps->refresh(); });
}

// The rate buttons and the samples' names on the Mixer page.
void MainWindow::buildMixerExtras() {
    // Rate buttons: they only move the rate bar, whose own change does the rest.
    QGroupBox* rate = findGroup(kMixer, "Sample rate");
    auto* buttons = new QHBoxLayout;
    for (auto [caption, position] : {std::pair{"11025", 2205}, {"22050", 4410}, {"44100", 8820}, {"48000", 9600}}) {
        auto* b = new QPushButton(caption, rate);
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, position = position] {
            if (auto* bar = control("FrequencyScrollBar")->findChild<QScrollBar*>()) bar->setValue(position);
        });
    }
    groupLayout(rate)->addLayout(buttons);

    QGroupBox* samples = findGroup(kMixer, "Samples");
    sampleInfo_ = new QLabel(samples);
    groupLayout(samples)->addWidget(sampleInfo_);
    registerControl("SamplesInfoLabel", sampleInfo_, [this] {
        sampleInfo_->setText(QString("Sample #1: %1 (%2)\nSample #2: %3 (%4)")
                                 .arg(QString::fromStdString(session_->files().sampleLabel(1)))
                                 .arg(QString::fromStdString(session_->files().sampleDetails(1)))
                                 .arg(QString::fromStdString(session_->files().sampleLabel(2)))
                                 .arg(QString::fromStdString(session_->files().sampleDetails(2))));
    });
}

// The chord text beside the table's chord box.
void MainWindow::buildChordEdit() {
    QGroupBox* chord = findGroup(kSequencer, "Chord");
    chordEdit_ = new QLineEdit("C-5,E-5", chord);
    chordEdit_->setMinimumWidth(161);
    groupLayout(chord)->addWidget(chordEdit_);
    connect(chordEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        session_->params().setChordText(text.toStdString());
    });
    registerControl("ChordEdit", chordEdit_, [this] {
        chordEdit_->setEnabled(session_->params().get(ParamId::ChordActive) != 0);
        const QString text = QString::fromStdString(session_->params().chordText());
        if (chordEdit_->text() != text) chordEdit_->setText(text);
    });
}

// Columns holding nothing but lists keep their lists' width; a group around
// a growing widget takes its column's spare height; controls pack at the top.
void MainWindow::stretchColumns() {
    for (int p = 0; p < 12; ++p) {
        auto& cols = pageColumns_[static_cast<size_t>(p)];
        auto* row = static_cast<QHBoxLayout*>(pages_->widget(p)->layout());
        for (size_t c = 0; c < cols.size(); ++c) {
            bool listsOnly = cols[c]->count() > 0;
            bool filled = false;
            for (int i = 0; i < cols[c]->count(); ++i) {
                auto* g = qobject_cast<QGroupBox*>(cols[c]->itemAt(i)->widget());
                if (g && g->property(kFillsColumn).toBool()) {
                    // A group around a growing widget takes the column's spare height.
                    listsOnly = false;
                    filled = true;
                    cols[c]->setStretch(i, 1);
                } else if (!g || groupLayout(g)->count() > 0) {
                    listsOnly = false;
                    if (g) groupLayout(g)->addStretch(1);  // controls packed at the top
                } else {
                    auto* h = static_cast<QHBoxLayout*>(g->layout());
                    h->setStretch(0, 0);
                    h->setStretch(1, 1);
                }
            }
            if (listsOnly) row->setStretch(static_cast<int>(c), 0);
            if (!filled) cols[c]->addStretch(1);
        }
    }
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
    // Two columns inside each group: the controls, and beside them any
    // modulation-source lists (they are tall).
    auto* g = new QGroupBox(title, pages_->widget(page));
    auto* h = new QHBoxLayout(g);
    h->setContentsMargins(4, 2, 4, 2);
    h->setSpacing(6);
    auto* v = new QVBoxLayout;
    v->setSpacing(1);
    auto* side = new QVBoxLayout;
    side->setSpacing(1);
    h->addLayout(v, 1);
    h->addLayout(side);
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

QVBoxLayout* MainWindow::groupLayout(QGroupBox* g) { return static_cast<QVBoxLayout*>(g->layout()->itemAt(0)->layout()); }

namespace {
QVBoxLayout* sideLayout(QGroupBox* g) { return static_cast<QVBoxLayout*>(g->layout()->itemAt(1)->layout()); }
}  // namespace

void MainWindow::addTableControls() {
    for (const ParamInfo& p : paramTable()) {
        const int page = pageOf(p.page);
        if (page < 0) continue;
        // The chord box sits in its own group beside the chord text.
        const QString title = p.group.empty() ? QString("Chord") : qs(p.group);
        QGroupBox* g = findGroup(page, title);
        if (p.id >= ParamId::OscLevel1 && p.id <= ParamId::OscDetune16) {
            // Bar i of the level or the detune row shows the selected oscillator's value.
            const bool level = p.id <= ParamId::OscLevel16;
            const int i = static_cast<int>(p.id) - static_cast<int>(level ? ParamId::OscLevel1 : ParamId::OscDetune1) + 1;
            auto* bars = g->findChild<HarmonicBars*>(level ? "HarmonicBars" : "DetuneHarmonicBars");
            bind(p, bars->bar(i), [this, id = p.id, bars, i, level] {
                const int32_t v = session_->params().get(id);
                bars->showHarmonic(i, v);
                bars->bar(i)->setToolTip(
                    QString("Harmonic %1 %2: %3 (0 to 256)").arg(i).arg(level ? "level" : "detune").arg(v));
            });
            continue;
        }
        QWidget* w = makeControl(p, g);
        if (w->toolTip().isEmpty()) w->setToolTip(controlTip(p));
        if (p.scope == ParamScope::Light) {
            oscGrid_->addWidget(w, p.offset, 0);
        } else if (p.type == ParamType::Sources) {
            sideLayout(g)->addWidget(w, 0, Qt::AlignHCenter);
        } else if (p.type == ParamType::Bool && p.caption == "Active") {
            groupLayout(g)->insertWidget(0, w);  // a group's switch comes first
        } else {
            groupLayout(g)->addWidget(w);
        }
    }
}

// ---------------------------------------------------------------------------
// Controls from the table

void MainWindow::userSet(ParamId id, long double v) {
    if (refreshing_) return;
    const Reaction r = paramInfo(id).reaction;
    if ((r == Reaction::Length || r == Reaction::Silence) && session_->render().renderingLight()) {
        deferred_[id] = v;  // applied when the running render has finished
        return;
    }
    session_->params().set(id, v);
    updateControl(id);  // the label shows the new value at once
}

void MainWindow::updateControl(ParamId id) {
    auto& u = updaters_[static_cast<size_t>(id)];
    if (!u) return;
    ++refreshing_;
    u();
    --refreshing_;
}

void MainWindow::bind(const ParamInfo& p, QWidget* w, std::function<void()> update) {
    updaters_[static_cast<size_t>(p.id)] = update;
    registerControl(std::string(p.control), w, std::move(update));
}

QWidget* MainWindow::makeControl(const ParamInfo& p, QWidget* parent) {
    const ParamId id = p.id;
    switch (p.type) {
        case ParamType::Bool: {
            if (p.scope == ParamScope::Light) {
                auto* light = new LightCheck(parent);
                light->setFixedSize(13, 13);
                light->setToolTip("Active");
                connect(light, &LightCheck::clicked, this, [this, id, light] { userSet(id, light->isChecked()); });
                bind(p, light, [this, id, light] { light->setChecked(session_->params().get(id) != 0); });
                return light;
            }
            auto* box = new QCheckBox(qs(p.caption), parent);
            connect(box, &QCheckBox::toggled, this, [this, id](bool on) { userSet(id, on ? 1 : 0); });
            bind(p, box, [this, id, box] { box->setChecked(session_->params().get(id) != 0); });
            if (id == ParamId::ChordActive)
                connect(box, &QCheckBox::toggled, this, [this](bool on) { chordEdit_->setEnabled(on); });
            return box;
        }
        case ParamType::Sources:
            return makeSourceList(p, parent);
        case ParamType::Choice:
            return makeChoice(p, parent);
        case ParamType::Int:
        case ParamType::Real:
            break;
    }
    if (p.widget == Widget::SpinBox) {
        auto* spin = new QSpinBox(parent);
        spin->setRange(p.barMin, p.barMax);
        spin->setSingleStep(p.step);
        auto* row = new QWidget(parent);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(new QLabel(barCaption(p.control.substr(0, p.control.size() - 8), p.group), row));
        row->setToolTip(QString("%1: %2 (%3 to %4); type a number or use the arrow keys")
                            .arg(qs(p.group), barCaption(p.control.substr(0, p.control.size() - 8), p.group))
                            .arg(p.barMin)
                            .arg(p.barMax));
        h->addWidget(spin);
        h->addStretch(1);
        connect(spin, &QSpinBox::valueChanged, this, [this, id](int v) { userSet(id, v); });
        bind(p, row, [this, id, spin] { spin->setValue(session_->params().get(id)); });
        return row;
    }
    if (p.widget == Widget::NumberEdit) return makeNumberEdit(p, parent);
    return makeBar(p, parent);
}

QWidget* MainWindow::makeBar(const ParamInfo& p, QWidget* parent) {
    const ParamId id = p.id;
    auto* lb = new LabelledBar(parent);
    QScrollBar* bar = lb->bar();
    const QString fixed = barCaption(p.control, p.group);
    // The widest text the label takes at the usual rates, so the column
    // does not move when the value's length changes.
    int widest = 0;
    for (long double rate : {11025.0L, 48000.0L})
        for (int k = 0; k <= 32; ++k) {
            const int32_t pos = p.barMin + static_cast<int32_t>(int64_t{p.barMax - p.barMin} * k / 32);
            widest = std::max(widest, lb->label()->fontMetrics().horizontalAdvance(
                                          QString::fromStdString(paramLabel(id, pos, nullptr, rate))));
        }
    lb->label()->setMinimumWidth(widest);
    std::function<void()> text = [this, id, lb, fixed, group = qs(p.group)] {
        const std::string l = session_->params().label(id);
        const QString shown = l.empty() ? fixed : QString::fromStdString(l);
        lb->setText(shown);
        // Labels only grow: a rare wider text must not make the column jump back.
        const int w = lb->label()->fontMetrics().horizontalAdvance(shown);
        if (w > lb->label()->minimumWidth()) lb->label()->setMinimumWidth(w);
        const ParamInfo& row = paramInfo(id);
        const long double rate = session_->files().sampleRate();
        const QString name = shown.contains(':') ? shown.section(':', 0, 0) : fixed;
        QString tip = QString("%1: %2\nValue: %3\nRange: %4 to %5")
                          .arg(group, name, shown, QString::fromStdString(paramValueText(id, row.barMin, rate)),
                               QString::fromStdString(paramValueText(id, row.barMax, rate)));
        if (const std::string_view note = paramNote(id); !note.empty()) tip += "\n" + qs(note);
        const QString unit = qs(paramUnit(id));
        tip += QString("\nDouble-click the value or press Enter to type one%1; arrow keys move by one position")
                   .arg(unit.isEmpty() ? QString() : " (in " + unit + ")");
        lb->setToolTip(tip);
    };
    bar->setRange(p.barMin, p.barMax);
    bar->setSingleStep(p.step);
    bar->setPageStep(std::max(p.step, (p.barMax - p.barMin) / 16));
    connect(bar, &QScrollBar::valueChanged, this, [this, id](int v) { userSet(id, v); });
    connect(lb, &LabelledBar::editRequested, this, [this, id, lb] {
        lb->openEditor(QString::fromStdString(paramValueText(id, session_->params().value(id), session_->files().sampleRate())));
    });
    connect(lb, &LabelledBar::valueTyped, this, [this, id, bar, fixed](const QString& typed) {
        if (const auto pos = positionForValue(id, typed.toStdString(), session_->files().sampleRate())) {
            bar->setValue(*pos);
            return;
        }
        const QString unit = qs(paramUnit(id));
        statusBar()->showMessage(QString("\"%1\" is not a value for %2%3").arg(typed, fixed,
                                 unit.isEmpty() ? QString() : " (a number in " + unit + ")"), 5000);
    });
    bind(p, lb, [this, id, bar, text] {
        bar->setValue(session_->params().get(id));
        text();
    });
    return lb;
}

QWidget* MainWindow::makeNumberEdit(const ParamInfo& p, QWidget* parent) {
    const ParamId id = p.id;
    auto* e = new NumberEdit(parent);
    e->setMin(static_cast<int32_t>(p.min));
    e->setScrollMin(p.barMin);
    e->setScrollMax(p.barMax);
    e->setMult(static_cast<double>(p.mult));
    e->setDescription(qs(p.caption));
    connect(e, &NumberEdit::changed, this, [this, id, e] { userSet(id, e->value()); });
    const QString caption = qs(p.caption);
    bind(p, e, [this, id, e, caption] {
        const double v = static_cast<double>(session_->params().value(id));
        if (e->value() != v) e->setValue(v);
        const std::string l = session_->params().label(id);
        e->setDescription(l.empty() ? caption : QString::fromStdString(l));
    });
    return e;
}

QWidget* MainWindow::makeChoice(const ParamInfo& p, QWidget* parent) {
    const ParamId id = p.id;
    const std::vector<ParamChoice> items = paramChoices(id);
    if (p.widget == Widget::ComboBox) {
        auto* combo = new QComboBox(parent);
        for (const auto& c : items) combo->addItem(qs(c.caption));
        connect(combo, &QComboBox::currentIndexChanged, this, [this, id, items](int i) {
            if (i >= 0) userSet(id, items[static_cast<size_t>(i)].value);
        });
        bind(p, combo, [this, id, combo, items] {
            const int32_t v = session_->params().get(id);
            for (size_t i = 0; i < items.size(); ++i)
                if (items[i].value == v) combo->setCurrentIndex(static_cast<int>(i));
        });
        return combo;
    }
    auto* row = new QWidget(parent);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    auto* group = new QButtonGroup(row);
    std::vector<QRadioButton*> buttons;
    for (const auto& c : items) {
        auto* b = new QRadioButton(qs(c.caption), row);
        group->addButton(b);
        h->addWidget(b);
        buttons.push_back(b);
        connect(b, &QRadioButton::toggled, this, [this, id, v = c.value](bool on) {
            if (on) userSet(id, v);
        });
    }
    h->addStretch(1);
    bind(p, row, [this, id, buttons, items] {
        const int32_t v = session_->params().get(id);
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].value == v) buttons[i]->setChecked(true);
    });
    return row;
}

QWidget* MainWindow::makeSourceList(const ParamInfo& p, QWidget* parent) {
    const ParamId id = p.id;
    auto* l = new QListWidget(parent);
    for (std::string_view item : kSourceNames) l->addItem(qs(item));
    l->setSelectionMode(QAbstractItemView::MultiSelection);  // plain toggling, no ranges
    l->setFixedWidth(l->sizeHintForColumn(0) + 2 * l->frameWidth() + 8);
    l->setFixedHeight(14 * l->sizeHintForRow(0) + 2 * l->frameWidth());  // every item in view
    l->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    l->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(l, &QListWidget::itemSelectionChanged, this, [this, id, l] { userSet(id, listToSet(l)); });
    bind(p, l, [this, id, l] { setToList(l, static_cast<uint16_t>(session_->params().get(id))); });
    return l;
}

// ---------------------------------------------------------------------------
// Pages without table controls, and the extras

// The harmonics editor: the level row, the detune row and the eight preset
// buttons. A moved bar sets its harmonic of the selected oscillator.
QGridLayout* MainWindow::buildHarmonicsEditor(QGroupBox* group) {
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    struct Row {
        const char* name;
        int height;
        ParamId first;
    };
    int row = 0;
    for (const Row& r : {Row{"HarmonicBars", 133, ParamId::OscLevel1}, Row{"DetuneHarmonicBars", 61, ParamId::OscDetune1}}) {
        auto* bars = new HarmonicBars(group);
        bars->setMinimumSize(146, r.height);
        bars->setMaximumHeight(r.height);
        grid->addWidget(bars, row++, 0, 1, 4);
        registerControl(r.name, bars, {});
        connect(bars, &HarmonicBars::changed, this,
                [this, first = r.first](int index, int32_t v) { userSet(offsetId(first, index - 1), v); });
    }
    struct Button {
        const char* name;
        const char* caption;
        HarmonicsPreset preset;
    };
    const std::array<Button, 8> buttons{{{"HarmonicsClearButton", "Clear", HarmonicsPreset::Clear},
                                         {"HarmonicsAllButton", "Max", HarmonicsPreset::Max},
                                         {"HarmonicsRandomButton", "Random", HarmonicsPreset::Random},
                                         {"HarmonicsExpButton", "Exp", HarmonicsPreset::Exp},
                                         {"HarmonicsDecButton", "Decay", HarmonicsPreset::Decay},
                                         {"Harmonics1101Button", "11010", HarmonicsPreset::Keep11010},
                                         {"Harmonics1010Button", "10101", HarmonicsPreset::Keep10101},
                                         {"HarmonicsMultButton", "Mult", HarmonicsPreset::Mult}}};
    for (size_t k = 0; k < buttons.size(); ++k) {
        auto* b = new QPushButton(buttons[k].caption, group);
        registerControl(buttons[k].name, b, {});
        grid->addWidget(b, 2 + static_cast<int>(k) / 4, static_cast<int>(k) % 4);
        connect(b, &QPushButton::clicked, this,
                [this, preset = buttons[k].preset] { session_->tools().applyHarmonicsPreset(preset); });
    }
    return grid;
}

void MainWindow::buildCurvePage(int page, bool waveform) {
    QWidget* host = pages_->widget(page);
    auto* editor = new CurveEditor(host);
    editor->setOnChange([this, editor, waveform] {
        if (waveform)
            session_->params().setWaveFormGraph(editor->curve().data());
        else
            session_->params().setEnvelopeGraph(editor->curve().data());
    });
    host->layout()->addWidget(editor);
    registerControl(waveform ? "WaveFormGraphBox" : "EnvelopeGraphBox", editor, [this, editor, waveform] {
        editor->setData(waveform ? session_->params().waveFormGraph() : session_->params().envelopeGraph());
    });
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
        Settings s = session_->files().settings();
        s.waveOut = row;
        session_->files().setSettings(s);
    });
    connect(deviceLists_[3], &QListWidget::itemClicked, this, [this] {
        if (midiIn_) midiIn_->closeMidiIn();
        Settings s = session_->files().settings();
        s.midiIn = std::max(deviceLists_[3]->currentRow(), 0);
        session_->files().setSettings(s);
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
        Settings s = session_->files().settings();
        s.bufSize = pos;
        session_->files().setSettings(s);
    });
    registerControl("RealTimeDelayScrollBar", bar, {});
}

void MainWindow::showLiveSettings() {
    const Settings s = session_->files().settings();
    if (auto* v = qobject_cast<QSpinBox*>(control("LiveVoicesSpinEdit"))) v->setValue(s.liveVoices);
    if (auto* g = qobject_cast<QDoubleSpinBox*>(control("LiveGainSpinEdit")))
        g->setValue(std::isnan(s.liveGainDb) ? g->minimum() : s.liveGainDb);
    if (auto* d = qobject_cast<QCheckBox*>(control("OctaveDownCheckBox"))) d->setChecked(s.octaveDown);
}

void MainWindow::buildRealtimeExtras() {
    // The live instrument: voices, the gain from their sum to 16 bits and
    // the old octave; kept in the settings, heard from the next block.
    QGroupBox* live = groupOn(kRealtime, 2, "Live voices");
    auto* voices = new QSpinBox(live);
    voices->setRange(1, kMaxLiveVoices);
    voices->setToolTip("Voices: notes that sound at once (1 plays one note at a time)");
    auto* gain = new QDoubleSpinBox(live);
    gain->setRange(kLiveGainMinDb - 0.5, kLiveGainMaxDb);  // the step below the range is "Auto"
    gain->setSingleStep(0.5);
    gain->setDecimals(1);
    gain->setSuffix(" dB");
    gain->setSpecialValueText("Auto (1/voices)");
    gain->setToolTip("Gain from the voices' sum to 16 bits; Auto divides by the voices and never clips");
    auto* down = new QCheckBox("Notes an octave down", live);
    down->setToolTip("Play notes an octave below their true pitch, as presets tuned to the old tuning expect");
    for (auto [caption, w] : {std::pair<const char*, QWidget*>{"Voices", voices}, {"Gain", gain}}) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(caption, live));
        row->addWidget(w, 1);
        groupLayout(live)->addLayout(row);
    }
    groupLayout(live)->addWidget(down);
    connect(voices, &QSpinBox::valueChanged, this, [this](int v) { session_->live().setLiveVoices(v); });
    connect(gain, &QDoubleSpinBox::valueChanged, this, [this, gain](double db) {
        session_->live().setLiveGainDb(db < gain->minimum() + 0.25 ? std::numeric_limits<double>::quiet_NaN() : db);
    });
    connect(down, &QCheckBox::toggled, this, [this](bool on) { session_->live().setLiveOctaveDown(on); });
    registerControl("LiveVoicesSpinEdit", voices, {});
    registerControl("LiveGainSpinEdit", gain, {});
    registerControl("OctaveDownCheckBox", down, {});
    showLiveSettings();

    QGroupBox* midi = findGroup(kRealtime, "MIDI controllers");
    MidiControllers& mc = session_->live().midiControllers();
    auto* response = new QCheckBox("Oscillators response to MIDI In", midi);
    response->setChecked(true);
    groupLayout(midi)->addWidget(response);
    connect(response, &QCheckBox::toggled, this, [&mc](bool on) { mc.noteResponse = on; });
    registerControl("OscillatorMidiInCheckBox", response, {});
    for (int n = 0; n < 2; ++n) {
        auto* row = new QHBoxLayout;
        auto* spin = new QSpinBox(midi);
        spin->setRange(0, n ? 2147483647 : 255);
        spin->setValue(mc.number[n]);
        row->addWidget(new QLabel(QString("Controller %1").arg(n + 1), midi));
        row->addWidget(spin, 1);
        groupLayout(midi)->addLayout(row);
        connect(spin, &QSpinBox::valueChanged, this, [this, n](int v) { session_->live().setControllerNumber(n, v); });
        registerControl("MidiController" + std::to_string(n + 1) + "SpinEdit", spin, {});
        spin->setToolTip(QString("Controller %1: the MIDI control-change number that feeds Midi%1").arg(n + 1));
        auto* sens = new QScrollBar(Qt::Horizontal, midi);
        sens->setRange(1, 256);
        sens->setValue(256);
        sens->setFocusPolicy(Qt::StrongFocus);
        auto* sensLabel = new QLabel(midi);
        auto showSensitivity = [sens, sensLabel, n] {
            const QString text = QString("Sensitivity: %1%").arg(sens->value() * 100.0 / 256, 0, 'f', 1);
            sensLabel->setText(text);
            sens->setToolTip(QString("Controller %1 %2 (0.4% to 100%: how strongly the controller acts); arrow "
                                     "keys move by one position")
                                 .arg(n + 1)
                                 .arg(text.toLower()));
        };
        showSensitivity();
        sensLabel->setMinimumWidth(sensLabel->fontMetrics().horizontalAdvance("Sensitivity: 100.0%"));
        groupLayout(midi)->addWidget(sensLabel);
        groupLayout(midi)->addWidget(sens);
        connect(sens, &QScrollBar::valueChanged, this, [this, n, showSensitivity](int v) {
            session_->live().setControllerSensitivity(n, v);
            showSensitivity();
        });
        registerControl("Controller" + std::to_string(n + 1) + "SensetivityScrollBar", sens, {});
    }
}

}  // namespace kf::ui
