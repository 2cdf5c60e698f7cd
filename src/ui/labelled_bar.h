// A horizontal scroll bar with its value label above it: the form most
// parameters take on the pages. A double click on the label (or Enter on
// the bar) opens an inline editor for typing a value; the arrow keys move
// the bar by one position, the page keys by its page step.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QScrollBar;

namespace kf::ui {

class LabelledBar : public QWidget {
    Q_OBJECT
public:
    explicit LabelledBar(QWidget* parent = nullptr);
    QScrollBar* bar() const { return bar_; }
    QLabel* label() const { return label_; }
    QLineEdit* editor() const { return editor_; }
    // Sets the text and repaints it at once, so it shows while a render runs.
    void setText(const QString& text);
    // Shows the editor in the label's place with `text` selected.
    void openEditor(const QString& text);
    void closeEditor();

signals:
    void editRequested();
    void valueTyped(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QLabel* label_;
    QLineEdit* editor_;
    QScrollBar* bar_;
};

}  // namespace kf::ui
