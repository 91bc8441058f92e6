// Device jobs: one conversation with an instrument at a time, on a worker thread of its own,
// with status and progress reports, an abort that ends every wait at once, and a completion
// routine that hands the result to the store. A job talks through a transport (serial, USB,
// HID or a test's fake) that the layer makes from the family's transport kind.
#pragma once

#include <array>
#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/airspace.hpp"
#include "core/debug_trace.hpp"
#include "core/gps_types.hpp"
#include "core/track_store.hpp"
#include "device/job_context.hpp"
#include "device/port_names.hpp"
#include "device/transport.hpp"

namespace tracora::device {

// What a job does with the instrument.
enum class AccessFunction : int {
    kReadWaypoints = 0,
    kReadTrackLog = 1,
    kReadProductData = 2,
    kWriteWaypoints = 3,
    kEraseTrackLogs = 4,
    kWritePilotData = 5,
    kWriteWaypointsAsTrack = 6,
    kWriteAirspace = 7,
    kReadAirspace = 8,
    kReadFlightList = 9,
};
inline constexpr int kAccessFunctionCount = 10;

// The instrument's flight list: start times (receiver seconds, 0 = empty slot) and durations
// of slots 0-254, and the slots chosen for download.
struct FlightList {
    static constexpr int kSlots = 255;
    std::array<std::uint32_t, kSlots> start{};
    std::array<std::uint32_t, kSlots> duration{};
    std::bitset<256> selected;
};

// Asks the user which flights of `list` to download (a dialog or a terminal question) and sets
// them in `chosen`. False when the user cancelled.
using FlightChooser = std::function<bool(const FlightList& list, std::bitset<256>& chosen)>;

class GpsAccessJob;

// Asks the user to choose one line of `entries` (a list dialog with `title`): its index, or -1
// when the user cancelled. Runs on the worker and waits for the answer; the wait must end when
// `job` is aborted (then -1).
using EntryChooser = std::function<int(const JobContext& job, const std::string& title,
                                       const std::vector<std::string>& entries)>;

// A pilot-data upload: which of the instrument's set commands, and its values.
struct PilotDataUpload {
    enum class Mode { kPilotData, kAltitudeAlarm, kIds };
    Mode mode = Mode::kIds;
    std::string pilotName;
    std::string competitionNumber;
    std::string gliderBrand;
    std::string gliderModel;
    int altitudeMetres = 0;
    int competitionId = -1;  // -1 = none
    int civlId = -1;
    // Recorders whose fields are read first (the DSX): the new values of fields 1-5 and the
    // telephone number; an empty value leaves its field as it is. `edit`, when set, is asked
    // on the worker with the values read (filled in) and may change them; false cancels. Its
    // wait for the user must end when `job` is aborted (then false).
    std::array<std::string, 6> fields;
    std::function<bool(const JobContext& job, std::array<std::string, 6>& values)> edit;
};
// A protocol's worker routine: talks to the instrument and returns the job's result (0 or a
// count on success, negative on failure).
using JobRoutine = int (*)(GpsAccessJob& job);

// How the jobs of one protocol reach the instrument.
struct ProtocolLink {
    TransportKind transport = TransportKind::kSerial;
    // Whether the link keeps XON/XOFF flow control when a routine changes its speed.
    bool xonXoff = false;
};

// Worker routines by access function and protocol (an empty cell is an unsupported pair), and
// the link of each protocol.
struct DispatchTable {
    using Row = std::array<JobRoutine, kGpsProtocolCount>;
    std::array<Row, kAccessFunctionCount> routines{};
    std::array<ProtocolLink, kGpsProtocolCount> links{};

    Row& operator[](std::size_t function) { return routines[function]; }
    const Row& operator[](std::size_t function) const { return routines[function]; }
};

// One device job. The layer owns it from the start until the worker releases it; the protocol
// routine fills the result fields.
class GpsAccessJob : public JobContext {
public:
    AccessFunction function = AccessFunction::kReadTrackLog;
    GpsProtocol protocol = GpsProtocol::kGarmin;
    int parameter = 0;
    std::string portName;  // as configured: "COM3" or a device path
    std::string portPath;  // the device it resolves to
    int openAttempts = 30;
    // Competition mode: a track log download first scans the waypoints for the pilot IDs;
    // with compSpecial the competition ID is a waypoint named '-' and digits.
    bool competitionMode = false;
    bool compSpecial = false;
    // Competition mode over USB: whether the pilot IDs are looked for in the waypoints first
    // (the window's option; on unless the user turned it off).
    bool usbCheckWaypoints = true;
    // SENDLOG: seconds of track time between position notifications, 0 = off.
    int sendLogSeconds = 0;
    // Asks for the flights when none were selected beforehand; empty when nobody can be asked
    // (a run without a terminal), and the protocol then takes the newest flight.
    FlightChooser chooseFlights;
    // Asks for the one flight of a recorder whose list is not a flight list of slots (the
    // DSX); empty when nobody can be asked, and the protocol then takes the newest flight.
    EntryChooser chooseEntry;
    // Pilot data uploads: the name to store in the instrument.
    std::string pilotName;
    PilotDataUpload pilotData;
    // Switch the instrument off after a successful download or upload (where it can be).
    bool powerOff = false;

