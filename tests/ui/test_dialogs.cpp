// The "Tools" menu, the setup dialog, the utility buttons, the help windows
// and "Render MIDI", driven through the window as a user would.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <fstream>
#include <sstream>

#include "audio/wave_out.h"
#include "core/midi_render.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "window_fixture.h"

using namespace kf;
using namespace kf::ui;

namespace {

struct Fixture : test::WindowFixture {
    std::vector<Status> errors;
    Fixture() { tools().reportError = [this](const Status& s) { errors.push_back(s); }; }
    Tools& tools() { return window->tools(); }
    const OscillatorRecord& osc(const TimbreRecord& t, int k) { return t.oscillators[static_cast<size_t>(k)]; }
    TimbreRecord stored() { return s().params().timbre(s().params().currentTimbre()); }
    void trigger(const char* caption) {
        QAction* a = window->action(caption);
        QVERIFY2(a, caption);
        QVERIFY2(a->isEnabled(), caption);
        a->trigger();
        settle();
    }
};

// Runs `f` on the modal window as soon as it is up (the trigger that opens
// it does not return before it closes).
void onModal(std::function<void(QWidget*)> f) {
    auto* t = new QTimer;
    t->setInterval(10);
    QObject::connect(t, &QTimer::timeout, [t, f] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            t->stop();
            t->deleteLater();
            f(w);
        }
    });
    t->start();
}

void click(QWidget* dialog, const char* button) {
    auto* b = dialog->findChild<QPushButton*>(button);
    QVERIFY2(b, button);
    QTest::mouseClick(b, Qt::LeftButton);
}

