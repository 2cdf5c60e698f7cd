#include "ui/dialogs.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QTextCursor>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "core/midi_render.h"
#include "ui/main_window.h"

namespace kf::ui {

// ---------------------------------------------------------------------------
// Fat wizard

namespace {

QSlider* trackBar(QWidget* parent, const char* name, int lo, int hi, int start) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(name);
    s->setRange(lo, hi);
    s->setValue(start);
    s->setPageStep(1);
    s->setTickInterval(1);
    s->setTickPosition(QSlider::TicksBelow);
    s->setMinimumWidth(160);
    return s;
}

// A track bar under its label, with the position shown beside it.
void addTrackBar(QVBoxLayout* into, const QString& label, QSlider* bar) {
    auto* caption = new QLabel(label, bar->parentWidget());
    auto* value = new QLabel(QString::number(bar->value()), bar->parentWidget());
    value->setMinimumWidth(20);
    QObject::connect(bar, &QSlider::valueChanged, value, [value](int v) { value->setNum(v); });
    into->addWidget(caption);
    auto* row = new QHBoxLayout;
    row->addWidget(bar, 1);
    row->addWidget(value);
    into->addLayout(row);
}

}  // namespace

FatWizardDialog::FatWizardDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Fat wizard");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    auto* group = new QGroupBox("Parameters", this);
    auto* g = new QVBoxLayout(group);
    const FatWizard start;
    range_ = trackBar(group, "RangeTrackBar", FatWizard::kMinRange, FatWizard::kMaxRange, start.range);
    detune_ = trackBar(group, "DetuneTrackBar", FatWizard::kMinDetune, FatWizard::kMaxDetune, start.detune);
    addTrackBar(g, "Range", range_);
    addTrackBar(g, "Max Detune", detune_);
    v->addWidget(group);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("Button1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("Button2");
    auto* help = new QPushButton("&Help", this);
    help->setObjectName("HelpButton");
    connect(help, &QPushButton::clicked, this, &FatWizardDialog::helpRequested);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    v->addLayout(buttons);
    setFixedSize(sizeHint());
}

FatWizard FatWizardDialog::values() const {
    FatWizard w;
    w.range = range_->value();
    w.detune = detune_->value();
    return w;
}

void FatWizardDialog::setValues(const FatWizard& w) {
    range_->setValue(w.range);
    detune_->setValue(w.detune);
}

// ---------------------------------------------------------------------------
// Setup dialog

SetupDialog::SetupDialog(Session& s, QWidget* parent) : QDialog(parent), session_(s) {
    setWindowTitle("Options");
    setModal(false);
    auto* v = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const std::array<std::pair<const char*, const char*>, 5> rows{{{"Util1NameEdit", "Util 1 name"},
                                                                  {"Util1FileNameEdit", "Util 1 program"},
                                                                  {"Util2NameEdit", "Util 2 name"},
                                                                  {"Util2FileNameEdit", "Util 2 program"},
                                                                  {"SaveDirectoryEdit", "Save directory"}}};
    for (size_t k = 0; k < rows.size(); ++k) {
        auto* e = new QLineEdit(this);
        e->setObjectName(rows[k].first);
        e->setMinimumWidth(260);
        edits_[k] = e;
        form->addRow(rows[k].second, e);
    }
    v->addLayout(form);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKBtn");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("CancelBtn");
    connect(ok, &QPushButton::clicked, this, [this] {
        store();
        close();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    v->addLayout(buttons);
    setFixedSize(sizeHint());
}

void SetupDialog::fill() {
    const SetupValues sv = session_.tools().setupValues();
    const std::array<const std::string*, 5> values{&sv.util1Name, &sv.util1Command, &sv.util2Name, &sv.util2Command,
                                                   &sv.saveDir};
    for (size_t k = 0; k < values.size(); ++k) edits_[k]->setText(QString::fromStdString(*values[k]));
}

void SetupDialog::store() {
    auto text = [this](int k) { return edit(k)->text().toStdString(); };
    session_.tools().applySetup(SetupValues{text(0), text(1), text(2), text(3), text(4)});
    emit stored();
}

bool SetupDialog::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) fill();
    return QDialog::event(e);
}

// ---------------------------------------------------------------------------
// Instructions window, About and contact

InstructionsWindow::InstructionsWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("Instructions...");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(8, 8, 8, 8);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo");
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The manual's lists and section numbers line up in a fixed-pitch font.
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    v->addWidget(memo_, 1);
    auto* close = new QPushButton("Close", this);
    close->setObjectName("CloseButton");
    QFont bold = close->font();
    bold.setBold(true);
    close->setFont(bold);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    v->addWidget(close);
    resize(560, 440);
}

