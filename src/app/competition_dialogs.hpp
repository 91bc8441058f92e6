// The competition desk's dialogs: "Competition Mode" (the mode, the pilot list, the window),
// "Set Competition Times", and "Save competition log", which ties the flight to a pilot before
// the competition output is written.
#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "competition/pilot_id_upload.hpp"
#include "core/app_state.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace tracora::app {

class QtHost;

// "2014-07-05  10:11:12", or "No start time" / "No stop time" (`none`) for 0.
QString CompetitionTimeText(std::uint32_t time, const char* none);
// Reads "YYYY-MM-DD  HH:MM:SS" (any blanks between date and time): the receiver seconds, 0 for
// an empty text, nothing for one that cannot be read.
std::optional<std::uint32_t> ParseCompetitionTime(const std::string& text);

class CompetitionTimesDialog : public QDialog {
    Q_OBJECT
public:
    CompetitionTimesDialog(Settings& settings, QtHost& host, QWidget* parent = nullptr);
    QLineEdit* StartField() const { return start_; }
    QLineEdit* StopField() const { return stop_; }
    void accept() override;

private:
    Settings& settings_;
    QtHost& host_;
    QLineEdit* start_ = nullptr;
    QLineEdit* stop_ = nullptr;
};

class CompetitionModeDialog : public QDialog {
    Q_OBJECT
public:
    CompetitionModeDialog(AppState& state, QtHost& host, QWidget* parent = nullptr);
    QCheckBox* ModeBox() const { return mode_; }
    QLabel* PilotsLabel() const { return pilots_; }
    QLabel* WindowLabel() const { return window_; }
    void ReadPilotList();
    void SetTimes();
    void accept() override;

private:
    void ShowValues();

    AppState& state_;
    QtHost& host_;
    QCheckBox* mode_ = nullptr;
    QLabel* pilots_ = nullptr;
    QLabel* window_ = nullptr;
};

class CompetitionPilotDialog : public QDialog {
    Q_OBJECT
public:
    CompetitionPilotDialog(AppState& state, QtHost& host, QWidget* parent = nullptr);
    QLineEdit* CompIdField() const { return compId_; }
    QLineEdit* CivlIdField() const { return civlId_; }
    QLineEdit* NameField() const { return name_; }
    QComboBox* PilotBox() const { return pilots_; }
    QLineEdit* FolderField() const { return folder_; }
    void BrowsePilotList();
    void BrowseFolder();
    void accept() override;

private:
    void FillPilots();
    void ShowPilot(int index);
    void CompIdTyped(const QString& text);
    void CivlIdTyped(const QString& text);

    AppState& state_;
    QtHost& host_;
    QLineEdit* compId_ = nullptr;
    QLineEdit* civlId_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* listFile_ = nullptr;
    QComboBox* pilots_ = nullptr;
    QLineEdit* folder_ = nullptr;
    bool filling_ = false;
};

// "No pilot ID": the IDs, the pilot and the instrument of `upload`, asked before they are
// written to an instrument that carried none. True for OK.
bool RunNoPilotIdDialog(QWidget* parent, const competition::PilotIdUpload& upload);

// "Select pilot": the IDs a waypoint upload in competition mode adds, typed or taken from the
// pilot list. `instrumentNames`: one or two names for the title.
class UploadPilotDialog : public QDialog {
    Q_OBJECT
public:
    UploadPilotDialog(AppState& state, QtHost& host,
                      const std::vector<std::string>& instrumentNames, QWidget* parent = nullptr);
    QLineEdit* CompIdField() const { return compId_; }
    QLineEdit* CivlIdField() const { return civlId_; }
    QListWidget* PilotLines() const { return pilots_; }
    QLabel* ListHeading() const { return heading_; }
    QCheckBox* NnnBox() const { return nnn_; }
    void BrowsePilotList();
    // After OK: the pilot the upload is for (no name when no listed pilot was chosen).
    const CurrentPilot& Chosen() const { return chosen_; }
    bool WithNnn() const { return withNnn_; }
    void accept() override;

private:
    void FillPilots();
    void ShowPilot(int row);

    AppState& state_;
    QtHost& host_;
    QLineEdit* compId_ = nullptr;
    QLineEdit* civlId_ = nullptr;
    QLabel* listFile_ = nullptr;
    QLabel* heading_ = nullptr;
    QListWidget* pilots_ = nullptr;
    QCheckBox* nnn_ = nullptr;
    CurrentPilot chosen_;
    bool withNnn_ = false;
};

}  // namespace tracora::app