    // Results.
    int result = 0;
    FlightList flights;
    DownloadedTrackLog track;           // track log downloads
    std::vector<Waypoint> waypoints;    // waypoint uploads (in) and downloads (out)
    std::vector<CtrArea> airspaces;     // airspace uploads (in) and downloads (out)
    std::string productName;            // at most 16 characters
    std::string instrumentDescription;  // at most 80
    std::string productText;            // at most 53
    // The product answer's fields where an instrument names them (a LogIt: model, user name,
    // serial number, software), for the product data dialog.
    std::vector<std::string> productFields;
    // The pilot IDs a competition-mode scan found, -1 = none.
    int competitionId = -1;
    int civlId = -1;

    // The end of the job, on the worker thread, after the result is set.
    std::function<void(GpsAccessJob&)> completion;

    // What the job talks through; made by the layer for the protocol's transport kind, opened
    // by OpenComPort.
    std::unique_ptr<Transport> transport;

    // Opens the configured port with the given line settings, retrying once a second while a
    // retry can help (a port in use, a device not plugged in yet); see the .cpp for the
    // messages, which carry the system's reason. 0 or -1 (the job has reported why).
    int OpenComPort(int baud, bool flowControl);
    // Throws away what an instrument still sends of an earlier conversation (after an abort it
    // goes on with the rest of the flight for as long as that takes): reads until the line has
    // been quiet for quietMs, for at most maxMs, then purges. Call it before a job's first
    // request. 0, or -1 when the job was aborted meanwhile ("Transfer aborted" shown); a line
    // that never goes quiet is left to the exchange that follows.
    int DiscardStaleInput(int quietMs, int maxMs);
    // Purges what was received and not read yet. 0 or -1.
    int DiscardInput();
    // Changes the line speed mid-conversation. 0 or -1 (reported).
    int SetComBaud(int baud);
    // Writes to the transport and to the debug trace. 0 or -1.
    int WriteBytes(std::span<const std::uint8_t> bytes);
    int WriteText(std::string_view text);
    // Reads what arrives within timeoutMs: a count, 0 on silence, or a negative I/O status
    // (kIoAborted when the job is aborted, kIoLinkLost when the cable is gone).
    int ReadBytes(std::span<std::uint8_t> buffer, int timeoutMs);
    // Closes the transport; safe when it is closed or absent.
    void CloseTransport();

private:
    friend class JobLayer;
    int WriteTimeoutMs(std::size_t bytes) const;
    // The port as messages name it: "COM3 (/dev/ttyUSB0)", or the device path alone.
    std::string PortDescription() const;

    int baud_ = 0;
    bool keepsXonXoff_ = false;
};

// What a command gives to start a job.
struct JobStart {
    AccessFunction function = AccessFunction::kReadTrackLog;
    GpsProtocol protocol = GpsProtocol::kGarmin;
    int parameter = 0;
    std::function<void(GpsAccessJob&)> completion;
    std::function<void(const std::string&)> notify;
    std::vector<Waypoint> waypoints;
    std::vector<CtrArea> airspaces;
    std::bitset<256> selectedFlights;
    bool competitionMode = false;
    bool compSpecial = false;
    bool usbCheckWaypoints = true;
    int sendLogSeconds = 0;
    FlightChooser chooseFlights;
    EntryChooser chooseEntry;
    std::string pilotName;
    PilotDataUpload pilotData;
    bool powerOff = false;
    JobSink* sink = nullptr;  // the layer's default sink when absent
};

// The process-wide device layer: at most one job at a time.
class JobLayer {
public:
    // `busyMark` is cleared when a job's worker has ended.
    JobLayer(const DispatchTable& table, DebugTrace& trace, JobSink& defaultSink,
             std::atomic<bool>& busyMark);
    JobLayer(const JobLayer&) = delete;
    JobLayer& operator=(const JobLayer&) = delete;
    // Aborts a running job and waits for its worker.
    ~JobLayer();

    // The port jobs use ("COM3" or a device path) and where COM names lead.
    void SetPortName(std::string name) { portName_ = std::move(name); }
    const std::string& PortName() const { return portName_; }
    void SetPortTable(PortTable table) { portTable_ = std::move(table); }
    // Open attempts of the next jobs: the command line's TIMEOUT when positive, else 30.
    void SetOpenAttempts(int attempts) { openAttempts_ = attempts > 0 ? attempts : 30; }

    // What jobs talk through; the system's back ends unless a test gives its own.
    void SetTransportFactory(TransportFactory factory) { transports_ = factory; }

    // Starts a job. 0, or -1 after reporting why ("Bad access type", "Bad protocol type",
    // "Unsupported access function", "Port/USB is being used", ...). Sets the busy mark on
    // success; the worker clears it when the job has ended.
    int StartGpsJob(JobStart start);
    // Asks the running job to stop. 0, or -1 with "Port not in use".
    int AbortGpsJob();
    // Whether a job is current.
    bool Running() const;
    // At exit: aborts the running job and joins its worker, so that nothing the worker uses
    // is freed under it.
    void WaitForJobEnd();
    // Joins a worker that has finished (or waits for the current one to finish) without
    // aborting it. For callers that wait for a result.
    void Join();

    bool Supported(AccessFunction function, GpsProtocol protocol) const;

private:
    void RunWorker(GpsAccessJob* job, JobRoutine routine);

    const DispatchTable& table_;
    DebugTrace& trace_;
    JobSink& defaultSink_;
    std::atomic<bool>& busyMark_;
    std::string portName_ = "COM1";
    PortTable portTable_;
    int openAttempts_ = 30;
    TransportFactory transports_ = MakeSystemTransport;

    mutable std::mutex mutex_;  // guards current_
    std::unique_ptr<GpsAccessJob> current_;
    std::mutex threadMutex_;  // guards worker_
    std::thread worker_;
};

}  // namespace tracora::device
