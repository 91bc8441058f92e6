// The flight statistics dialog: the figures of the chosen flight at once, the distance
// optimisation on a worker thread with its progress in the dialog's status line, and the
// logbook save once the optimisation has finished.
#pragma once

#include <QDialog>

#include <map>

#include "analysis/flight_statistics.hpp"
#include "app/qt_host.hpp"
#include "core/app_state.hpp"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tracora::app {

// The status while an exact search runs (the statistics and the OLC dialog).
inline constexpr const char* kExactRunning = "Computing exact optimum";

// An exact result with its proof: "12.34 km (optimal)", or halted with the bound that remains.
QString ExactValue(const analysis::ExactResult& r);

// Which positions the figures come from: "all 17,817 positions" (nothing or one row selected)
// or "75 selected positions".
QString PositionsUsedText(std::size_t selected, std::size_t total);

// A climb or sink beyond this (m/s), or a speed beyond this (km/h), is more than a glider can
// do: such figures come from bad fixes.
inline constexpr double kDoubtfulClimbMps = 20;
inline constexpr double kDoubtfulSpeedKmh = 200;

// The notice for figures beyond what a glider can do while the vario filter is off; empty when
// the figures are plausible or the filter is on.
QString DoubtfulFiguresNotice(const analysis::FlightStatistics& s, bool varioFilterOn);

class StatisticsDialog : public QDialog {
    Q_OBJECT
public:
    // Starts the optimisation over `input.points` at once.
    StatisticsDialog(AppState& state, QtHost& host, analysis::StatisticsInput input,
                     QWidget* parent = nullptr);
    // Halts the optimisation and waits for its thread before the points go.
    ~StatisticsDialog() override;

    bool OptimisationFinished() const { return worker_.Finished(); }
    QString StatusText() const;
    // What the dialog says about its figures: the positions they come from and, when they are
    // doubtful, the notice pointing to the vario filter.
    QString NoticeText() const;
    // The rows the figures were taken from (see PositionsUsedText).
    void SetPositionsUsed(std::size_t selected, std::size_t total);
    // The shown value of a figure or result ("Total distance", "FAI triangle", ...).
    QString Value(const QString& name) const;
    QLineEdit* Description() const { return description_; }
    QPushButton* HaltButton() const { return halt_; }
    QPushButton* SaveButton() const { return save_; }
    QCheckBox* ExactBox() const { return exact_; }
    bool ExactFinished() const { return exactWorker_.Finished(); }

    void Halt();
    void Save();

signals:
    // The optimisation has ended (run to its end or halted) and its results are shown.
    void Finished();
    // The exact optimum has ended (proven or halted) and its results are shown.
    void ExactDone();

protected:
    void done(int result) override;

private:
    void OnFinished();
    void ShowResults();
    // The exact search starts once the two-stage results are there to start it from.
    void StartExact();
    void OnExactFinished();

    AppState& state_;
    QtHost& host_;
    analysis::StatisticsInput input_;
    analysis::OptimisationWorker worker_;
    analysis::ExactWorker exactWorker_;
    bool halted_ = false;
    QLabel* notice_ = nullptr;
    QString positionsUsed_;
    std::map<QString, QLabel*> values_;
    QLabel* status_ = nullptr;
    QLineEdit* description_ = nullptr;
    QPushButton* halt_ = nullptr;
    QPushButton* save_ = nullptr;
    QCheckBox* exact_ = nullptr;
};

}  // namespace tracora::app