void InstructionsWindow::setLines(const std::vector<std::string>& lines) {
    QStringList all;
    for (const auto& l : lines) all << QString::fromLocal8Bit(l.c_str());
    memo_->setPlainText(all.join('\n'));
    memo_->moveCursor(QTextCursor::Start);
}

QString InstructionsWindow::text() const { return memo_->toPlainText(); }

void InstructionsWindow::showAt(const QString& phrase) {
    memo_->moveCursor(QTextCursor::Start);
    if (phrase.isEmpty() || !memo_->find(phrase)) return;
    QTextCursor c = memo_->textCursor();
    c.movePosition(QTextCursor::StartOfBlock);
    memo_->setTextCursor(c);
    // From the end upwards, so the paragraph ends up at the top.
    memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
    memo_->ensureCursorVisible();
}

NoteWindow::NoteWindow(const QString& caption, const QString& text, QWidget* parent) : QDialog(parent) {
    setWindowTitle(caption);
    setModal(true);
    auto* v = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* label = new QLabel(text, this);
    label->setObjectName("NoteText");
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(icon);
    row->addWidget(label, 1);
    v->addLayout(row);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addStretch(1);
    v->addLayout(buttons);
    setMinimumWidth(320);
    setFixedSize(sizeHint());
}

// ---------------------------------------------------------------------------
// The commands

Tools::Tools(MainWindow& window, Session& session) : QObject(&window), window_(window), session_(session) {
    chooseFile = [this](const QString& title, const QString& filter) {
        // MIDI files and samples each open where the last one was chosen.
        const std::string kind = filter.contains("*.mid") ? "midi" : "sample";
        const QString name = QFileDialog::getOpenFileName(&window_, title, window_.lastFolder(kind), filter);
        if (!name.isEmpty()) window_.rememberFolder(kind, name);
        return name;
    };
    chooseSaveFile = [this](const QString& title, const QString& start, const QString& filter) {
        return QFileDialog::getSaveFileName(&window_, title, start, filter);
    };
    reportError = [this](const Status& s) {
        QMessageBox::critical(&window_, QString::fromStdString(s.caption.empty() ? "Kestrafon" : s.caption),
                              QString::fromStdString(s.message));
    };
    fatWizard_ = new FatWizardDialog(&window_);
    connect(fatWizard_, &FatWizardDialog::helpRequested, this, [this] { rtfmAt("\"Make fat sound\" opens"); });
    fatWizard_->setValues(session_.tools().fatWizard());
    setup_ = new SetupDialog(session_, &window_);
    instructions_ = new InstructionsWindow(&window_);
    // The manual is read once; a missing one is reported once the window
    // runs, without holding up the start.
    std::vector<std::string> lines;
    const Status read = readInstructions(lines);
    instructions_->setLines(lines);
    if (!read) {
        QTimer::singleShot(0, this, [this, read] {
            auto* box = new QMessageBox(QMessageBox::Critical, QString::fromStdString(read.caption),
                                        QString::fromStdString(read.message), QMessageBox::Ok, &window_);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        });
    }
    listener_ = session_.params().subscribe([this](const Notification& n) {
        if (n.change == Change::Setup) refreshUtilityCaptions();
    });
}

Tools::~Tools() { shutDown(); }

void Tools::shutDown() {
    midiCancel_ = true;
    if (midiThread_.joinable()) midiThread_.join();
    if (listener_) session_.params().unsubscribe(std::exchange(listener_, 0));
}

void Tools::attachUtilityButtons(QPushButton* util1, QPushButton* util2) {
    utilButtons_ = {util1, util2};
    for (int n = 1; n <= 2; ++n) {
        QPushButton* b = utilButtons_[static_cast<size_t>(n - 1)];
        b->setObjectName(QString("Util%1Button").arg(n));
        b->setEnabled(true);
        connect(b, &QPushButton::clicked, this, [this, n] { utility(n); });
    }
    // The names come from the settings, read at the end of the window's
    // creation.
    QTimer::singleShot(0, this, [this] { refreshUtilityCaptions(); });
}

void Tools::refreshUtilityCaptions() {
    for (int n = 1; n <= 2; ++n)
        if (QPushButton* b = utilButtons_[static_cast<size_t>(n - 1)])
            b->setText(QString::fromStdString(session_.tools().utilityName(n)));
}

void Tools::melodicToC(int octave) { session_.tools().melodicOscillatorsToC(octave); }

void Tools::octave(bool up) { session_.tools().octaveShift(up); }

void Tools::makeFatSound() {
    if (fatWizard_->exec() != QDialog::Accepted) return;
    session_.tools().setFatWizard(fatWizard_->values());
    session_.tools().makeFatSound();
}

