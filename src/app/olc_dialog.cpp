#include "app/olc_dialog.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/statistics_dialog.hpp"
#include "core/strings.hpp"

namespace tracora::app {

namespace {

// The results in the order the dialog shows them.
constexpr const char* kResultNames[] = {
    "Max. distance",       "Free distance",      "Out-and-return",
    "Free triangle",       "FAI triangle",       "Exact free distance",
    "Exact free triangle", "Exact FAI triangle", "Best result"};
// The stage texts of the run, in order: the progress shows how many have passed.
constexpr const char* kStages[] = {"Computing distance matrix", "Max. distance search",
                                   "Free distance search",      "Out-and-return search",
                                   "Triangle search",           "Optimization completed"};
constexpr int kStageCount = 5;

std::string Times(const std::vector<TrackPoint>& points, std::size_t first, std::size_t last) {
    const auto t = [&points](std::size_t i) {
        const std::uint32_t s = i < points.size() ? points[i].time % 86400 : 0;
        return StringPrintf("%02u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
    };
    return t(first) + " - " + t(last);
}

}  // namespace

OlcDialog::OlcDialog(AppState& state, QtHost& host, olc::OlcInput input, QWidget* parent)
    : QDialog(parent), state_(state), host_(host), input_(std::move(input)) {
    setWindowTitle(QStringLiteral("OLC statistics"));
    auto* layout = new QVBoxLayout(this);

    auto* results = new QGroupBox(QStringLiteral("Results"), this);
    auto* resultRows = new QFormLayout(results);
    for (const char* name : kResultNames) {
        auto* label = new QLabel(QStringLiteral("-"), this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        values_[QString::fromLatin1(name)] = label;
        resultRows->addRow(QString::fromLatin1(name), label);
    }
    layout->addWidget(results);

    const olc::PilotData defaults = olc::PilotDefaults(state_.settings);
    auto* pilot = new QGroupBox(QStringLiteral("Pilot and flight"), this);
    auto* pilotRows = new QFormLayout(pilot);
    const auto addField = [&](const char* label, const std::string& value) {
        auto* edit = new QLineEdit(ToQString(value), this);
        fields_[QString::fromLatin1(label)] = edit;
        pilotRows->addRow(QString::fromLatin1(label), edit);
    };
    addField("First name", defaults.firstName);
    addField("Last name", defaults.lastName);
    addField("Birth date (dd.mm.yy)", defaults.birthDate);
    class_ = new QComboBox(this);
    for (const olc::GliderClass& c : olc::GliderClasses()) {
        class_->addItem(QString::fromLatin1(c.name), c.number);
    }
    class_->setCurrentIndex(std::max(0, class_->findData(defaults.gliderClass)));
    pilotRows->addRow(QStringLiteral("Class"), class_);
    addField("Glider type", defaults.gliderType);
    addField("Call sign (optional)", defaults.callSign);
    addField("Start place", defaults.startPlace);
    region_ = new QComboBox(this);
    for (const olc::Region& r : olc::Regions()) {
        region_->addItem(QString::fromLatin1(r.label), QString::fromLatin1(r.code));
    }
    region_->setCurrentIndex(std::max(0, region_->findData(ToQString(defaults.regionCode))));
    pilotRows->addRow(QStringLiteral("Region"), region_);
    addField("Flight number (1-35)", defaults.flightNumber);
    longName_ = new QCheckBox(QStringLiteral("Long file&name"), this);
    longName_->setChecked(olc::LongFileName(state_.settings));
    pilotRows->addRow(QString(), longName_);
    layout->addWidget(pilot);

    exact_ = new QCheckBox(QStringLiteral("E&xact optimum (slower)"), this);
    layout->addWidget(exact_);

    auto* statusRow = new QHBoxLayout;
    status_ = new QLabel(this);
    status_->setFrameShape(QFrame::StyledPanel);
    progress_ = new QLabel(this);
    progress_->setFrameShape(QFrame::StyledPanel);
    statusRow->addWidget(status_, 1);
    statusRow->addWidget(progress_);
    layout->addLayout(statusRow);

    auto* buttons = new QHBoxLayout;
    halt_ = new QPushButton(QStringLiteral("&Halt"), this);
    saveOlc_ = new QPushButton(QStringLiteral("Save &OLC only"), this);
    saveWithIgc_ = new QPushButton(QStringLiteral("&Save with IGC"), this);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    buttons->addStretch();
    buttons->addWidget(halt_);
    buttons->addWidget(saveOlc_);
    buttons->addWidget(saveWithIgc_);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    saveOlc_->setEnabled(false);
    saveWithIgc_->setEnabled(false);
    connect(halt_, &QPushButton::clicked, this, &OlcDialog::Halt);
    connect(saveOlc_, &QPushButton::clicked, this, [this] { Save(false); });
    connect(saveWithIgc_, &QPushButton::clicked, this, [this] { Save(true); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(exact_, &QCheckBox::toggled, this, [this](bool on) {
        if (on && worker_.Finished() && !halted_) {
            StartExact();
        }
    });

    // The progress of the stages every half second.
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] {
        progress_->setText(
            QStringLiteral("Done: %1 %").arg(std::min(stage_, kStageCount) * 100 / kStageCount));
    });
    timer_->start(500);

    // The worker reaches the dialog only through the main thread's queue. The dialog outlives
    // the worker (its destructor joins it first), and Qt drops what is still queued for a
    // dialog that is gone.
    OlcDialog* const dialog = this;
    const auto post = [dialog](auto task) {
        QMetaObject::invokeMethod(
            dialog, [dialog, task] { task(*dialog); }, Qt::QueuedConnection);
    };
    progress_->setText(QStringLiteral("Done: 0 %"));
    const int started = worker_.Start(
        input_.points, 2,
        [post](const std::string& text) {
            post([text](OlcDialog& target) { target.OnStage(text); });
        },
        [post] { post([](OlcDialog& target) { target.OnFinished(); }); });
    if (started != 0) {
        status_->setText(QString::fromLatin1(analysis::kMemoryAllocationError));
        halt_->setEnabled(false);
    }
}

OlcDialog::~OlcDialog() {
    exactWorker_.Halt();
    worker_.Halt();
    exactWorker_.Join();
    worker_.Join();
}

QString OlcDialog::StatusText() const {
    return status_->text();
}

QString OlcDialog::ProgressText() const {
    return progress_->text();
}

QString OlcDialog::Value(const QString& name) const {
    const auto it = values_.find(name);
    return it == values_.end() ? QString() : it->second->text();
}

QLineEdit* OlcDialog::Field(const QString& name) const {
    const auto it = fields_.find(name);
    return it == fields_.end() ? nullptr : it->second;
}

void OlcDialog::OnStage(const std::string& text) {
    status_->setText(ToQString(text));
    for (int i = 0; i < static_cast<int>(std::size(kStages)); ++i) {
        if (text == kStages[i]) {
            stage_ = i;
        }
    }
}

void OlcDialog::Halt() {
    halted_ = true;
    worker_.Halt();
    exactWorker_.Halt();
}

void OlcDialog::StartExact() {
    if (exactWorker_.Started() || worker_.Join() != 0 || !results_.done) {
        return;
    }
    analysis::ExactOptions options;
    options.rules = analysis::ExactRules::Olc;
    OlcDialog* const dialog = this;
    const int started =
        exactWorker_.Start(worker_.Points(), options, analysis::OlcSeeds(results_), [dialog] {
            QMetaObject::invokeMethod(
                dialog, [dialog] { dialog->OnExactFinished(); }, Qt::QueuedConnection);
        });
    if (started != 0) {
        status_->setText(QString::fromLatin1(analysis::kMemoryAllocationError));
        return;
    }
    halt_->setEnabled(true);
    exact_->setEnabled(false);
    saveOlc_->setEnabled(false);
    saveWithIgc_->setEnabled(false);
    status_->setText(QString::fromLatin1(kExactRunning));
}

void OlcDialog::OnExactFinished() {
    const int status = exactWorker_.Join();
    halt_->setEnabled(false);
    if (status != 0) {
        status_->setText(QString::fromLatin1(analysis::kMemoryAllocationError));
    } else {
        // Halted or not, what it found satisfies the rules: the best result follows it.
        const analysis::ExactResults& e = exactWorker_.Result();
        analysis::ApplyExactResults(results_, e);
        values_[QStringLiteral("Exact free distance")]->setText(ExactValue(e.five));
        values_[QStringLiteral("Exact free triangle")]->setText(ExactValue(e.flat));
        values_[QStringLiteral("Exact FAI triangle")]->setText(ExactValue(e.fai));
        ShowResults();
        if (halted_ || e.cancelled) {
            status_->setText(QString::fromLatin1(analysis::kComputationHalted));
        }
    }
    emit ExactDone();
}

void OlcDialog::OnFinished() {
    const int status = worker_.Join();
    halt_->setEnabled(false);
    timer_->stop();
    if (status != 0) {
        status_->setText(QString::fromLatin1(analysis::kMemoryAllocationError));
        host_.ShowMessage(olc::kInitOlcTitle, analysis::kMemoryAllocationError);
    } else {
        results_ = worker_.Result();
        stage_ = results_.done ? kStageCount : stage_;
        progress_->setText(
            QStringLiteral("Done: %1 %").arg(std::min(stage_, kStageCount) * 100 / kStageCount));
        ShowResults();
    }
    emit ScoringFinished();
    if (status == 0 && results_.done && !halted_ && exact_->isChecked()) {
        StartExact();
    }
}

void OlcDialog::ShowResults() {
    const analysis::OlcResults& r = results_;
    const std::vector<TrackPoint>& points = worker_.Points();
    if (r.cancelled) {
        status_->setText(ToQString(r.haltText));
        return;
    }
    const auto set = [this](const char* name, const std::string& text) {
        values_[QString::fromLatin1(name)]->setText(ToQString(text));
    };
    set("Max. distance",
        StringPrintf("%.2f km (%s)", r.maxDistance.sum / 1000,
                     Times(points, r.maxDistance.index[0], r.maxDistance.index[1]).c_str()));
    set("Free distance",
        StringPrintf("%.2f points, %.2f km (%s)", r.freeDistancePoints, r.freeDistance.sum / 1000,
                     Times(points, r.freeDistance.index[0], r.freeDistance.index[4]).c_str()));
    const analysis::OutAndReturnResult& o = r.outAndReturn;
    set("Out-and-return", o.score == 0 ? std::string("none")
                                       : StringPrintf("%.2f km (%s)", o.score / 1000,
                                                      Times(points, o.start, o.ret).c_str()));
    const auto triangle = [&](const char* name, const analysis::TriangleResult& t, double pts) {
        set(name, t.score == 0 ? std::string("none")
                               : StringPrintf("%.2f points, %.2f km (gap %.2f km, %s)", pts,
                                              t.score / 1000, t.gapMetres / 1000,
                                              Times(points, t.index[0], t.index[4]).c_str()));
    };
    triangle("Free triangle", r.freeTriangle, r.freeTrianglePoints);
    triangle("FAI triangle", r.faiTriangle, r.faiTrianglePoints);
    set("Best result",
        StringPrintf("%s, %.2f points", analysis::OlcKindName(r.best), r.Points(r.best)));
    status_->setText(ToQString(analysis::OlcBestText(r)));
    saveOlc_->setEnabled(true);
    saveWithIgc_->setEnabled(true);
}

olc::PilotData OlcDialog::Values() const {
    const auto text = [this](const char* name) {
        return ToStdString(fields_.at(QString::fromLatin1(name))->text());
    };
    olc::PilotData d;
    d.firstName = text("First name");
    d.lastName = text("Last name");
    d.birthDate = text("Birth date (dd.mm.yy)");
    d.gliderClass = class_->currentData().toInt();
    d.gliderType = text("Glider type");
    d.callSign = text("Call sign (optional)");
    d.startPlace = text("Start place");
    d.regionCode = ToStdString(region_->currentData().toString());
    d.flightNumber = text("Flight number (1-35)");
    return d;
}

void OlcDialog::Save(bool withIgc) {
    if (!worker_.Finished() || !ExactFinished()) {
        host_.ShowMessage(olc::kSaveOlcTitle, "OLC statistics not yet finished");
        return;
    }
    worker_.Join();
    const olc::OlcSaveOutcome outcome = olc::SaveOlcFile(state_, host_, input_, results_, Values(),
                                                         longName_->isChecked(), withIgc);
    if (outcome == olc::OlcSaveOutcome::kWritten) {
        // The birth date as the file wrote it.
        fields_.at(QStringLiteral("Birth date (dd.mm.yy)"))
            ->setText(ToQString(state_.settings.olcBirthDate));
    }
}

void OlcDialog::done(int result) {
    // Closing stops the scoring; the destructor waits for it.
    worker_.Halt();
    exactWorker_.Halt();
    QDialog::done(result);
}

}  // namespace tracora::app
