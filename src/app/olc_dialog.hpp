// The "OLC statistics" dialog: the online-contest scoring on a worker thread with its stage and
// progress, the three scored results and the two shown but not scored, the best result, the
// pilot's values and the two saves of the submission file.
#pragma once

#include <QDialog>

#include <map>

#include "analysis/flight_statistics.hpp"
#include "analysis/olc_optimisation.hpp"
#include "app/qt_host.hpp"
#include "core/app_state.hpp"
#include "documents/olc_commands.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tracora::app {

class OlcDialog : public QDialog {
    Q_OBJECT
public:
    // Starts the scoring of `input.points` at once.
    OlcDialog(AppState& state, QtHost& host, olc::OlcInput input, QWidget* parent = nullptr);
    // Halts the scoring and waits for its thread before the points go.
    ~OlcDialog() override;

    bool Finished() const { return worker_.Finished(); }
    QString StatusText() const;
    QString ProgressText() const;
    // The shown value of a result ("Free distance", "FAI triangle", "Best result", ...).
    QString Value(const QString& name) const;
    QLineEdit* Field(const QString& name) const;
    QComboBox* ClassBox() const { return class_; }
    QComboBox* RegionBox() const { return region_; }
    QPushButton* HaltButton() const { return halt_; }
    QCheckBox* ExactBox() const { return exact_; }
    // The exact search has ended (or never started).
    bool ExactFinished() const { return !exactWorker_.Started() || exactWorker_.Finished(); }

    void Halt();
    // "Save OLC only" (false) and "Save with IGC" (true).
    void Save(bool withIgc);

signals:
    // The scoring has ended (run to its end or halted) and its results are shown.
    void ScoringFinished();
    // The exact search has ended and its results are shown.
    void ExactDone();

protected:
    void done(int result) override;

private:
    void OnStage(const std::string& text);
    void OnFinished();
    void ShowResults();
    void StartExact();
    void OnExactFinished();
    olc::PilotData Values() const;

    AppState& state_;
    QtHost& host_;
    olc::OlcInput input_;
    analysis::OlcWorker worker_;
    analysis::ExactWorker exactWorker_;  // after worker_: halted and joined first
    analysis::OlcResults results_;       // the scoring's, with the exact results once in
    bool halted_ = false;
    int stage_ = 0;
    std::map<QString, QLabel*> values_;
    std::map<QString, QLineEdit*> fields_;
    QLabel* status_ = nullptr;
    QLabel* progress_ = nullptr;
    QComboBox* class_ = nullptr;
    QComboBox* region_ = nullptr;
    QCheckBox* longName_ = nullptr;
    QCheckBox* exact_ = nullptr;
    QPushButton* halt_ = nullptr;
    QPushButton* saveOlc_ = nullptr;
    QPushButton* saveWithIgc_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace tracora::app
