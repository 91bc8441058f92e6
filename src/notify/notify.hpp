// Notifications to the program that started a command-line request: one Unix-domain datagram
// per text, 4 bytes little-endian of identification (the session number, or the tick taken when
// the request was parsed) followed by the 8-bit text without a terminating NUL.
//
// Sending never waits for the listener: a listener that is gone, or whose queue is full, loses
// that one notification and Send() says so. A NotifySender may be shared between the main thread
// and a job thread. The texts sent and their pacing are in core/notify_texts.hpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/notify_texts.hpp"
#include "core/unique_fd.hpp"

namespace tracora {

struct AutomationRequest;

// Status codes of the notify channel (0 or a count on success).
inline constexpr int kNotifyNoSocket = -1;        // the socket could not be created
inline constexpr int kNotifyPathTooLong = -2;     // the path does not fit a socket address
inline constexpr int kNotifyNoListener = -3;      // nobody is bound to the path (any more)
inline constexpr int kNotifyListenerBusy = -4;    // the listener's queue is full: message lost
inline constexpr int kNotifyTooLarge = -5;        // the text does not fit one datagram
inline constexpr int kNotifySendFailed = -6;      // any other send error
inline constexpr int kNotifyBindFailed = -7;      // the listener could not bind its path
inline constexpr int kNotifyPathInUse = -8;       // a live listener, or not a socket, is there
inline constexpr int kNotifyFolderFailed = -9;    // the socket's folder could not be created
inline constexpr int kNotifyReceiveFailed = -10;  // receiving failed
inline constexpr int kNotifyMalformed = -11;      // a datagram shorter than its 4-byte header
inline constexpr int kNotifyNotOpen = -12;        // the object holds no socket

// One notification as the listener sees it.
struct NotifyMessage {
    std::uint32_t dwData = 0;
    std::string text;

    friend bool operator==(const NotifyMessage&, const NotifyMessage&) = default;
};

// The datagram for `text`: dwData as 4 bytes little-endian, then the text's bytes.
std::string EncodeNotifyDatagram(std::uint32_t dwData, std::string_view text);
// 0, or kNotifyMalformed when `datagram` is shorter than 4 bytes (`out` is then unchanged).
int DecodeNotifyDatagram(std::string_view datagram, NotifyMessage& out);

// Where a NOTIFY value points: a value with '/' is the socket's path, any other names
// `runtimeDir`/tracora/notify-<name>.sock (/tmp in place of an empty `runtimeDir`).
std::string NotifySocketPath(std::string_view name, std::string_view runtimeDir);

// The identification a request's notifications carry: the session number when one was given,
// else the tick taken when NOTIFY was parsed.
std::uint32_t NotifyDwData(const AutomationRequest& request);

class NotifySender {
public:
    // A sender without a target: Send() returns kNotifyNotOpen.
    NotifySender() = default;
    // Opens an unbound datagram socket for `socketPath`; OpenStatus() tells whether it worked.
    NotifySender(std::string socketPath, std::uint32_t dwData);
    // The request's target (its socket resolved at parse time); no target when it has none.
    static NotifySender ForRequest(const AutomationRequest& request);

    NotifySender(const NotifySender&) = delete;
    NotifySender& operator=(const NotifySender&) = delete;
    NotifySender(NotifySender&& other) noexcept;
    NotifySender& operator=(NotifySender&& other) noexcept;
    ~NotifySender();

    // 0 when the socket is open, else the reason (kNotifyNotOpen when there is no target).
    int OpenStatus() const { return openStatus_; }
    bool Active() const { return fd_.Valid(); }
    const std::string& SocketPath() const { return path_; }
    std::uint32_t DwData() const { return dwData_; }

    // Sends one notification without waiting: the number of bytes sent (text plus the
    // 4-byte header), or a negative status; a failed send loses only this text. Safe to call
    // from several threads at once (each call is one datagram).
    int Send(std::string_view text) const;

private:
    UniqueFd fd_;
    int openStatus_ = kNotifyNotOpen;
    std::string path_;
    std::uint32_t dwData_ = 0;
};

// A bound datagram socket that receives notifications: the counterpart for callers and tests.
class NotifyListener {
public:
    NotifyListener() = default;
    NotifyListener(const NotifyListener&) = delete;
    NotifyListener& operator=(const NotifyListener&) = delete;
    NotifyListener(NotifyListener&& other) noexcept;
    NotifyListener& operator=(NotifyListener&& other) noexcept;
    // Closes the socket and removes the socket file it created.
    ~NotifyListener();

    // Binds `path`. A missing folder is created (mode 0700); a socket file left behind by a
    // listener that is gone is removed first. A path held by a live listener, or a file that
    // is not a socket, is left alone (kNotifyPathInUse). 0 or a negative status.
    int Open(const std::string& path);
    void Close();

    bool IsOpen() const { return fd_.Valid(); }
    const std::string& Path() const { return path_; }
    // The descriptor for a poll() set (readable when a datagram waits), -1 when closed.
    int Fd() const { return fd_.Get(); }

    // Waits up to timeoutMs (0: only what is queued) for one datagram. 1 with `out` filled,
    // 0 when the time ran out, or a negative status (kNotifyMalformed consumes the datagram).
    int Receive(int timeoutMs, NotifyMessage& out);

private:
    UniqueFd fd_;
    std::string path_;
    // The socket file this listener created, so that Close() removes only that one.
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
};

}  // namespace tracora
