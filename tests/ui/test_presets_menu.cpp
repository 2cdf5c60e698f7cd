// The Presets menu over the factory bank, recent presets, and files handed
// to the window (dropped or named on the command line).
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <sndfile.h>

#include "window_fixture.h"

using namespace kf;
using namespace kf::ui;

namespace {

QMenu* topMenu(MainWindow& w, const QString& title) {
    for (QAction* a : w.menuBar()->actions())
        if (a->menu() && a->text().remove('&') == title) return a->menu();
    return nullptr;
}

// Saves what the menu shows, for looking at (build/tests/ui_screens).
void shoot(QMenu* m, const QString& name) {
    QDir().mkpath(KF_SCREENS_DIR);
    m->popup(QPoint(0, 0));
    QApplication::processEvents();
    m->grab().save(QString(KF_SCREENS_DIR) + "/" + name + ".png");
    m->hide();
}

}  // namespace

class PresetsMenuTest : public QObject {
    Q_OBJECT
private slots:
    void bankPresetsOpenByCategoryAndBecomeRecent() {
        test::WindowFixture f;
        QMenu* presets = topMenu(*f.window, "Presets");
        QVERIFY(presets);
        QStringList categories;
        int items = 0;
        QAction* kick = nullptr;
        for (QAction* c : presets->actions()) {
            QVERIFY(c->menu());
            categories << c->text();
            for (QAction* p : c->menu()->actions()) {
                ++items;
                if (p->text() == "Kick drum") kick = p;
            }
        }
        QCOMPARE(categories, (QStringList{"Bass", "Lead", "Keys", "Pad", "Pluck", "Percussion", "Effects", "Showcase"}));
        QVERIFY(items >= 32);
        shoot(presets, "menu_presets");
        shoot(presets->actions()[static_cast<int>(categories.indexOf("Effects"))]->menu(), "menu_presets_effects");
        QVERIFY(kick);
        kick->trigger();
        f.settle();
        QCOMPARE(QString::fromStdString(f.s().files().presetName()), QString("kick_drum.kfp"));
        QCOMPARE(f.s().files().settings().recentPresets.size(), size_t{1});
        QVERIFY(QString::fromStdString(f.s().files().settings().recentPresets[0]).endsWith("/percussion/kick_drum.kfp"));
        QMenu* recent = nullptr;
        for (QAction* a : topMenu(*f.window, "File")->actions())
            if (a->text() == "Recent presets") recent = a->menu();
        QVERIFY(recent);
        emit recent->aboutToShow();
        QCOMPARE(recent->actions().size(), 1);
        QCOMPARE(recent->actions()[0]->text(), QString("kick_drum.kfp"));
        shoot(recent, "menu_recent_presets");
    }

    void aSoundFileHandedToTheWindowAsksForItsSlot() {
        test::WindowFixture f;
        const QString wav = QDir::temp().filePath("kf_drop_tone.wav");
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* sf = sf_open(wav.toLocal8Bit().constData(), SFM_WRITE, &info);
        const short frames[8] = {100, 300, -5, -5, 7, 9, 0, 0};
        sf_writef_short(sf, frames, 4);
        sf_close(sf);
        QTimer::singleShot(50, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            box->grab().save(QString(KF_SCREENS_DIR) + "/dialog_dropped_sample.png");
            for (QAbstractButton* b : box->buttons())
                if (b->text() == "Sample 2") b->click();
        });
        f.window->openFile(wav);
        f.settle();
        QCOMPARE(f.s().files().sampleCount(2), 4);
        QCOMPARE(QString::fromStdString(f.s().files().sampleDetails(2)), QString("4 samples, file at 44100 Hz"));
        QFile::remove(wav);
    }

    void saveSampleAsWritesOggByItsFilter() {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);  // a widget the test can fill in
        test::WindowFixture f;
        QTemporaryDir dir;
        QTimer poll;
        bool offered = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            // An error box would wait for a click forever: report it instead.
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                qWarning("unexpected message: %s", qPrintable(box->text()));
                box->reject();
                return;
            }
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!d) return;
            poll.stop();
            offered = d->nameFilters().contains("Ogg Vorbis (*.ogg)");
            d->selectNameFilter("Ogg Vorbis (*.ogg)");
            d->grab().save(QString(KF_SCREENS_DIR) + "/dialog_save_sample_as.png");
            // Typed as a user would: selectFile leaves the name field alone while it has
            // the focus, which depends on timing.
            d->setDirectory(dir.path());
            d->findChild<QLineEdit*>("fileNameEdit")->setText("take");
            static_cast<QDialog*>(d)->accept();
        });
        poll.start(20);
        f.window->action("Save sample as...")->trigger();
        QVERIFY(offered);
        QVERIFY(QFileInfo(dir.filePath("take.ogg")).size() > 0);
        QCOMPARE(QString::fromStdString(f.s().files().settings().lastFolders.at("export")), QFileInfo(dir.path()).absoluteFilePath());
    }
};

QTEST_MAIN(PresetsMenuTest)
#include "test_presets_menu.moc"
