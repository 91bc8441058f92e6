// Sends one local file (usually a track log just saved) to an FTP server: the connection check,
// the login and the binary upload, each failure named by the step that failed and the error's
// name, with the server's last reply where the server refused.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tracora::remote {

inline constexpr const char* kFtpTitle = "Send track with FTP";
// At most this much of the server field is used.
inline constexpr std::size_t kFtpServerLength = 199;

struct FtpRequest {
    // "ftp.example.org", "ftp.example.org:2121", or either after "http://".
    std::string server;
    // The name on the server; empty: the local file's name.
    std::string remoteName;
    std::string user;
    std::string password;
    bool passive = true;
    std::filesystem::path localFile;
    // Each step gives up after this long without progress.
    int timeoutSeconds = 30;
};

// Where a server text leads: the web-style address the connection is checked with, and the
// host (with its port when the text gave one) the FTP session connects to.
struct FtpTarget {
    std::string url;   // "http://ftp.example.org:2121"
    std::string host;  // "ftp.example.org:2121"
};
FtpTarget FtpTargetOf(std::string_view server);

// "FUNCTION(): NAME" for a failed step, NAME being the error's symbolic name ("TIMEOUT",
// "CANNOT_CONNECT", "LOGIN_FAILURE", ...), "EXTENDED_ERROR" followed on the next line by the
// server's last reply when the server refused, or "Unknown error code (...)".
std::string FormatInternetError(std::string_view function, int curlCode,
                                std::string_view lastReply);

// Sends the file. 0 with `message` "File sent", or -1 with `message` saying why (title
// kFtpTitle): "Missing server name", an unreadable local file, or a failed step.
int SendFileWithFtp(const FtpRequest& request, std::string& message);

}  // namespace tracora::remote
