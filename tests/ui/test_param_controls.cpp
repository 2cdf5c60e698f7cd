// Every parameter control against its row of the parameter table: range,
// start, step and label, and the label at the edge positions.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QLineEdit>
#include <QTest>

#include "audio/wave_out.h"
#include "ui/custom_controls.h"
#include "ui/labelled_bar.h"
#include "ui/main_window.h"
#include "window_fixture.h"

using namespace kf;
using namespace kf::ui;

namespace {

struct Fixture : test::WindowFixture {
    Fixture() : WindowFixture({"Capture device"}) {}
    QWidget* control(std::string_view name) { return window->control(std::string(name)); }
    QScrollBar* bar(std::string_view name) {
        QWidget* w = control(name);
        if (auto* b = qobject_cast<QScrollBar*>(w)) return b;
        return w ? w->findChild<QScrollBar*>() : nullptr;
    }
    QString barLabel(std::string_view name) {
        auto* lb = qobject_cast<LabelledBar*>(control(name));
        return lb ? lb->label()->text() : QString();
    }
};

// Values at start: the table's start, except on the oscillator page, which
// shows oscillator 1's defaults.
bool startIsTables(const ParamInfo& p) {
    return p.scope != ParamScope::Oscillator && p.scope != ParamScope::Light && p.scope != ParamScope::Unit;
}

}  // namespace

class ParamControlsTest : public QObject {
    Q_OBJECT
private slots:
    void everyTableRowHasItsControl() {
        Fixture f;
        Session& s = f.window->session();
        int checked = 0;
        for (const ParamInfo& p : paramTable()) {
            const QByteArray name(p.control.data(), static_cast<int>(p.control.size()));
            QWidget* w = f.control(p.control);
            QVERIFY2(w, name);
            const long double start = startIsTables(p) ? p.start : s.params().value(p.id);
            switch (p.type) {
                case ParamType::Bool: {
                    bool on = false;
                    if (auto* box = qobject_cast<QCheckBox*>(w)) {
                        on = box->isChecked();
                        QCOMPARE(box->text(), QString::fromUtf8(p.caption.data(), p.caption.size()));
                    } else {
                        auto* light = qobject_cast<LightCheck*>(w);
                        QVERIFY2(light, name);
                        on = light->isChecked();
                    }
                    QVERIFY2(on == (start != 0), name);
                    break;
                }
                case ParamType::Sources: {
                    auto* l = qobject_cast<QListWidget*>(w);
                    QVERIFY2(l && l->count() == 14, name);
                    QCOMPARE(l->item(0)->text(), QString("None"));
                    QCOMPARE(l->item(13)->text(), QString("MEnv2"));
                    QCOMPARE(l->selectionMode(), QAbstractItemView::MultiSelection);
                    uint16_t bits = 0;
                    for (int i = 0; i < 14; ++i)
                        if (l->item(i)->isSelected()) bits = static_cast<uint16_t>(bits | (1u << i));
                    QVERIFY2(bits == static_cast<uint16_t>(start), name);
                    break;
                }
                case ParamType::Choice: {
                    const auto items = paramChoices(p.id);
                    if (auto* combo = qobject_cast<QComboBox*>(w)) {
                        QCOMPARE(combo->count(), static_cast<int>(items.size()));
                        QVERIFY2(items[static_cast<size_t>(combo->currentIndex())].value == start, name);
                    } else {
                        const auto radios = w->findChildren<QRadioButton*>();
                        QCOMPARE(radios.size(), static_cast<qsizetype>(items.size()));
                        for (size_t i = 0; i < items.size(); ++i)
                            QVERIFY2(radios[static_cast<qsizetype>(i)]->isChecked() == (items[i].value == start), name);
                    }
                    break;
                }
                case ParamType::Int:
                case ParamType::Real:
                    if (auto* e = qobject_cast<NumberEdit*>(w)) {
                        QCOMPARE(e->scrollMin(), p.barMin);
                        QCOMPARE(e->scrollMax(), p.barMax);
                        QCOMPARE(e->min(), static_cast<int32_t>(p.min));
                        QCOMPARE(e->mult(), static_cast<double>(p.mult));
                        QVERIFY2(e->value() == static_cast<double>(start), name);
                        const std::string label = paramLabel(p.id, start, nullptr, f.window->session().files().sampleRate());
                        if (!label.empty()) QCOMPARE(e->description(), QString::fromStdString(label));
                    } else if (auto* spin = w->findChild<QSpinBox*>()) {
                        QCOMPARE(spin->minimum(), p.barMin);
                        QCOMPARE(spin->maximum(), p.barMax);
                        QVERIFY2(spin->value() == start, name);
                    } else {
                        QScrollBar* b = f.bar(p.control);
                        QVERIFY2(b, name);
                        QCOMPARE(b->minimum(), p.barMin);
                        QCOMPARE(b->maximum(), p.barMax);
                        QCOMPARE(b->singleStep(), p.step);
                        // A harmonic bar is full at the top: its position is 256 - value.
                        const bool harmonic = p.id >= ParamId::OscLevel1 && p.id <= ParamId::OscDetune16;
                        QVERIFY2(b->value() == (harmonic ? p.barMax - start : start), name);
                        const std::string label = paramLabel(p.id, start, nullptr, f.window->session().files().sampleRate());
                        if (!label.empty()) QCOMPARE(f.barLabel(p.control), QString::fromStdString(label));
                    }
                    break;
            }
            ++checked;
        }
        QCOMPARE(checked, kParamCount);
    }