QString source(const char* rel) { return QString(KF_TEST_SOURCE_DIR "/") + rel; }

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void toolsItemsAreEnabledAndRewriteTheTimbre() {
        Fixture f;
        for (const char* c : {"All melodic osc to C-3", "All melodic osc to C-8", "Octave down", "Octave up",
                              "Make fat sound", "TB-303 model", "Process sound file", "Render MIDI", "Options...",
                              "RTFM", "Contact", "About"})
            QVERIFY2(f.window->action(c)->isEnabled(), c);

        // Oscillator 2 not melodic: it keeps its frequency.
        TimbreRecord t = f.stored();
        t.oscillators[1].flags &= static_cast<uint8_t>(~kFlagMelodic);
        t.oscillators[1].frequency = 1000;
        f.s().params().replaceTimbre(t);
        f.settle();
        f.trigger("All melodic osc to C-5");
        QCOMPARE(f.osc(f.stored(), 0).frequency, 262);
        QCOMPARE(f.osc(f.stored(), 1).frequency, 1000);
        QCOMPARE(f.osc(f.stored(), 9).frequency, 262);
        f.trigger("All melodic osc to C-3");
        QCOMPARE(f.osc(f.stored(), 0).frequency, 65);
        f.trigger("Octave up");
        QCOMPARE(f.osc(f.stored(), 0).frequency, 130);
        QCOMPARE(f.osc(f.stored(), 1).frequency, 2000);
        f.trigger("Octave down");
        f.trigger("Octave down");
        QCOMPARE(f.osc(f.stored(), 0).frequency, 32);

        f.trigger("TB-303 model");
        QCOMPARE(f.s().params().get(ParamId::Length), 40);
        QCOMPARE(f.osc(f.stored(), 0).waveForm, uint8_t{kWaveTriangle});
    }

    void processSoundFileOnlyWithAChosenFile() {
        Fixture f;
        const TimbreRecord before = f.stored();
        const int32_t samples = f.s().files().sampleCount(1);
        f.tools().chooseFile = [](const QString&, const QString&) { return QString(); };
        f.trigger("Process sound file");
        QCOMPARE(f.osc(f.stored(), 0).waveForm, f.osc(before, 0).waveForm);
        QCOMPARE(f.osc(f.stored(), 0).frequency, f.osc(before, 0).frequency);
        QCOMPARE(f.s().files().sampleCount(1), samples);

        QString asked;
        f.tools().chooseFile = [&](const QString& title, const QString&) {
            asked = title;
            return source("data/16tone2.smp");
        };
        f.trigger("Process sound file");
        QCOMPARE(asked, QString("Open sample 1"));
        QCOMPARE(f.osc(f.stored(), 0).waveForm, uint8_t{kWaveSample1});
        QCOMPARE(f.osc(f.stored(), 0).frequency, 4410);
        QCOMPARE(f.osc(f.stored(), 0).active, uint8_t{1});
        QVERIFY(f.errors.empty());

        f.tools().chooseFile = [&](const QString&, const QString&) { return source("no/such.smp"); };
        f.trigger("Process sound file");
        QCOMPARE(f.errors.size(), size_t{1});  // shown in the error box
    }

    void fatWizardKeepsItsPositionsAndOkAppliesThem() {
        Fixture f;
        onModal([](QWidget* w) {
            QCOMPARE(w->windowTitle(), QString("Fat wizard"));
            auto* range = w->findChild<QSlider*>("RangeTrackBar");
            auto* detune = w->findChild<QSlider*>("DetuneTrackBar");
            QCOMPARE(range->minimum(), 1);
            QCOMPARE(range->maximum(), 4);
            QCOMPARE(range->value(), 4);
            QCOMPARE(detune->minimum(), 0);
            QCOMPARE(detune->maximum(), 10);
            QCOMPARE(detune->value(), 10);
            range->setValue(1);
            detune->setValue(0);
            click(w, "Button1");
        });
        f.trigger("Make fat sound");
        const TimbreRecord fat = f.stored();
        for (int k = 0; k < 10; ++k) {
            QCOMPARE(f.osc(fat, k).relativeFrequency, 1000);  // no doubling, no detune
            QCOMPARE(f.osc(fat, k).frequency, 131);
            QCOMPARE(f.osc(fat, k).active, uint8_t{1});
        }
        QCOMPARE(f.s().tools().fatWizard().range, 1);
        QCOMPARE(f.s().tools().fatWizard().detune, 0);

        // The positions are kept; Cancel changes nothing of the sound.
        onModal([](QWidget* w) {
            auto* range = w->findChild<QSlider*>("RangeTrackBar");
            QCOMPARE(range->value(), 1);
            QCOMPARE(w->findChild<QSlider*>("DetuneTrackBar")->value(), 0);
            range->setValue(4);
            click(w, "Button2");
        });
        f.trigger("Make fat sound");
        const TimbreRecord after = f.stored();
        for (int k = 0; k < 10; ++k) {
            QCOMPARE(f.osc(after, k).relativeFrequency, f.osc(fat, k).relativeFrequency);
            QCOMPARE(f.osc(after, k).waveForm, f.osc(fat, k).waveForm);
            QCOMPARE(f.osc(after, k).phase, f.osc(fat, k).phase);
        }
    }

    void setupDialogCancelOkAndSaveDirectory() {
        Fixture f;
        QTemporaryDir dir;
        const SetupValues start = f.s().tools().setupValues();
        auto* util1 = qobject_cast<QPushButton*>(f.window->control("Util1Button"));
        QVERIFY(util1 && util1->isEnabled());
        QCOMPARE(util1->text().toStdString(), start.util1Name);

        f.trigger("Options...");
        SetupDialog* d = f.tools().setupDialog();
        QVERIFY(d->isVisible());
        QVERIFY(!d->isModal());
        QCOMPARE(d->windowTitle(), QString("Options"));
        for (int k = 0; k < 5; ++k) d->edit(k)->setText("edited");
        click(d, "CancelBtn");
        QVERIFY(!d->isVisible());
        f.settle();
        QCOMPARE(f.s().tools().setupValues(), start);
        QCOMPARE(util1->text().toStdString(), start.util1Name);

        // Reopened, and on every activation, the stored strings come back.
        f.trigger("Options...");
        QCOMPARE(d->edit(0)->text().toStdString(), start.util1Name);
        QCOMPARE(d->edit(4)->text().toStdString(), start.saveDir);
        d->edit(4)->setText("not confirmed");
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(d, &activate);
        QCOMPARE(d->edit(4)->text().toStdString(), start.saveDir);

        d->edit(0)->setText("Echo");
        d->edit(2)->setText("Wave");
        d->edit(4)->setText(dir.path() + "/");
        click(d, "OKBtn");
        QVERIFY(!d->isVisible());
        f.settle();
        QCOMPARE(f.s().tools().setupValues().util1Name, std::string("Echo"));
        QCOMPARE(f.s().tools().setupValues().saveDir, (dir.path() + "/").toStdString());
        QCOMPARE(util1->text(), QString("Echo"));
        QCOMPARE(qobject_cast<QPushButton*>(f.window->control("Util2Button"))->text(), QString("Wave"));

        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 0);
        QTest::mouseClick(f.window->control("SaveButton"), Qt::LeftButton);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
        QVERIFY(f.errors.empty());
    }

    void utilityButtonHandsTheSoundToItsCommand() {
        Fixture f;
        QTemporaryDir dir;
        const QString script = dir.filePath("util.sh"), arg = dir.filePath("arg.txt");
        {
            QFile s(script);
            QVERIFY(s.open(QIODevice::WriteOnly));
            s.write(QString("printf '%s' \"$1\" > '%1.tmp' && mv '%1.tmp' '%1'\n").arg(arg).toUtf8());
        }
        SetupValues v = f.s().tools().setupValues();
        v.util2Command = "sh " + script.toStdString();
        f.s().tools().applySetup(v);
        QTest::mouseClick(f.window->control("Util2Button"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(arg), 10000);
        QFile a(arg);
        QVERIFY(a.open(QIODevice::ReadOnly));
        QVERIFY(QFileInfo(a.readAll()).fileName().contains(QRegularExpression("^KSTF-......\\.WAV$")));
        QVERIFY(f.errors.empty());

        v.util1Command = std::string(200, 'x');  // over the command line limit: refused, shown
        f.s().tools().applySetup(v);
        QTest::mouseClick(f.window->control("Util1Button"), Qt::LeftButton);
        QCOMPARE(f.errors.size(), size_t{1});
    }

    void fatWizardHelpOpensTheManualAtItsParagraph() {
        Fixture f;
        QString at;
        onModal([&](QWidget* w) {
            at = w->findChild<QPlainTextEdit*>("Memo")->textCursor().block().text();
            click(w, "CloseButton");
        });
        QTest::mouseClick(f.tools().fatWizard()->findChild<QPushButton*>("HelpButton"), Qt::LeftButton);
        QVERIFY2(at.contains("\"Make fat sound\" opens the Fat wizard"), qPrintable(at));
    }

    void rtfmShowsTheJoinedManual() {
        Fixture f;
        std::ifstream in(KF_TEST_SOURCE_DIR "/data/ReadThis.TXT");
        QVERIFY(in.good());
        QStringList expected;
        for (const auto& l : joinParagraphs(in)) expected << QString::fromStdString(l);
        QString shown, title;
        bool readOnly = false;
        onModal([&](QWidget* w) {
            title = w->windowTitle();
            auto* memo = w->findChild<QPlainTextEdit*>("Memo");
            shown = memo->toPlainText();
            readOnly = memo->isReadOnly();
            click(w, "CloseButton");
        });
        f.trigger("RTFM");
        QCOMPARE(title, QString("Instructions..."));
        QVERIFY(readOnly);
        QVERIFY(expected.size() > 20);
        QCOMPARE(shown, expected.join('\n'));
        QCOMPARE(f.window->action("RTFM")->shortcut(), QKeySequence(Qt::Key_F1));
    }

    void aboutAndContactAreSmallModalWindows() {
        Fixture f;
        for (const char* caption : {"About", "Contact"}) {
            QString title;
            bool modal = false;
            onModal([&](QWidget* w) {
                title = w->windowTitle();
                modal = w->isModal();
                click(w, "");  // its one button
            });
            f.trigger(caption);
            QCOMPARE(title, QString(caption));
            QVERIFY(modal);
        }
    }

    void renderMidiWritesIntoTheSaveDirectoryWithoutBlocking() {
        Fixture f;
        QTemporaryDir dir;
        SetupValues v = f.s().tools().setupValues();
        v.saveDir = dir.path().toStdString() + "/";
        f.s().tools().applySetup(v);
        const QString out = QString::fromStdString(midiOutputPath(v.saveDir));

        // Cancelling the dialog does nothing.
        QString filter;
        f.tools().chooseFile = [&](const QString&, const QString& fl) {
            filter = fl;
            return QString();
        };
        f.trigger("Render MIDI");
        QCOMPARE(filter, QString("Midi files (*.mid)"));
        QVERIFY(!f.tools().midiRendering());
        QVERIFY(!QFile::exists(out));

        // The save dialog starts at midiout.wav in the save directory; cancelling it does nothing.
        QString start;
        f.tools().chooseFile = [&](const QString&, const QString&) { return source("tests/data/midi/scale.mid"); };
        f.tools().chooseSaveFile = [&](const QString&, const QString& at, const QString&) {
            start = at;
            return QString();
        };
        f.trigger("Render MIDI");
        QCOMPARE(start, out);
        QVERIFY(!f.tools().midiRendering());
        f.tools().chooseSaveFile = [&](const QString&, const QString& at, const QString&) { return at; };
        QSignalSpy done(&f.tools(), &Tools::midiRenderDone);
        int ticks = 0;  // the event loop keeps running while the worker renders
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(1);
        f.window->action("Render MIDI")->trigger();
        QVERIFY(f.tools().midiRendering());
        QVERIFY(!f.window->action("Render MIDI")->isEnabled());
        QVERIFY(done.wait(120000));
        QCOMPARE(done.front().front().toBool(), true);
        QVERIFY(ticks > 0);
        QVERIFY(QFileInfo(out).size() > 44 + 1000);
        QVERIFY(f.window->action("Render MIDI")->isEnabled());
        QVERIFY(f.window->statusBar()->currentMessage().contains(out));
        QVERIFY(f.errors.empty());

        // A file that is not MIDI: reported, the earlier output left alone.
        const qint64 size = QFileInfo(out).size();
        f.tools().chooseFile = [&](const QString&, const QString&) { return source("tests/data/midi/text.mid"); };
        f.window->action("Render MIDI")->trigger();
        QVERIFY(done.wait(60000));
        QCOMPARE(done.back().front().toBool(), false);
        QCOMPARE(f.errors.size(), size_t{1});
        QCOMPARE(QFileInfo(out).size(), size);

        // Cancelled at once: no new file, no temporary, no error box.
        const QString other = dir.path() + "/other.wav";
        f.tools().chooseFile = [&](const QString&, const QString&) {
            return source("tests/data/midi/hostile/end_of_track_late.mid");
        };
        f.tools().chooseSaveFile = [&](const QString&, const QString&, const QString&) { return other; };
        f.window->action("Render MIDI")->trigger();
        auto* cancel = f.window->findChild<QPushButton*>("MidiRenderCancelButton");
        QVERIFY(cancel && !cancel->isHidden());
        cancel->click();
        QVERIFY(done.wait(60000));
        QCOMPARE(done.back().front().toBool(), false);
        QCOMPARE(f.errors.size(), size_t{1});
        QVERIFY(!QFile::exists(other));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
