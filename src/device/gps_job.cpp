#include "device/gps_job.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>

#include "core/text_forms.hpp"
#include "device/io_status.hpp"
#include "device/usb_transport.hpp"

namespace tracora::device {

namespace {

constexpr int kOpenRetryPauseMs = 1000;
constexpr int kSettlePauseMs = 100;
constexpr int kBaudChangePauseMs = 200;
// Added to the per-byte write time so that a busy machine does not fail a short write.
constexpr int kWriteSlackMs = 500;

const char* const kGpsAccess = "GPS access";

// What a job says when memory runs out, by what it was filling.
const char* MemoryMessage(AccessFunction function) {
    switch (function) {
        case AccessFunction::kReadTrackLog:
            return "E201 Track log memory allocation";
        case AccessFunction::kReadWaypoints:
            return "E300 Waypoint memory allocation";
        default:
            return "Memory allocation error";
    }
}

// Why a port could not be opened or set up, in words, from the I/O status and the system's
// error number.
std::string OpenFailureReason(int status, int error) {
    if (status == kIoBusy) {
        return "in use by another program";
    }
    switch (error) {
        case ENOTTY:
            return "not a serial port (not a terminal device)";
        case EISDIR:
            return "a folder, not a serial port";
        case EACCES:
        case EPERM:
            return std::string(std::strerror(error)) +
                   " (the port's group, usually dialout, must include your user)";
        default:
            break;
    }
    if (error != 0) {
        return std::strerror(error);
    }
    return status == kIoNotFound ? "no such device" : "could not be opened";
}

// Whether another attempt can open the port: one in use may be released, a device that is
// missing or refused may appear when the instrument is plugged in (and gets its group a moment
// later). A path that is a folder, a regular file or another device that is not a terminal stays
// what it is.
bool OpenRetryCanHelp(int status, int error) {
    if (status == kIoBusy || status == kIoNotFound) {
        return true;
    }
    switch (error) {
        case ENOTTY:
        case EISDIR:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            return false;
        default:
            return true;
    }
}

}  // namespace

// ---------------------------------------------------------------- the job's tools

int GpsAccessJob::OpenComPort(int baud, bool flowControl) {
    const std::string title = "Connecting to GPS on " + portName;
    int status = kIoNotFound;
    int error = 0;
    for (int left = openAttempts; left > 0; --left) {
        if (AbortRequested()) {
            Status("Transfer aborted");
            return -1;
        }
        if (portPath.empty()) {
            Error("Could not open serial port (sure it's the right one ?)\n" + portName +
                      ": not a port name (COM and a number, or a device path)",
                  title);
            return -1;
        }
        status = transport ? transport->Open(portPath) : kIoNotFound;
        if (status == 0) {
            if (!Pause(kSettlePauseMs)) {
                transport->Close();
                Status("Transfer aborted");
                return -1;
            }
            if (transport->Configure({baud, flowControl}) != 0 || transport->Purge() != 0) {
                error = transport->LastErrno();
                transport->Close();
                Error("Error while initialising port\n" + PortDescription() + ": " +
                          OpenFailureReason(kIoError, error),
                      title);
                return -1;
            }
            baud_ = baud;
            if (!Pause(kSettlePauseMs)) {
                transport->Close();
                Status("Transfer aborted");
                return -1;
            }
            return 0;
        }
        error = transport ? transport->LastErrno() : 0;
        if (!OpenRetryCanHelp(status, error)) {
            break;
        }
        Status(FormatCount("Connecting to GPS (%)", left));
        if (!Pause(kOpenRetryPauseMs)) {
            Status("Transfer aborted");
            return -1;
        }
    }
    Error("Could not open serial port (sure it's the right one ?)\n" + PortDescription() + ": " +
              OpenFailureReason(status, error),
          title);
    return -1;
}

std::string GpsAccessJob::PortDescription() const {
    if (portPath.empty() || portPath == portName) {
        return portName;
    }
    return portName + " (" + portPath + ")";
}

int GpsAccessJob::DiscardStaleInput(int quietMs, int maxMs) {
    if (!transport) {
        return 0;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto limit = start + std::chrono::milliseconds(std::max(maxMs, 0));
    std::array<std::uint8_t, 512> block{};
    bool told = false;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= limit) {
            break;
        }
        const int wait = static_cast<int>(std::min<long long>(
            quietMs,
            std::chrono::duration_cast<std::chrono::milliseconds>(limit - now).count() + 1));
        const int got = transport->Read(block, wait, &Wake());
        if (got == kIoAborted || AbortRequested()) {
            Status("Transfer aborted");
            return -1;
        }
        if (got <= 0) {
            break;  // quiet, or a failure the exchange that follows reports
        }
        Trace().Hex(std::span<const std::uint8_t>(block.data(), static_cast<std::size_t>(got)));
        if (!told) {
            Status("Waiting for the instrument to finish sending");
            told = true;
        }
    }
    transport->Purge();
    return 0;
}