    void labelsAtTheEdgePositions() {
        Fixture f;
        Session& s = f.window->session();
        f.bar("FrequencyScrollBar")->setValue(9600);
        QCOMPARE(s.files().sampleRate(), 48000);
        QCOMPARE(f.barLabel("FrequencyScrollBar"), QString("Frequency: 48000"));
        f.bar("FrequencyScrollBar")->setValue(200);
        QCOMPARE(f.barLabel("FrequencyScrollBar"), QString("Frequency: 1000"));
        QCOMPARE(s.files().sampleRate(), 1000);

        f.bar("SineGeneratorVolumeBar")->setValue(0);
        QVERIFY(f.barLabel("SineGeneratorVolumeBar").startsWith("Volume: 0.0 (-99.0 dB)"));
        f.bar("SineGeneratorVolumeBar")->setValue(256);
        QVERIFY(f.barLabel("SineGeneratorVolumeBar").startsWith("Volume: 100.0 (0.0 dB)"));

        f.bar("Env1BaseBar")->setValue(-1024);
        QVERIFY(f.barLabel("Env1BaseBar").startsWith("Base: -100.0"));
        f.bar("ResonanceCalmingSpeedBar")->setValue(1024);
        QVERIFY(f.barLabel("ResonanceCalmingSpeedBar").startsWith("Calming speed: 0.000"));

        f.settle();  // a new length waits for a running render
        auto* length = qobject_cast<NumberEdit*>(f.control("LengthNumberEdit"));
        length->setValue(1);
        QVERIFY(length->description().startsWith("Length: 1.024s, 1K"));  // 1024 samples at 1000 Hz
        QCOMPARE(s.params().get(ParamId::Length), 1);

        f.bar("OscillatorFrequencyBar")->setValue(0);
        QVERIFY2(f.barLabel("OscillatorFrequencyBar").startsWith("Frequency: 0Hz (C-0-"),
                 qPrintable(f.barLabel("OscillatorFrequencyBar")));
        // The bar's top (11025 Hz) lies below the highest note: F-10 is nearer.
        f.bar("OscillatorFrequencyBar")->setValue(11025);
        QCOMPARE(f.barLabel("OscillatorFrequencyBar"), QString::fromStdString(s.params().label(ParamId::OscFrequency)));
    }

    void aMovedBarReachesTheSessionAndRendersOnce() {
        Fixture f;
        Session& s = f.window->session();
        const uint64_t before = s.render().rendersDone();
        f.bar("ReverbLengthScrollBar")->setValue(640);
        f.settle();
        QCOMPARE(s.params().get(ParamId::ReverbLength), 640);
        QCOMPARE(s.params().timbre(0).reverbLength, 640);
        QCOMPARE(f.barLabel("ReverbLengthScrollBar"), QString("Length: 640ms    "));
        QCOMPARE(s.render().rendersDone(), before + 1);
        // A session change from elsewhere shows in its control.
        s.params().set(ParamId::Env2Iterations, 7);
        f.settle();
        QCOMPARE(f.bar("Env2IterationsBar")->value(), 7);
        QVERIFY(f.barLabel("Env2IterationsBar").startsWith("Iterations: 7"));
    }

    void selectingAnOscillatorShowsItsControls() {
        Fixture f;
        Session& s = f.window->session();
        f.bar("OscillatorFrequencyBar")->setValue(880);
        f.settle();
        qobject_cast<QRadioButton*>(f.control("Oscillator2RadioButton"))->click();
        f.settle();
        QCOMPARE(s.params().selectedOscillator(), 1);
        QCOMPARE(f.bar("OscillatorFrequencyBar")->value(), s.params().get(ParamId::OscFrequency));
        qobject_cast<QRadioButton*>(f.control("Oscillator1RadioButton"))->click();
        f.settle();
        QCOMPARE(f.bar("OscillatorFrequencyBar")->value(), 880);
    }

