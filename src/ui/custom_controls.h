// The program's own small controls: a labelled scroll bar with a number
// box, the wave graph, the lamps and the level meter.
#pragma once

#include <QColor>
#include <QFrame>
#include <QWidget>
#include <cstdint>

class QLabel;
class QLineEdit;
class QScrollBar;

namespace kf::ui {

// A description label, a horizontal scroll bar and an edit box. The value
// lives in the edit text (so it may be fractional); the scroll bar moves in
// whole steps of `mult`.
class NumberEdit : public QFrame {
    Q_OBJECT
public:
    static constexpr int32_t kNoMin = 2147483647;

    explicit NumberEdit(QWidget* parent = nullptr);

    double value() const;
    void setValue(double x);
    int32_t min() const { return min_; }
    void setMin(int32_t m) { min_ = m; }
    int32_t scrollMin() const;
    int32_t scrollMax() const;
    void setScrollMin(int32_t v);
    void setScrollMax(int32_t v);
    double mult() const { return mult_; }
    void setMult(double m) { mult_ = m; }
    QString description() const;
    void setDescription(const QString& s);

    QScrollBar* scrollBar() const { return bar_; }
    QLineEdit* edit() const { return edit_; }
    QSize sizeHint() const override { return {220, 36}; }
    QSize minimumSizeHint() const override { return {120, 36}; }

signals:
    void changed();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void scrollChanged(int position);
    void editChanged(const QString& text);
    double clamp(double x) const;

    QLabel* label_;
    QScrollBar* bar_;
    QLineEdit* edit_;
    int32_t min_ = 0;
    double mult_ = 1.0;
    int busy_ = 0;
};

// Draws a sound buffer (or nothing) over a middle line.
class GraphBox : public QFrame {
    Q_OBJECT
public:
    explicit GraphBox(QWidget* parent = nullptr);
    // The buffer stays owned by the caller; null shows the frame and line only.
    void setBuffer(const int16_t* samples, int32_t count);
    const int16_t* samples() const { return samples_; }
    int32_t count() const { return count_; }
    // Magnifies the height (1 = full scale fills the box); what leaves the box is clipped.
    void setVerticalZoom(int factor);
    int verticalZoom() const { return zoom_; }

signals:
    void painted();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const int16_t* samples_ = nullptr;
    int32_t count_ = 0;
    int zoom_ = 1;
};

// A round lamp; a click toggles it.
class LightCheck : public QWidget {
    Q_OBJECT
public:
    explicit LightCheck(QWidget* parent = nullptr);
    bool isChecked() const { return checked_; }
    void setChecked(bool c);
    QColor onColor() const { return on_; }
    QColor offColor() const { return off_; }
    void setOnColor(QColor c);
    void setOffColor(QColor c);
    QColor currentColor() const { return checked_ ? on_ : off_; }
    QSize sizeHint() const override { return {13, 13}; }

signals:
    // After the toggle, for user clicks only.
    void clicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void paintLamp(class QPainter& p, int top) const;

private:
    bool checked_ = false;
    QColor on_{0, 255, 0};
    QColor off_{255, 0, 0};
};

// A lamp with its caption beside it.
class LightCheckBox : public LightCheck {
    Q_OBJECT
public:
    explicit LightCheckBox(const QString& caption, QWidget* parent = nullptr);
    QString caption() const { return caption_; }
    void setCaption(const QString& c);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString caption_;
};

// A segmented level meter, lit from the bottom to level/256 of its height.
class LevelBox : public QFrame {
    Q_OBJECT
public:
    explicit LevelBox(QWidget* parent = nullptr);
    int32_t level() const { return level_; }
    void setLevel(int32_t l);
    QSize sizeHint() const override { return {14, 96}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int32_t level_ = 0;
};

// Colour of meter segment r (0 at the top) for a meter h pixels high.
QColor levelSegmentColor(int r, int h, int32_t level);

// The lamp's shade and light as the colour arithmetic defines them: the
// shade multiplies the packed 0x00BBGGRR value as one integer.
QColor lampShade(QColor c);
QColor lampLight(QColor c);

}  // namespace kf::ui
