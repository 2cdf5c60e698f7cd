// A horizontal scroll bar with its value label above it: the form most
// parameters take on the pages.
#pragma once

#include <QWidget>

class QLabel;
class QScrollBar;

namespace kf::ui {

class LabelledBar : public QWidget {
    Q_OBJECT
public:
    explicit LabelledBar(QWidget* parent = nullptr);
    QScrollBar* bar() const { return bar_; }
    QLabel* label() const { return label_; }
    // Sets the text and repaints it at once, so it shows while a render runs.
    void setText(const QString& text);

private:
    QLabel* label_;
    QScrollBar* bar_;
};

}  // namespace kf::ui
