// The real window on a virtual X server: every page is shown and grabbed to
// a PNG (for people to look at), and a page without visible content fails.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QTabBar>
#include <QSet>
#include <QTabWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <array>
#include <cstdlib>
#include <iostream>

#include "audio/wave_out.h"
#include "ui/curve_editor.h"
#include "ui/custom_controls.h"
#include "ui/dialogs.h"
#include "ui/labelled_bar.h"
#include "ui/main_window.h"

namespace {

// A page counts as drawn when it shows several colours and a fair share of
// pixels differ from its background.
bool looksBlank(const QImage& img) {
    if (img.isNull() || img.width() < 10 || img.height() < 10) return true;
    const QRgb background = img.pixel(img.width() - 2, img.height() - 2);
    QSet<QRgb> colours;
    int64_t differing = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            colours.insert(c);
            if (c != background) ++differing;
        }
    return colours.size() < 3 || differing * 100 < int64_t{img.width()} * img.height();
}

// Texts that do not fit their widget, among the visible ones under root:
// labels, check and radio boxes, buttons and tab captions.
QStringList clippedTexts(QWidget* root) {
    QStringList out;
    auto visible = [root](QWidget* w) { return w->isVisibleTo(root) && w->width() > 0; };
    for (auto* l : root->findChildren<QLabel*>()) {
        if (!visible(l) || l->wordWrap() || l->text().isEmpty() || !l->pixmap().isNull()) continue;
        if (l->fontMetrics().horizontalAdvance(l->text().trimmed()) > l->contentsRect().width())
            out << "label \"" + l->text().trimmed() + "\"";
    }
    for (auto* b : root->findChildren<QAbstractButton*>()) {
        if (!visible(b) || b->text().isEmpty()) continue;
        const bool box = qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b);
        const QString text = QString(b->text()).remove('&');
        const int need = box ? b->sizeHint().width() : b->fontMetrics().horizontalAdvance(text) + 4;
        if (need > b->width()) out << "button \"" + b->text() + "\"";
    }
    for (auto* t : root->findChildren<QTabBar*>()) {
        if (!visible(t)) continue;
        for (int i = 0; i < t->count(); ++i)
            if (t->fontMetrics().horizontalAdvance(t->tabText(i)) > t->tabRect(i).width())
                out << "tab \"" + t->tabText(i) + "\"";
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const QString dir = argv[1];
    QFile displayFile(dir + "/display");
    if (!displayFile.open(QIODevice::ReadOnly)) {
        std::cerr << "no virtual display\n";
        return 1;
    }
    const QByteArray display = ":" + displayFile.readAll().trimmed();
    qputenv("DISPLAY", display);
    QApplication app(argc, argv);
    kf::CaptureWaveOut waveOut;
    kf::ui::Platform platform;
    platform.waveOut = &waveOut;
    platform.midiInput = false;
    platform.midiOutDevices = {"Default MIDI output"};
    platform.waveInDevices = {"Default input"};
    kf::ui::MainWindow window(platform);
    window.askUnsaved = [] { return kf::ui::MainWindow::UnsavedAnswer::Discard; };
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::cerr << "the window did not open\n";
        return 1;
    }
    // One oscillator on, so the wave display and the meter show a sound.
    QTest::mouseClick(window.control("Oscillator1CheckBox"), Qt::LeftButton);
    // A user's edits, so the editors' pages are seen with content: decayed
    // harmonics, a point drawn on each curve, an 8-step bass line typed in.
    auto showPageOf = [&window](QWidget* w) {
        while (w && window.pages()->indexOf(w) < 0) w = w->parentWidget();
        window.pages()->setCurrentWidget(w);
        QTest::qWait(50);
    };
    QTest::mouseClick(window.control("HarmonicsDecButton"), Qt::LeftButton);
    for (const char* name : {"EnvelopeGraphBox", "WaveFormGraphBox"}) {
        auto* editor = qobject_cast<kf::ui::CurveEditor*>(window.control(name));
        showPageOf(editor);
        QWidget* area = editor->area();
        QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(area->width() / 4, area->height() / 5));
    }
    auto* steps = qobject_cast<QListWidget*>(window.control("NotesListBox"));
    showPageOf(steps);
    steps->setFocus();
    steps->setCurrentRow(0);
    QTest::keyClicks(steps, "-qqtqwqtr");
    qobject_cast<kf::ui::NumberEdit*>(window.control("NoteCountEdit"))->setValue(8);
    steps->setCurrentRow(0);
    window.session().render().waitForRender();
    QTest::qWait(300);
    int failures = 0;
    const auto& captions = kf::ui::pageCaptions();
    for (int p = 0; p < 12; ++p) {
        window.pages()->setCurrentIndex(p);
        QTest::qWait(150);
        const QString file = QString("%1/page_%2_%3.png").arg(dir).arg(p + 1, 2, 10, QChar('0')).arg(captions[p]);
        window.grab().save(file);
        if (looksBlank(window.pages()->currentWidget()->grab().toImage())) {
            std::cerr << "page \"" << captions[p] << "\" is blank\n";
            ++failures;
        }
        std::cout << "grabbed " << file.toStdString() << "\n";
    }
    // Typed entry open on the frequency bar, with the "Full" view (no track bar) below.
    window.pages()->setCurrentIndex(2);
    QTest::mouseClick(window.viewButton(kf::WaveView::Full), Qt::LeftButton, {}, QPoint(6, 6));
    auto* frequency = qobject_cast<kf::ui::LabelledBar*>(window.control("OscillatorFrequencyBar"));
    QTest::mouseDClick(frequency->label(), Qt::LeftButton);
    QTest::qWait(150);
    window.grab().save(dir + "/typed_entry.png");
    QTest::keyClick(frequency->editor(), Qt::Key_Escape);
    QTest::mouseClick(window.viewButton(kf::WaveView::Zoomed), Qt::LeftButton, {}, QPoint(6, 6));
    // At the smallest size the window allows and at a large one, no text is cut.
    const QSize large(1600, 1100);
    for (const QSize size : {window.minimumSize(), large}) {
        window.resize(size);
        QTest::qWait(200);
        const QString tag = size == large ? "large" : "min";
        for (int p = 0; p < 12; ++p) {
            window.pages()->setCurrentIndex(p);
            QTest::qWait(100);
            const QString file =
                QString("%1/%2_page_%3_%4.png").arg(dir, tag).arg(p + 1, 2, 10, QChar('0')).arg(captions[p]);
            window.grab().save(file);
            for (const QString& cut : clippedTexts(&window)) {
                std::cerr << tag.toStdString() << " size " << window.width() << "x" << window.height() << ", page "
                          << captions[p] << ": " << cut.toStdString() << " is cut\n";
                ++failures;
            }
        }
        std::cout << "grabbed the pages at " << window.width() << "x" << window.height() << "\n";
    }
    // The Edit menu naming its step, and the live mode said in the strip.
    window.resize(window.minimumSize());
    window.pages()->setCurrentIndex(2);
    (void)window.session().params().set(kf::ParamId::CutOff, 60);
    window.session().params().drainNotifications();
    QTest::qWait(150);
    for (QAction* a : window.menuBar()->actions()) {
        if (a->text() != "&Edit") continue;
        a->menu()->popup(window.mapToGlobal(QPoint(60, 20)));
        QTest::qWait(150);
        a->menu()->grab().save(dir + "/menu_edit.png");
        a->menu()->hide();
    }
    window.action("Realtime/Realtime")->trigger();
    QTest::qWait(150);
    window.grab().save(dir + "/live_mode.png");
    for (const QString& cut : clippedTexts(&window)) {
        std::cerr << "live mode: " << cut.toStdString() << " is cut\n";
        ++failures;
    }
    window.action("Realtime/Realtime")->trigger();
    std::cout << "grabbed the Edit menu and the live mode\n";
    // The small windows, shown without their modal loop so they can be grabbed.
    auto& tools = window.tools();
    const std::array<std::pair<QWidget*, const char*>, 3> dialogs{{{tools.instructions(), "instructions"},
                                                                   {tools.fatWizard(), "fat_wizard"},
                                                                   {tools.setupDialog(), "setup"}}};
    for (const auto& [w, name] : dialogs) {
        w->show();
        if (!QTest::qWaitForWindowExposed(w)) {
            std::cerr << "the " << name << " window did not open\n";
            ++failures;
            continue;
        }
        QTest::qWait(150);
        const QString file = QString("%1/dialog_%2.png").arg(dir, name);
        w->grab().save(file);
        if (looksBlank(w->grab().toImage())) {
            std::cerr << "window \"" << name << "\" is blank\n";
            ++failures;
        }
        w->hide();
        std::cout << "grabbed " << file.toStdString() << "\n";
    }
    return failures ? 1 : 0;
}
