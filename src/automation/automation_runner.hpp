// Carries out a command-line request: starts its device job, writes its output when the job
// has ended, reports to the caller's notify socket and decides the exit code.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "automation/automation_parser.hpp"
#include "automation/download_controller.hpp"
#include "automation/program_core.hpp"
#include "core/app_state.hpp"
#include "core/host.hpp"
#include "device/gps_job.hpp"
#include "documents/trip_record.hpp"
#include "formats/format_record.hpp"
#include "formats/igc/igc_names.hpp"
#include "notify/notify.hpp"

namespace tracora::automation {

class AutomationRunner {
public:
    // `state.automation` holds the request.
    AutomationRunner(AppState& state, Host& host, device::JobLayer& jobs);
    // Works through the program's own core and its download controller.
    explicit AutomationRunner(ProgramCore& core);

    // Starts what the request asks for. 0 when the program goes on (a job runs, or the request
    // is done and the program stays open); -1 when the program must end now.
    int Run();

    // The end-of-job message: saves the output of a successful download and reports.
    // True when the program closes.
    bool Complete(bool success);

    // Whether a job of the request is still to end.
    bool Waiting() const { return waiting_; }

    // 1 when a device job (or the request's own work) failed, else 0.
    int ExitCode() const { return state_.jobFailed ? 1 : 0; }

    void NotifyText(std::string_view text) const;

    // How a track download asks for flights when the command line named none (a terminal
    // question); without one the newest flight is taken.
    void SetFlightChooser(device::FlightChooser chooser) { chooser_ = std::move(chooser); }

    // The UTC clock (receiver seconds) the competition output names its files by; the system
    // clock unless a caller sets one.
    void SetClock(std::function<std::uint32_t()> clock) { clock_ = std::move(clock); }

private:
    int StartTrackDownload();
    int StartWaypointDownload();
    // WR_WPT, WR_WPT2: the file's waypoints (and the pilot ID waypoints) uploaded.
    int StartWaypointUpload();
    // WR_CTR: every airspace of the OpenAir file uploaded.
    int StartAirspaceUpload();
    // A job that only reports (uploads, the flight list, the user name).
    int StartReportingJob(device::AccessFunction function, GpsActionFamily family);
    // The end of a job that only reports: a failure marks the run failed, then the job's end
    // is posted as for every job.
    std::function<void(device::GpsAccessJob&)> ReportingCompletion();
    // Maps the request's GPS type to the job of `family` and has `start` start it; 0 or -1
    // (Run's rule).
    int StartJob(GpsActionFamily family, const std::string& refusalTitle,
                 const std::string& refusal,
                 const std::function<StartOutcome(device::JobStart)>& start);
    int Fail(const std::string& title, const std::string& text);
    int SaveOutput();
    // COMP_LOG: the command line's competition options over the settings file's.
    void TakeCompetitionSettings();
    // The competition output of the downloaded flight for the request's (or the instrument's)
    // pilot. 0 or -1 (reported).
    int SaveCompetitionOutput();
    int SaveRawIgcLog();
    int SaveEncodedIgcLog();
    // Writes IGC text under the request's name, or under the first free flight number when
    // the request names a folder. 0 or -1 (reported).
    int SaveIgcText(const std::string& text, const CalendarTime& date, igc::IgcNameKind kind,
                    const std::string& serial);
    int ReadLogFile();
    // RD_WPT, RD_GEO_WPT: the downloaded waypoints in the request's file and format.
    int SaveWaypointFile(const formats::FormatRecord& format);
    int SaveKmlLog();
    // FLYBOOK: the Flybook document of the flights read, written to the request's file.
    int SaveFlybookFile();
    // CHKKML: every track of the file read and its hash checked; a bad file fails the run.
    int CheckKmlFile();
    int ConvertIgcToKml();
    // /DAT2KML: NAME.dat read as a position log, its trip document written as NAME.kml.
    int ConvertDatToKml();
    int WriteKml(std::span<const TrackPoint> points, const kml::GoogleEarthOptions& options,
                 const std::string& path);
    // Writes a file the request names: OVERWRITE replaces, otherwise only a new file is
    // created or the user agrees to replace it. 0 or -1 (reported).
    int WriteRequestedFile(const std::string& path, std::string_view content);
    void FileError(const std::string& title, const std::string& text);

    AppState& state_;
    Host& host_;
    device::JobLayer& jobs_;
    std::optional<DownloadController> ownDownloads_;
    DownloadController& downloads_;
    NotifySender notify_;
    bool waiting_ = false;
    device::FlightChooser chooser_;
    std::function<std::uint32_t()> clock_;
};

}  // namespace tracora::automation
