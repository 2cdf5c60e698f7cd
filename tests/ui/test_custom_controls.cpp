#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "ui/custom_controls.h"

using namespace kf::ui;

class CustomControlsTest : public QObject {
    Q_OBJECT
private slots:
    void numberEditClampsTypedValuesToItsMinimum() {
        NumberEdit e;
        e.resize(200, 36);
        e.setMin(1);
        e.setScrollMin(1);
        e.setScrollMax(256);
        e.setValue(10);
        QSignalSpy spy(&e, &NumberEdit::changed);
        e.edit()->setText("0");
        QCOMPARE(e.value(), 1.0);
        QCOMPARE(e.edit()->text(), QString("1"));
        QCOMPARE(e.scrollBar()->value(), 1);
        QCOMPARE(spy.count(), 2);  // once by the clamp's assignment, once by the edit
        e.edit()->setText("57");
        QCOMPARE(e.scrollBar()->value(), 57);
        QCOMPARE(e.value(), 57.0);
    }

    void numberEditKeepsFractionsInTheTextAndRoundsTheBarToEven() {
        NumberEdit e;
        e.setScrollMax(256);
        e.setValue(10.5);
        QCOMPARE(e.edit()->text(), QString("10.5"));
        QCOMPARE(e.value(), 10.5);
        QCOMPARE(e.scrollBar()->value(), 10);
        e.setValue(11.5);
        QCOMPARE(e.scrollBar()->value(), 12);
        e.setValue(0.227);
        QCOMPARE(e.edit()->text(), QString("0.227"));
        e.setValue(10);
        QCOMPARE(e.edit()->text(), QString("10"));
    }

    void numberEditScrollBarWritesWholeMultiples() {
        NumberEdit e;
        e.setScrollMax(256);
        e.setMult(4);
        QSignalSpy spy(&e, &NumberEdit::changed);
        e.scrollBar()->setValue(3);
        QCOMPARE(e.edit()->text(), QString("12"));
        QCOMPARE(spy.count(), 1);
        e.setMin(NumberEdit::kNoMin);
        e.setValue(-5);
        QCOMPARE(e.value(), -5.0);  // no minimum: negative values stay
    }

    void levelMeterLightsFromTheBottom() {
        const int h = 100;  // 51 segments, r = 0 at the top
        QCOMPARE(levelSegmentColor(50, h, 0), QColor(0, 208, 0));
        QCOMPARE(levelSegmentColor(49, h, 0), QColor(Qt::black));
        for (int r = 0; r <= 50; ++r) QVERIFY(levelSegmentColor(r, h, 256) != QColor(Qt::black));
        QCOMPARE(levelSegmentColor(0, h, 256), QColor(255, 0, 0));      // top tenth red
        QCOMPARE(levelSegmentColor(5, h, 256), QColor(255, 0, 0));
        QCOMPARE(levelSegmentColor(6, h, 256), QColor(239, 224, 0));    // then yellow
        QCOMPARE(levelSegmentColor(14, h, 256), QColor(239, 224, 0));
        QCOMPARE(levelSegmentColor(15, h, 256), QColor(0, 208, 0));     // green below 2/7
        QCOMPARE(levelSegmentColor(24, h, 128), QColor(Qt::black));     // half level: lower half lit
        QCOMPARE(levelSegmentColor(25, h, 128), QColor(0, 208, 0));
    }

    void lampColoursUseThePackedColourArithmetic() {
        // Green 0x00FF00 x 3/4 as one integer is 0xBF40: red 0x40, green 0xBF.
        QCOMPARE(lampShade(QColor(0, 255, 0)), QColor(0x40, 0xBF, 0));
        QCOMPARE(lampLight(QColor(0, 255, 0)), QColor(0x7F, 0xFE, 0x7F));
        LightCheck l;
        QSignalSpy spy(&l, &LightCheck::clicked);
        QTest::mouseClick(&l, Qt::LeftButton);
        QVERIFY(l.isChecked());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(l.currentColor(), QColor(0, 255, 0));
        l.setChecked(false);
        QCOMPARE(l.currentColor(), QColor(255, 0, 0));
    }

    void graphBoxWithoutBufferDrawsFrameAndMiddleLineOnly() {
        GraphBox g;
        g.resize(104, 54);
        QImage img = g.grab().toImage();
        const int mid = 2 + 50 / 2;
        QCOMPARE(QColor(img.pixel(50, mid)), QColor(0, 255, 0));
        QCOMPARE(QColor(img.pixel(50, mid - 10)), g.palette().color(QPalette::Base));
        QCOMPARE(QColor(img.pixel(2, 20)), QColor(Qt::black));  // frame
        // A full-scale buffer reaches about half the height above the middle.
        std::vector<int16_t> loud(100, 32767);
        g.setBuffer(loud.data(), 100);
        img = g.grab().toImage();
        QCOMPARE(QColor(img.pixel(50, 2 + 25 - ((32767 / 256) * 49) / 256)), QColor(Qt::black));
    }
};

QTEST_MAIN(CustomControlsTest)
#include "test_custom_controls.moc"
