#include "device/gps_job.hpp"

#include <system_error>

#include "core/text_forms.hpp"
#include "device/io_status.hpp"

namespace tracora::device {

namespace {

constexpr int kOpenRetryPauseMs = 1000;
constexpr int kSettlePauseMs = 100;
constexpr int kBaudChangePauseMs = 200;
// Added to the per-byte write time so that a busy machine does not fail a short write.
constexpr int kWriteSlackMs = 500;

const char* const kGpsAccess = "GPS access";

}  // namespace

// ---------------------------------------------------------------- the job's tools

bool GpsAccessJob::Pause(int milliseconds) {
    if (AbortRequested())
        return false;
    return !wake_.Wait(milliseconds) && !AbortRequested();
}

int GpsAccessJob::OpenComPort(int baud, bool flowControl) {
    const std::string title = "Connecting to GPS on " + portName;
    bool everOpened = false;
    for (int left = openAttempts; left > 0; --left) {
        if (AbortRequested()) {
            Status("Transfer aborted");
            return -1;
        }
        if (!portPath.empty() && port.Open(portPath) == 0) {
            everOpened = true;
            if (!Pause(kSettlePauseMs)) {
                port.Close();
                Status("Transfer aborted");
                return -1;
            }
            if (port.Configure(baud, flowControl) != 0 || port.Purge() != 0) {
                port.Close();
                break;
            }
            baud_ = baud;
            if (!Pause(kSettlePauseMs)) {
                port.Close();
                Status("Transfer aborted");
                return -1;
            }
            return 0;
        }
        Status(FormatCount("Connecting to GPS (%)", left));
        if (!Pause(kOpenRetryPauseMs)) {
            Status("Transfer aborted");
            return -1;
        }
    }
    Error(everOpened ? "Error while initialising port"
                     : "Could not open serial port (sure it's the right one ?)",
          title);
    return -1;
}

int GpsAccessJob::SetComBaud(int baud) {
    const std::string title = "Initialising COM port";
    if (!port.IsOpen()) {
        Error("Error getting COM port state", title);
        return -1;
    }
    // These families keep XON/XOFF flow control at every speed.
    const bool flowControl =
        protocol == GpsProtocol::kFlytec || protocol == GpsProtocol::kXcTrainer ||
        protocol == GpsProtocol::kXcTrainerMxp || protocol == GpsProtocol::kReadAllFlytec;
    if (port.Configure(baud, flowControl) != 0) {
        Error("Error setting COM port state", title);
        return -1;
    }
    if (port.Purge() != 0) {
        Error("Error purging COM port buffers", title);
        return -1;
    }
    baud_ = baud;
    return Pause(kBaudChangePauseMs) ? 0 : -1;
}

int GpsAccessJob::WriteTimeoutMs(std::size_t bytes) const {
    const std::size_t perByte = baud_ == 4800 ? 3 : 2;
    return static_cast<int>(std::min<std::size_t>(bytes * perByte, 600000)) + kWriteSlackMs;
}

int GpsAccessJob::WriteBytes(std::span<const std::uint8_t> bytes) {
    trace_->Hex(bytes);
    return port.Write(bytes, WriteTimeoutMs(bytes.size()), &wake_) >= 0 ? 0 : -1;
}

int GpsAccessJob::WriteText(std::string_view text) {
    trace_->Text(text);
    return port.Write(text, WriteTimeoutMs(text.size()), &wake_) >= 0 ? 0 : -1;
}

int GpsAccessJob::ReadBytes(std::span<std::uint8_t> buffer, int timeoutMs) {
    if (AbortRequested())
        return kIoAborted;
    return port.Read(buffer, timeoutMs, &wake_);
}

void GpsAccessJob::Error(const std::string& text, const std::string& title) {
    sink_->JobError(text, title);
}

void GpsAccessJob::Status(const std::string& text) {
    sink_->JobStatus(text);
}

void GpsAccessJob::Status2(const std::string& text) {
    sink_->JobStatus2(text);
}

void GpsAccessJob::Notify(const std::string& text) {
    if (notify)
        notify(text);
}

// ---------------------------------------------------------------- the layer

JobLayer::JobLayer(const DispatchTable& table, DebugTrace& trace, JobSink& defaultSink,
                   std::atomic<bool>& busyMark)
    : table_(table), trace_(trace), defaultSink_(defaultSink), busyMark_(busyMark) {}

JobLayer::~JobLayer() {
    WaitForJobEnd();
}

bool JobLayer::Supported(AccessFunction function, GpsProtocol protocol) const {
    const int f = static_cast<int>(function);
    const int p = ProtocolNumber(protocol);
    if (f < 0 || f >= kAccessFunctionCount || p < 0 || p >= kGpsProtocolCount)
        return false;
    return table_[static_cast<std::size_t>(f)][static_cast<std::size_t>(p)] != nullptr;
}

int JobLayer::StartGpsJob(JobStart start) {
    JobSink& sink = start.sink != nullptr ? *start.sink : defaultSink_;
    const int f = static_cast<int>(start.function);
    const int p = ProtocolNumber(start.protocol);
    if (f < 0 || f >= kAccessFunctionCount) {
        sink.JobError("Bad access type", kGpsAccess);
        return -1;
    }
    if (p < 0 || p >= kGpsProtocolCount) {
        sink.JobError("Bad protocol type", kGpsAccess);
        return -1;
    }
    const JobRoutine routine = table_[static_cast<std::size_t>(f)][static_cast<std::size_t>(p)];
    if (routine == nullptr) {
        sink.JobError("Unsupported access function", kGpsAccess);
        return -1;
    }

    std::lock_guard threadLock(threadMutex_);
    std::lock_guard lock(mutex_);
    if (current_) {
        sink.JobError("Port/USB is being used", kGpsAccess);
        return -1;
    }
    // The previous worker has released its job; it only has its last steps to finish.
    if (worker_.joinable())
        worker_.join();

    auto job = std::make_unique<GpsAccessJob>();
    trace_.Clear();
    job->function = start.function;
    job->protocol = start.protocol;
    job->parameter = start.parameter;
    job->completion = std::move(start.completion);
    job->notify = std::move(start.notify);
    job->waypoints = std::move(start.waypoints);
    job->flights.selected = start.selectedFlights;
    job->competitionMode = start.competitionMode;
    job->compSpecial = start.compSpecial;
    job->sendLogSeconds = start.sendLogSeconds;
    job->chooseFlights = std::move(start.chooseFlights);
    job->openAttempts = openAttempts_;
    job->sink_ = &sink;
    job->trace_ = &trace_;
    if (start.protocol != GpsProtocol::kGarminUsb) {
        job->portName = portName_.substr(0, 80);
        job->portPath = ResolvePortName(job->portName, portTable_);
    }
    if (!job->wake_.Valid()) {
        sink.JobError("Creating wait event", kGpsAccess);
        return -1;
    }

    GpsAccessJob* raw = job.get();
    current_ = std::move(job);
    busyMark_ = true;
    try {
        worker_ = std::thread(&JobLayer::RunWorker, this, raw, routine);
    } catch (const std::system_error&) {
        current_.reset();
        busyMark_ = false;
        sink.JobError("Could not create GPS access thread", "API32 call");
        return -1;
    }
    return 0;
}

void JobLayer::RunWorker(GpsAccessJob* job, JobRoutine routine) {
    job->result = routine(*job);
    if (job->completion)
        job->completion(*job);
    // Release: the port closes with the job.
    job->port.Close();
    {
        std::lock_guard lock(mutex_);
        current_.reset();
    }
    busyMark_ = false;
}

int JobLayer::AbortGpsJob() {
    std::lock_guard lock(mutex_);
    if (!current_) {
        defaultSink_.JobError("Port not in use", "Abort GPS access");
        return -1;
    }
    current_->Status("Aborting transfer");
    current_->abort_ = true;
    current_->wake_.Set();
    return 0;
}

bool JobLayer::Running() const {
    std::lock_guard lock(mutex_);
    return current_ != nullptr;
}

void JobLayer::Join() {
    std::lock_guard threadLock(threadMutex_);
    if (worker_.joinable())
        worker_.join();
}

void JobLayer::WaitForJobEnd() {
    {
        std::lock_guard lock(mutex_);
        if (current_) {
            current_->abort_ = true;
            current_->wake_.Set();
        }
    }
    Join();
}

}  // namespace tracora::device
