// The editors: the Sequencer page's step list, the harmonics editor, the
// graph editor and the keyboard played as a MIDI keyboard.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>
#include <algorithm>

#include "audio/wave_out.h"
#include "ui/curve_editor.h"
#include "ui/custom_controls.h"
#include "ui/harmonic_bars.h"
#include "ui/keyboard_play.h"
#include "ui/main_window.h"
#include "ui/note_list.h"
#include "window_fixture.h"

using namespace kf;
using namespace kf::ui;

namespace {

using Fixture = test::WindowFixture;

NoteStep step(Session& s, int i) {
    NoteStep n;
    s.params().readUnits([&](const SoundScheme& u) { n = u.noteSequencer().notes[static_cast<size_t>(i)]; });
    return n;
}

int octave(Session& s) {
    int o = -1;
    s.params().readUnits([&](const SoundScheme& u) { o = u.noteSequencer().octave; });
    return o;
}

// The points in use, those beyond the count aside.
bool sameCurve(const CurveData& a, const CurveData& b) {
    return a.count == b.count && std::equal(a.points.begin(), a.points.begin() + a.count, b.points.begin());
}

QPushButton* button(QWidget* parent, const QString& caption) {
    for (auto* b : parent->findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

}  // namespace

class EditorsTest : public QObject {
    Q_OBJECT
private slots:
    // ---- the note sequencer's step list ---------------------------------

    void notesAreTypedIntoTheSelectedStep() {
        Session s;
        NoteStepList list(s);
        QCOMPARE(list.count(), 32);
        QCOMPARE(list.item(5)->text(), QString("005 --- . . "));
        list.setCurrentRow(0);
        QTest::keyClick(&list, 'q');  // octave 4: C-4
        QCOMPARE(step(s, 0).frequency, 131);
        QCOMPARE(list.item(0)->text(), QString("000 C-4 . . (131)"));
        QCOMPARE(list.currentRow(), 1);
        QTest::keyClick(&list, 'I');  // upper case plays the same key: C-5
        QCOMPARE(step(s, 1).frequency, 262);
        QVERIFY(list.item(1)->text().contains("C-5") && list.item(1)->text().endsWith("(262)"));
        list.setCurrentRow(0);
        QTest::keyClick(&list, Qt::Key_Space);
        QCOMPARE(step(s, 0).frequency, -1);
        QCOMPARE(list.item(0)->text(), QString("000 --- . . "));
        QCOMPARE(list.currentRow(), 1);
        s.render().waitForRender();
    }

    void flagsToggleAndMoveTheSelection() {
        Session s;
        NoteStepList list(s);
        list.setCurrentRow(3);
        list.typeKey('P');
        QCOMPARE(step(s, 3).porta, 1);
        QCOMPARE(list.currentRow(), 4);
        list.typeKey('s');
        QCOMPARE(step(s, 4).tie, 1);
        QCOMPARE(list.item(3)->text(), QString("003 --- P . "));
        QCOMPARE(list.item(4)->text(), QString("004 --- . S "));
        list.setCurrentRow(3);
        list.typeKey('p');
        QCOMPARE(step(s, 3).porta, 0);
        // On the last step the flag toggles and the selection stays.
        list.setCurrentRow(31);
        list.typeKey('p');
        QCOMPARE(step(s, 31).porta, 1);
        QCOMPARE(list.currentRow(), 31);
        s.render().waitForRender();
    }

    void octaveKeysAndFrequencyClamps() {
        Session s;
        NoteStepList list(s);
        list.setCurrentRow(0);
        list.typeKey('+');
        QCOMPARE(octave(s), 5);
        list.typeKey('q');
        QCOMPARE(step(s, 0).frequency, 262);
        for (int i = 0; i < 9; ++i) list.typeKey('-');
        QCOMPARE(octave(s), 0);
        for (int i = 0; i < 9; ++i) list.typeKey('+');
        QCOMPARE(octave(s), 7);
        s.params().editUnits([](SoundScheme& u) {
            u.noteSequencer().notes[5].frequency = 14995;
            u.noteSequencer().notes[6].frequency = 5;
            u.noteSequencer().notes[7].frequency = 0;
        });
        list.refresh();
        QCOMPARE(list.item(7)->text(), QString("007 C-0 . . (0)"));
        list.setCurrentRow(5);
        list.typeKey(']');
        QCOMPARE(step(s, 5).frequency, 15000);
        QCOMPARE(list.currentRow(), 5);  // fine tuning stays on the step
        list.setCurrentRow(6);
        list.typeKey('[');
        QCOMPARE(step(s, 6).frequency, -1);
        list.setCurrentRow(7);
        list.typeKey(',');
        QCOMPARE(step(s, 7).frequency, -1);
        s.render().waitForRender();
    }

    void withoutSelectionOnlyTheOctaveKeysAct() {
        Session s;
        NoteStepList list(s);
        list.setCurrentRow(-1);
        QVERIFY(!list.typeKey('q'));
        QVERIFY(!list.typeKey('p'));
        QVERIFY(!list.typeKey(']'));
        for (int i = 0; i < 32; ++i) {
            QCOMPARE(step(s, i).frequency, -1);
            QCOMPARE(step(s, i).porta, 0);
        }
        list.typeKey('-');
        QCOMPARE(octave(s), 3);
        QCOMPARE(list.currentRow(), -1);
        s.render().waitForRender();
    }

    void countEditAndLoadedStepsReachTheList() {
        Fixture f;
        auto* list = f.find<NoteStepList>("NotesListBox");
        auto* count = f.find<NumberEdit>("NoteCountEdit");
        QVERIFY(list && count);
        list->setCurrentRow(6);
        list->typeKey('e');  // octave 4: E-4
        f.settle();
        count->setValue(4);
        f.settle();
        QCOMPARE(list->count(), 4);
        QCOMPARE(f.s().params().get(ParamId::NoteCount), 4);
        count->setValue(40);  // held to 32
        f.settle();
        QCOMPARE(list->count(), 32);
        QCOMPARE(list->item(6)->text(), QString("006 E-4 . . (165)"));
        count->setValue(0);  // held to 1
        f.settle();
        QCOMPARE(list->count(), 1);
        count->setValue(32);
        f.settle();
        // Steps set elsewhere (a preset, a tool) show up once the units change.
        f.s().params().editUnits([](SoundScheme& u) { u.noteSequencer().notes[2] = NoteStep{440, 1, 0}; });
        f.settle();
        QCOMPARE(list->item(2)->text(), QString("002 A-5 P . (440)"));
    }

    // ---- the harmonics editor --------------------------------------------

    void harmonicBarsShareTheWidthAndShowFullBarsAtTheTop() {
        HarmonicBars bars;
        const int fresh[16] = {256, 128, 85, 64, 51, 42, 36, 32, 28, 25, 23, 21, 19, 18, 17, 16};
        for (int i = 1; i <= 16; ++i) {
            QCOMPARE(bars.harmonic(i), fresh[i - 1]);
            QCOMPARE(bars.bar(i)->value(), 256 - fresh[i - 1]);
        }
        bars.show();  // a hidden widget gets its resize only when shown
        for (QSize size : {QSize(146, 133), QSize(300, 61)}) {
            bars.resize(size);
            const int w = (size.width() - 2) / 16;
            for (int i = 1; i <= 16; ++i) {
                QCOMPARE(bars.bar(i)->geometry(), QRect(w * (i - 1) + 1, 1, w, size.height() - 2));
                QCOMPARE(bars.bar(i)->minimum(), 0);
                QCOMPARE(bars.bar(i)->maximum(), 256);
            }
        }
        QCOMPARE(HarmonicBars::barGeometry(16, QSize(146, 133)), QRect(136, 1, 9, 131));
        int seen = 0, seenValue = -1;
        connect(&bars, &HarmonicBars::changed, [&](int i, int32_t v) {
            seen = i;
            seenValue = v;
        });
        bars.bar(5)->triggerAction(QAbstractSlider::SliderToMinimum);  // dragged to the top
        QCOMPARE(seen, 5);
        QCOMPARE(seenValue, 256);
        bars.bar(5)->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(bars.harmonic(5), 0);
    }

    void presetButtonsAndBarsReachTheSelectedOscillator() {
        Fixture f;
        auto* levels = f.window->findChild<HarmonicBars*>("HarmonicBars");
        QVERIFY(levels);
        QTest::mouseClick(f.find<QPushButton>("HarmonicsAllButton"), Qt::LeftButton);
        QTest::mouseClick(f.find<QPushButton>("HarmonicsDecButton"), Qt::LeftButton);
        f.settle();
        QCOMPARE(f.s().params().get(ParamId::OscLevel2), 232);
        QCOMPARE(f.s().params().get(ParamId::OscLevel16), 64);
        QCOMPARE(levels->harmonic(2), 232);
        QCOMPARE(levels->bar(16)->value(), 256 - 64);
        QTest::mouseClick(f.find<QPushButton>("HarmonicsMultButton"), Qt::LeftButton);
        f.settle();
        for (int i = 1; i <= 16; ++i) QCOMPARE(levels->harmonic(i) != 0, i == 1 || i == 2 || i == 4 || i == 8 || i == 16);

        // A bar dragged to the bottom and a detune bar to the top reach the record.
        levels->bar(3)->triggerAction(QAbstractSlider::SliderToMaximum);
        auto* detunes = f.window->findChild<HarmonicBars*>("DetuneHarmonicBars");
        detunes->bar(7)->triggerAction(QAbstractSlider::SliderToMinimum);
        f.settle();
        TimbreRecord t = f.s().params().timbre();
        QCOMPARE(int(t.oscillators[0].harmonics[2].level), 0);
        QCOMPARE(int(t.oscillators[0].harmonics[6].detune), 256);
        levels->bar(1)->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // one step down
        f.settle();
        QCOMPARE(int(f.s().params().timbre().oscillators[0].harmonics[0].level), 255);

        // Another oscillator shows its own (untouched) harmonics.
        f.find<QRadioButton>("Oscillator2RadioButton")->click();
        f.settle();
        QCOMPARE(f.s().params().selectedOscillator(), 1);
        QCOMPARE(levels->harmonic(3), 85);
        QCOMPARE(detunes->harmonic(7), 0);
        f.find<QRadioButton>("Oscillator1RadioButton")->click();
        f.settle();
        QCOMPARE(levels->harmonic(3), 0);
        QCOMPARE(detunes->harmonic(7), 256);
    }

    // ---- the graph editor --------------------------------------------------

    void mouseEditsEqualTheModelsOwnCalls() {
        CurveEditor editor;
        editor.resize(400, 300);
        QWidget* area = editor.area();
        const int w = area->width(), h = area->height();
        int changes = 0, modelChanges = 0;
        editor.setOnChange([&] { ++changes; });
        Curve model;
        model.onChange = [&] { ++modelChanges; };
        auto press = [&](QPoint p) {
            QTest::mousePress(area, Qt::LeftButton, {}, p);
            model.mouseDown(p.x(), p.y(), w, h);
        };
        auto move = [&](QPoint p) {
            QTest::mouseMove(area, p);
            if (model.selected() >= 0) model.mouseMove(p.x(), p.y(), w, h);
        };
        auto release = [&](QPoint p) {
            QTest::mouseRelease(area, Qt::LeftButton, {}, p);
            model.mouseUp(w, h);
        };
        // A new point, dragged; another released near the middle line (snaps to 0).
        press({w / 4, h / 4});
        move({w / 3, h / 8});
        release({w / 3, h / 8});
        press({3 * w / 4, h / 2 + 1});
        release({3 * w / 4, h / 2 + 1});
        // The first point dragged beyond the bottom stays; an inner one dragged away is deleted.
        press({0, h / 2});
        move({0, h * 3});
        release({0, h * 3});
        const CurvePoint p1 = model.data().points[1];
        const QPoint drawn(static_cast<int>(int64_t{w} * p1.x / 16384), static_cast<int>(-int64_t{p1.y} * h / 65536 + h / 2));
        press(drawn + QPoint(2, 2));
        move({drawn.x(), -h * 2});
        release({drawn.x(), -h * 2});
        QVERIFY(sameCurve(editor.curve().data(), model.data()));
        QCOMPARE(model.data().count, 3);
        QCOMPARE(model.data().points[0].y, -32767);
        QCOMPARE(model.data().points[1].y, 0);
        QCOMPARE(changes, modelChanges);
        QVERIFY(changes >= 4);
    }

    void commandButtonsDoWhatTheModelDoes() {
        CurveData start;
        start.count = 4;
        start.points[1] = {4000, 20000};
        start.points[2] = {9000, -12000};
        start.points[3] = {16384, 3000};
        const std::pair<const char*, void (Curve::*)()> ops[] = {
            {"Invert", &Curve::invert}, {"Reverse", &Curve::reverse}, {"FadeIn", &Curve::fadeIn},
            {"FadeOut", &Curve::fadeOut}, {"Double", &Curve::doubleCurve}, {"Reset", &Curve::reset}};
        for (const auto& [caption, op] : ops) {
            CurveEditor editor;
            editor.resize(400, 300);
            int changes = 0;
            editor.setOnChange([&] { ++changes; });
            editor.setData(start);
            Curve model(start);
            (model.*op)();
            QPushButton* b = button(&editor, caption);
            QVERIFY2(b, caption);
            QTest::mouseClick(b, Qt::LeftButton);
            QVERIFY2(sameCurve(editor.curve().data(), model.data()), caption);
            QCOMPARE(changes, 1);
        }
        // The buttons stand in one column, 24 pixels apart, in this order.
        CurveEditor editor;
        const char* order[] = {"Reset", "Invert", "Reverse", "FadeIn", "FadeOut", "Double"};
        for (int i = 0; i < 6; ++i) {
            const QRect g = button(&editor, order[i])->geometry();
            QCOMPARE(g.topLeft(), QPoint(7, 8 + 24 * i));
            QCOMPARE(g.height(), 20);
        }
    }

    void loadedCurvesAreShownAndEditsRender() {
        Fixture f;
        f.window->resize(900, 600);
        f.window->pages()->setCurrentIndex(3);  // Waveform
        f.window->show();
        auto* editor = f.window->findChild<CurveEditor*>("WaveFormGraphBox");
        CurveData d;
        d.count = 3;
        d.points[1] = {8192, 16000};
        d.points[2] = {16384, 0};
        f.s().params().setWaveFormGraph(d);
        f.settle();
        QVERIFY(sameCurve(editor->curve().data(), d));
        QWidget* area = editor->area();
        const QImage img = area->grab().toImage();
        const int x = area->width() / 2, y = -16000 * area->height() / 65536 + area->height() / 2;
        QCOMPARE(QColor(img.pixel(x, y)), QColor(Qt::black));  // the point's dot
        const uint64_t before = f.s().render().rendersDone();
        QTest::mouseClick(button(editor, "Invert"), Qt::LeftButton);
        f.settle();
        QCOMPARE(f.s().params().waveFormGraph().points[1].y, -16000);
        QCOMPARE(f.s().render().rendersDone(), before + 1);
    }

    // ---- the keyboard as a MIDI keyboard ----------------------------------

    void keysPlayNotesIntoTheQueueUnlessAnEditHasTheFocus() {
        Session s;
        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        auto* bar = new QScrollBar(Qt::Horizontal, &host);
        auto* edit = new QLineEdit(&host);
        layout->addWidget(bar);
        layout->addWidget(edit);
        bool on = true;
        host.installEventFilter(new KeyboardPlay(s, [&] { return on; }, [] { return 1234; }, &host));
        host.show();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        MidiQueue& q = s.live().midiQueue();
        bar->setFocus();
        QTest::keyPress(bar, 'q');
        QCOMPARE(int(q.writeIndex()), 1);
        QCOMPARE(q.at(0).time, 1234);
        QCOMPARE(q.at(0).message & 0xffffu, 0x3090u);  // note-on, C-4 (MIDI 48)
        QTest::keyRelease(bar, 'q');
        QCOMPARE(int(q.writeIndex()), 2);
        QCOMPARE(q.at(1).message & 0xffu, 0x80u);
        QCOMPARE((q.at(1).message >> 8) & 0xffu, 48u);
        QTest::keyClick(bar, 'x');  // no note on that key
        QCOMPARE(int(q.writeIndex()), 2);
        edit->setFocus();
        QTest::keyClick(edit, 'q');
        QCOMPARE(int(q.writeIndex()), 2);
        QCOMPARE(edit->text(), QString("q"));
        on = false;
        bar->setFocus();
        QTest::keyClick(bar, 'w');
        QCOMPARE(int(q.writeIndex()), 2);
    }

    void theWindowPlaysOnlyWithRealtimeOn() {
        Fixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        MidiQueue& q = f.s().live().midiQueue();
        const int before = q.writeIndex();
        QWidget* light = f.window->control("Oscillator1CheckBox");
        QTest::keyClick(light, 'e');
        QCOMPARE(int(q.writeIndex()), before);
        f.window->action("Realtime/Realtime")->trigger();
        QTest::keyClick(light, 'e');
        QCOMPARE(int(q.writeIndex()), before + 2);
        QCOMPARE((q.at(static_cast<uint8_t>(before)).message >> 8) & 0xffu, 52u);
        // Keys typed into the step list keep their meaning there.
        auto* list = f.find<NoteStepList>("NotesListBox");
        f.window->pages()->setCurrentIndex(8);
        list->setFocus();
        list->setCurrentRow(0);
        QTest::keyClick(list, 'e');
        QCOMPARE(int(q.writeIndex()), before + 2);
        QCOMPARE(step(f.s(), 0).frequency, 165);
        f.window->action("Realtime/Realtime")->trigger();
        f.settle();
    }
};

QTEST_MAIN(EditorsTest)
#include "test_editors.moc"
