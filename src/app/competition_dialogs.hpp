// The competition desk's dialogs: "Competition Mode" (the mode, the pilot list, the window),
// "Set Competition Times", and "Save competition log", which ties the flight to a pilot before
// the competition output is written.
#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>

#include "core/app_state.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

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

}  // namespace tracora::app