    void typedEntryAndKeysReachEveryPosition() {
        Fixture f;
        Session& s = f.window->session();
        auto* lb = qobject_cast<LabelledBar*>(f.control("OscillatorFrequencyBar"));
        f.window->show();
        QTest::mouseDClick(lb->label(), Qt::LeftButton);
        QVERIFY(lb->editor()->isVisible());
        QCOMPARE(lb->editor()->text(), QString("523Hz"));
        lb->editor()->setText("131 Hz");
        QTest::keyClick(lb->editor(), Qt::Key_Return);
        QCOMPARE(s.params().get(ParamId::OscFrequency), 131);
        QVERIFY(lb->label()->text().startsWith("Frequency: 131Hz (C-4"));
        // Escape leaves the value alone; Enter on the bar opens the editor again.
        QTest::keyClick(lb->bar(), Qt::Key_Return);
        lb->editor()->setText("999");
        QTest::keyClick(lb->editor(), Qt::Key_Escape);
        QVERIFY(!lb->editor()->isVisible());
        QCOMPARE(s.params().get(ParamId::OscFrequency), 131);
        // Arrows by one position (not the row's step of 10), page keys by the page step.
        QTest::keyClick(lb->bar(), Qt::Key_Right);
        QCOMPARE(s.params().get(ParamId::OscFrequency), 132);
        QTest::keyClick(lb->bar(), Qt::Key_PageDown);
        QCOMPARE(s.params().get(ParamId::OscFrequency), 132 + lb->bar()->pageStep());
        // Text in no unit of the row changes nothing and says why.
        QTest::keyClick(lb->bar(), Qt::Key_Return);
        lb->editor()->setText("loud");
        QTest::keyClick(lb->editor(), Qt::Key_Return);
        QCOMPARE(s.params().get(ParamId::OscFrequency), 132 + lb->bar()->pageStep());
        QVERIFY(f.window->statusBar()->currentMessage().contains("loud"));
        // Every table control explains itself.
        for (const ParamInfo& p : paramTable())
            if (QWidget* w = f.control(p.control)) QVERIFY2(!w->toolTip().isEmpty(), p.control.data());
    }

    // The manual's first sound, done as written there (steps 1, 2 and 4 to 6).
    void theManualsWalkthroughCanBeFollowed() {
        Fixture f;
        Session& s = f.window->session();
        f.window->show();
        auto type = [&f](const char* bar, const char* text) {
            auto* lb = qobject_cast<LabelledBar*>(f.control(bar));
            QTest::mouseDClick(lb->label(), Qt::LeftButton);
            lb->editor()->setText(text);
            QTest::keyClick(lb->editor(), Qt::Key_Return);
            return lb->label()->text();
        };
        auto pick = [&f](const char* list, int item) {
            qobject_cast<QListWidget*>(f.control(list))->item(item)->setSelected(true);
        };
        f.window->action("New preset")->trigger();
        f.settle();
        for (int osc : {1, 2}) {
            qobject_cast<QRadioButton*>(f.control("Oscillator" + std::to_string(osc) + "RadioButton"))->click();
            QCOMPARE(s.params().selectedOscillator(), osc - 1);
            QTest::mouseClick(f.control("Oscillator" + std::to_string(osc) + "CheckBox"), Qt::LeftButton);
            qobject_cast<QComboBox*>(f.control("WaveFormComboBox"))->setCurrentText(osc == 1 ? "Saw" : "Square");
            QCOMPARE(type("OscillatorFrequencyBar", "131"), QString("Frequency: 131Hz (C-4+0)"));
            if (osc == 1) {
                pick("SineGeneratorVolumeModulationBox", 1);       // Env1
                QCOMPARE(s.params().get(ParamId::OscVolumeModulation), 3);  // None was already selected
            }
        }
        QVERIFY(type("SineGeneratorRelativeFrequencyBar", "100.3").startsWith("Relative frequency: 100.3"));
        QVERIFY(type("Env1SustainBar", "10").startsWith("Sustain: 10.0%"));
        QVERIFY(type("Env1ReleaseBar", "60").startsWith("Release: 60.0%"));
        qobject_cast<QCheckBox*>(f.control("CutOffActiveBox"))->setChecked(true);
        QVERIFY(f.barLabel("CutOffBar").startsWith("Cut off: 128"));
        pick("CutOffModulationBox", 2);  // Env2
        QVERIFY(type("Env2ReleaseBar", "10").startsWith("Release: 10.0%"));
        f.settle();
        QCOMPARE(s.params().timbre().oscillators[1].relativeFrequency, 1003);
        std::vector<int16_t> sound = s.render().playBuffer().copy();
        int peak = 0;
        for (int16_t v : sound) peak = std::max(peak, std::abs(int{v}));
        QVERIFY2(peak > 1000, "the plucked bass is heard");
    }
};

QTEST_MAIN(ParamControlsTest)
#include "test_param_controls.moc"