void Tools::tb303() { session_.tools().tb303Model(); }

void Tools::processSoundFile() {
    const QString name = chooseFile("Open sample 1", {});
    if (name.isEmpty()) return;  // a cancelled open changes nothing
    if (Status st = session_.tools().processSoundFile(name.toStdString()); !st) reportError(st);
}

void Tools::options() {
    setup_->show();
    setup_->raise();
    setup_->activateWindow();
}

void Tools::utility(int n) {
    if (Status st = session_.tools().runUtility(n); !st) reportError(st);
}

void Tools::rtfm() { instructions_->exec(); }

void Tools::rtfmAt(const QString& phrase) {
    instructions_->showAt(phrase);
    // Scrolled again once the window is laid out, so the paragraph is at the top.
    QTimer::singleShot(0, instructions_, [this, phrase] { instructions_->showAt(phrase); });
    instructions_->exec();
    instructions_->showAt({});
}

void Tools::about() {
    NoteWindow w("About",
                 "Kestrafon sound designer\n\nTen oscillators, envelopes, LFOs, noise, filters and effects "
                 "rendered into a mono 16-bit sound.",
                 &window_);
    w.exec();
}

void Tools::contact() {
    NoteWindow w("Contact",
                 "Questions, bug reports and presets to share are welcome.\n\n"
                 "Please write to the Kestrafon team through the project's issue tracker.",
                 &window_);
    w.exec();
}

// The render runs on a worker; the window only hears its progress and end
// through queued calls, so the event loop never waits for it.
void Tools::renderMidi(const QString& file) {
    if (midiThread_.joinable()) return;  // one at a time
    const QString name = file.isEmpty() ? chooseFile({}, "Midi files (*.mid)") : file;
    if (name.isEmpty()) return;
    const QString target = chooseSaveFile(
        "Render MIDI to", QString::fromStdString(midiOutputPath(session_.tools().setupValues().saveDir)), "WAV files (*.wav)");
    if (target.isEmpty()) return;
    const std::string in = name.toStdString();
    const std::string out = target.toStdString();
    if (!midiBar_) {
        midiBar_ = new QProgressBar(&window_);
        midiBar_->setObjectName("MidiRenderProgressBar");
        midiBar_->setRange(0, 100);
        midiBar_->setMaximumWidth(160);
        window_.statusBar()->addPermanentWidget(midiBar_);
        // Cancelling leaves no file behind: the render writes a temporary
        // that only a finished render renames into place.
        midiCancelButton_ = new QPushButton("Cancel", &window_);
        midiCancelButton_->setObjectName("MidiRenderCancelButton");
        connect(midiCancelButton_, &QPushButton::clicked, this, [this] { midiCancel_ = true; });
        window_.statusBar()->addPermanentWidget(midiCancelButton_);
    }
    midiBar_->setValue(0);
    midiBar_->show();
    midiCancelButton_->show();
    if (QAction* a = window_.action("Render MIDI")) a->setEnabled(false);
    midiMessage_ = "Rendering " + name + " ...";
    window_.statusBar()->showMessage(midiMessage_);
    midiCancel_ = false;
    midiThread_ = std::thread([this, in, out] {
        int last = -1;
        const MidiRenderProgress progress = [this, &last](int64_t done, int64_t total) {
            const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
            if (percent != last) {
                last = percent;
                QMetaObject::invokeMethod(this, [this, percent] { midiProgress(percent); }, Qt::QueuedConnection);
            }
            return !midiCancel_.load();
        };
        const Status st = renderMidiFile(session_, in, out, MidiRenderOptions{}, progress);
        QMetaObject::invokeMethod(
            this, [this, st, out] { midiFinished(st, QString::fromStdString(out)); }, Qt::QueuedConnection);
    });
}

void Tools::midiProgress(int percent) {
    if (midiBar_) midiBar_->setValue(percent);
}

void Tools::midiFinished(const Status& st, const QString& path) {
    if (midiThread_.joinable()) midiThread_.join();
    if (midiBar_) midiBar_->hide();
    if (midiCancelButton_) midiCancelButton_->hide();
    if (QAction* a = window_.action("Render MIDI")) a->setEnabled(true);
    midiMessage_ = st            ? "MIDI rendered to " + path
                   : midiCancel_ ? QString("MIDI render cancelled")
                                 : "MIDI render failed: " + QString::fromStdString(st.message);
    window_.statusBar()->showMessage(midiMessage_);
    if (!st && !midiCancel_) reportError(st);
    emit midiRenderDone(static_cast<bool>(st));
}

}  // namespace kf::ui