int GpsAccessJob::DiscardInput() {
    return transport && transport->Purge() == 0 ? 0 : -1;
}

int GpsAccessJob::SetComBaud(int baud) {
    const std::string title = "Initialising COM port";
    if (!transport || !transport->IsOpen()) {
        Error("Error getting COM port state", title);
        return -1;
    }
    // Families with flow control keep it at every speed.
    if (transport->Configure({baud, keepsXonXoff_}) != 0) {
        Error("Error setting COM port state", title);
        return -1;
    }
    if (transport->Purge() != 0) {
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
    Trace().Hex(bytes);
    if (!transport)
        return -1;
    return transport->Write(bytes, WriteTimeoutMs(bytes.size()), &Wake()) >= 0 ? 0 : -1;
}

int GpsAccessJob::WriteText(std::string_view text) {
    Trace().Text(text);
    if (!transport)
        return -1;
    return transport->Write(text, WriteTimeoutMs(text.size()), &Wake()) >= 0 ? 0 : -1;
}

int GpsAccessJob::ReadBytes(std::span<std::uint8_t> buffer, int timeoutMs) {
    if (AbortRequested())
        return kIoAborted;
    if (!transport)
        return kIoNotOpen;
    return transport->Read(buffer, timeoutMs, &Wake());
}

void GpsAccessJob::CloseTransport() {
    if (transport)
        transport->Close();
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
    job->airspaces = std::move(start.airspaces);
    job->flights.selected = start.selectedFlights;
    job->competitionMode = start.competitionMode;
    job->compSpecial = start.compSpecial;
    job->usbCheckWaypoints = start.usbCheckWaypoints;
    job->sendLogSeconds = start.sendLogSeconds;
    job->chooseFlights = std::move(start.chooseFlights);
    job->chooseEntry = std::move(start.chooseEntry);
    job->pilotName = std::move(start.pilotName);
    job->pilotData = std::move(start.pilotData);
    job->powerOff = start.powerOff;
    job->openAttempts = openAttempts_;
    job->Attach(sink, trace_);
    const ProtocolLink& link = table_.links[static_cast<std::size_t>(p)];
    job->keepsXonXoff_ = link.xonXoff;
    job->transport = transports_(link.transport);
    if (start.protocol != GpsProtocol::kGarminUsb) {
        job->portName = portName_.substr(0, 80);
        job->portPath = ResolvePortName(job->portName, portTable_);
    } else {
        // A USB unit is chosen by a bus address in the port setting; a serial port name there
        // means none, and the first unit found is taken.
        job->portPath = UsbBusAddress(portName_);
        if (!job->portPath.empty())
            job->portName = portName_.substr(0, 80);
    }
    if (!job->WakeValid()) {
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
    // A routine that throws must not end the process: the job fails with a message, and the
    // completion routine and the release run as for any other failure.
    try {
        job->result = routine(*job);
    } catch (const std::bad_alloc&) {
        job->Error(MemoryMessage(job->function), kGpsAccess);
        job->result = -1;
    } catch (const std::exception& error) {
        job->Error(std::string("Unexpected error: ") + error.what(), kGpsAccess);
        job->result = -1;
    } catch (...) {
        job->Error("Unexpected error", kGpsAccess);
        job->result = -1;
    }
    if (job->completion) {
        try {
            job->completion(*job);
        } catch (const std::exception& error) {
            job->Error(std::string("Unexpected error: ") + error.what(), kGpsAccess);
        } catch (...) {
            job->Error("Unexpected error", kGpsAccess);
        }
    }
    // Release: the transport closes with the job.
    job->CloseTransport();
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
    current_->RequestAbort();
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
        if (current_)
            current_->RequestAbort();
    }
    Join();
}

}  // namespace tracora::device
