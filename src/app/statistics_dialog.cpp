#include "app/statistics_dialog.hpp"

#include <QCheckBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "documents/kml_commands.hpp"

namespace tracora::app {

namespace {

// The optimisation results in the order the dialog shows them.
constexpr const char* kResultNames[] = {
    "Open distance",  "Distance over 3 points", "Distance over 4 points", "Distance over 5 points",
    "Out-and-return", "Flat triangle",          "FAI triangle",
};

QString Kilometres(double metres) {
    return QString::fromStdString(StringPrintf("%.2f km", metres / 1000));
}

// The exact results and the rows that show them.
constexpr const char* kExactNames[] = {"Exact 5 points", "Exact flat triangle",
                                       "Exact FAI triangle"};
constexpr const char* kExactCompleted = "Exact optimum proven (%d.%03d secs)";

}  // namespace

QString ExactValue(const analysis::ExactResult& r) {
    const std::string value =
        r.found ? StringPrintf("%.2f km", r.score / 1000) : std::string("none");
    if (r.optimal) {
        return QString::fromStdString(value + " (optimal)");
    }
    return QString::fromStdString(
        StringPrintf("%s (halted, at most %.2f km)", value.c_str(), r.bound / 1000));
}

QString PositionsUsedText(std::size_t selected, std::size_t total) {
    const QLocale english(QLocale::English);
    if (selected >= 2) {
        return QStringLiteral("%1 selected positions")
            .arg(english.toString(static_cast<qulonglong>(selected)));
    }
    return QStringLiteral("all %1 positions").arg(english.toString(static_cast<qulonglong>(total)));
}

QString DoubtfulFiguresNotice(const analysis::FlightStatistics& s, bool varioFilterOn) {
    const bool climb = std::abs(s.highestClimbMps) > kDoubtfulClimbMps ||
                       std::abs(s.lowestClimbMps) > kDoubtfulClimbMps;
    const bool speed = s.topSpeedKmh > kDoubtfulSpeedKmh;
    if (varioFilterOn || (!climb && !speed)) {
        return {};
    }
    return QStringLiteral(
               "The %1 figures are beyond what a glider can do: bad fixes are likely. Switch on "
               "the "
               "vario filter (Options) and open the statistics again.")
        .arg(climb && speed ? QStringLiteral("climb and speed")
                            : (climb ? QStringLiteral("climb") : QStringLiteral("speed")));
}

void StatisticsDialog::SetPositionsUsed(std::size_t selected, std::size_t total) {
    positionsUsed_ = QStringLiteral("Figures from %1.").arg(PositionsUsedText(selected, total));
    const QString doubtful =
        DoubtfulFiguresNotice(input_.statistics, state_.settings.varioFilter > 0);
    notice_->setText(doubtful.isEmpty() ? positionsUsed_
                                        : positionsUsed_ + QLatin1Char(' ') + doubtful);
}

QString StatisticsDialog::NoticeText() const {
    return notice_->text();
}

StatisticsDialog::StatisticsDialog(AppState& state, QtHost& host, analysis::StatisticsInput input,
                                   QWidget* parent)
    : QDialog(parent), state_(state), host_(host), input_(std::move(input)) {
    setWindowTitle(QStringLiteral("Flight statistics"));
    auto* layout = new QVBoxLayout(this);
    auto* figures = new QFormLayout;
    for (const auto& [name, value] : analysis::StatisticsLines(input_.statistics)) {
        auto* label = new QLabel(ToQString(value), this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        values_[ToQString(name)] = label;
        figures->addRow(ToQString(name), label);
    }
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    figures->addRow(line);
    for (const char* name : kResultNames) {
        auto* label = new QLabel(QStringLiteral("-"), this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        values_[QString::fromLatin1(name)] = label;
        figures->addRow(QString::fromLatin1(name), label);
    }
    for (const char* name : kExactNames) {
        auto* label = new QLabel(QStringLiteral("-"), this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        values_[QString::fromLatin1(name)] = label;
        figures->addRow(QString::fromLatin1(name), label);
    }
    layout->addLayout(figures);
    notice_ = new QLabel(this);
    notice_->setWordWrap(true);
    layout->addWidget(notice_);
    SetPositionsUsed(0, input_.points.size());
    // The proven optimum over every fix, on request: slower than the two-stage search.
    exact_ = new QCheckBox(QStringLiteral("E&xact optimum (slower)"), this);
    layout->addWidget(exact_);

    // The trip description of the logbook entry; the flight's date until the pilot writes one.
    const CalendarTime date = TimeToCalendar(input_.statistics.startTime);
    description_ = new QLineEdit(
        QString::fromStdString(StringPrintf("%d-%02d-%02d", date.year, date.month, date.day)),
        this);
    auto* descriptionRow = new QFormLayout;
    descriptionRow->addRow(QStringLiteral("&Description"), description_);
    layout->addLayout(descriptionRow);

    status_ = new QLabel(this);
    status_->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(status_);

    auto* buttons = new QHBoxLayout;
    halt_ = new QPushButton(QStringLiteral("&Halt"), this);
    save_ = new QPushButton(QStringLiteral("&Save"), this);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    buttons->addStretch();
    buttons->addWidget(halt_);
    buttons->addWidget(save_);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(halt_, &QPushButton::clicked, this, &StatisticsDialog::Halt);
    connect(save_, &QPushButton::clicked, this, &StatisticsDialog::Save);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(exact_, &QCheckBox::toggled, this, [this](bool on) {
        if (on && worker_.Finished() && !halted_) {
            StartExact();
        }
    });

    // The worker reaches the dialog only through the main thread's queue. The dialog outlives
    // the worker (its destructor joins it first), and Qt drops what is still queued for a
    // dialog that is gone.
    StatisticsDialog* const dialog = this;
    const auto post = [dialog](auto task) {
        QMetaObject::invokeMethod(
            dialog, [dialog, task] { task(*dialog); }, Qt::QueuedConnection);
    };
    analysis::OptimisationOptions options;
    options.loopFlightGapMetres = state_.settings.loopFlightGap;
    status_->setText(QString::fromLatin1(analysis::kAnalysingTrack));
    const int started = worker_.Start(
        input_.points, options,
        [post](const std::string& text) {
            post([text](StatisticsDialog& target) { target.status_->setText(ToQString(text)); });
        },
        [post] { post([](StatisticsDialog& target) { target.OnFinished(); }); });
    if (started != 0) {
        status_->setText(QString::fromLatin1(analysis::kMemoryAllocationError));
        halt_->setEnabled(false);
    }
}

StatisticsDialog::~StatisticsDialog() {
    worker_.Halt();
    exactWorker_.Halt();
    worker_.Join();
    exactWorker_.Join();
}

QString StatisticsDialog::StatusText() const {
    return status_->text();
}

QString StatisticsDialog::Value(const QString& name) const {
    const auto it = values_.find(name);
    return it == values_.end() ? QString() : it->second->text();
}

void StatisticsDialog::Halt() {
    const bool exactRunning = exactWorker_.Started() && !exactWorker_.Finished();
    if (worker_.Finished() && !exactRunning) {
        return;
    }
    halted_ = true;
    worker_.Halt();
    exactWorker_.Halt();
    status_->setText(QString::fromLatin1(analysis::kComputationHalted));
}

void StatisticsDialog::StartExact() {
    if (exactWorker_.Started() || worker_.Join() != 0) {
        return;
    }
    analysis::ExactOptions options;
    options.loopFlightGapMetres = state_.settings.loopFlightGap;
    StatisticsDialog* const dialog = this;
    const int started = exactWorker_.Start(input_.points, options, worker_.Result(), [dialog] {
        QMetaObject::invokeMethod(
            dialog, [dialog] { dialog->OnExactFinished(); }, Qt::QueuedConnection);
    });
    if (started != 0) {
        status_->setText(QString::fromLatin1(analysis::kMemoryAllocationError));
        return;
    }
    halt_->setEnabled(true);
    exact_->setEnabled(false);
    status_->setText(QString::fromLatin1(kExactRunning));
}

void StatisticsDialog::OnExactFinished() {
    const int status = exactWorker_.Join();
    halt_->setEnabled(false);
    if (status != 0) {
        status_->setText(QString::fromLatin1(analysis::kMemoryAllocationError));
    } else {
        const analysis::ExactResults& r = exactWorker_.Result();
        const analysis::ExactResult* results[] = {&r.five, &r.flat, &r.fai};
        double seconds = 0;
        for (std::size_t i = 0; i < std::size(kExactNames); ++i) {
            values_[QString::fromLatin1(kExactNames[i])]->setText(ExactValue(*results[i]));
            seconds += results[i]->seconds;
        }
        const auto ms = static_cast<long long>(seconds * 1000);
        status_->setText(halted_ || r.cancelled ? QString::fromLatin1(analysis::kComputationHalted)
                                                : QString::fromStdString(StringPrintf(
                                                      kExactCompleted, static_cast<int>(ms / 1000),
                                                      static_cast<int>(ms % 1000))));
    }
    emit ExactDone();
}

void StatisticsDialog::OnFinished() {
    const int status = worker_.Join();
    halt_->setEnabled(false);
    if (status != 0) {
        status_->setText(QString::fromLatin1(analysis::kMemoryAllocationError));
        host_.ShowMessage(analysis::kAnalysingTrack, analysis::kMemoryAllocationError);
    } else {
        ShowResults();
        if (halted_) {
            status_->setText(QString::fromLatin1(analysis::kComputationHalted));
        }
    }
    emit Finished();
    if (status == 0 && !halted_ && exact_->isChecked()) {
        StartExact();
    }
}

void StatisticsDialog::ShowResults() {
    const analysis::OptimisationResults& t = worker_.Result();
    const double values[] = {t.open.sum,           t.three.sum,  t.four.sum, t.five.sum,
                             t.outAndReturn.score, t.flat.score, t.fai.score};
    for (std::size_t i = 0; i < std::size(kResultNames); ++i) {
        values_[QString::fromLatin1(kResultNames[i])]->setText(Kilometres(values[i]));
    }
}

void StatisticsDialog::Save() {
    std::string message;
    if (worker_.CheckFinished(message) != 0 || worker_.Join() != 0) {
        host_.ShowMessage("Save track log",
                          message.empty() ? analysis::kMemoryAllocationError : message);
        return;
    }
    kml::SaveStatisticsLogbook(state_, host_, input_.points, input_.statistics, worker_.Result(),
                               ToStdString(description_->text()));
}

void StatisticsDialog::done(int result) {
    // Closing stops the optimisation; the destructor waits for it.
    worker_.Halt();
    exactWorker_.Halt();
    QDialog::done(result);
}

}  // namespace tracora::app
