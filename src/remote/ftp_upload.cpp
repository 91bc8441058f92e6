#include "remote/ftp_upload.hpp"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace tracora::remote {

namespace {

constexpr std::string_view kWebPrefix = "http://";

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

CurlHandle NewHandle() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return CurlHandle(curl_easy_init());
}

// Keeps the last line the server sent on the control connection.
int KeepLastReply(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
    if (type != CURLINFO_HEADER_IN)
        return 0;
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (!line.empty())
        *static_cast<std::string*>(user) = line;
    return 0;
}

const char* ErrorName(int code) {
    switch (static_cast<CURLcode>(code)) {
        case CURLE_OPERATION_TIMEDOUT:
            return "TIMEOUT";
        case CURLE_FAILED_INIT:
            return "INTERNAL_ERROR";
        case CURLE_OUT_OF_MEMORY:
            return "OUT_OF_HANDLES";
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "INVALID_URL";
        case CURLE_COULDNT_RESOLVE_HOST:
            return "NAME_NOT_RESOLVED";
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "PROXY_SERVER_UNREACHABLE";
        case CURLE_COULDNT_CONNECT:
            return "CANNOT_CONNECT";
        case CURLE_LOGIN_DENIED:
            return "LOGIN_FAILURE";
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            return "CONNECTION_ABORTED";
        case CURLE_PARTIAL_FILE:
            return "CONNECTION_RESET";
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_CANT_GET_HOST:
            return "ERROR_FTP_NO_PASSIVE_MODE";
        case CURLE_FTP_PORT_FAILED:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_ACCEPT_TIMEOUT:
            return "ERROR_FTP_DROPPED";
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_UPLOAD_FAILED:
        case CURLE_QUOTE_ERROR:
        case CURLE_FTP_WEIRD_SERVER_REPLY:
        case CURLE_FTP_COULDNT_SET_TYPE:
        case CURLE_REMOTE_DISK_FULL:
            return "EXTENDED_ERROR";
        default:
            return nullptr;
    }
}

// The remote name as a URL path: every segment percent-encoded, the slashes kept.
std::string EncodedPath(CURL* handle, std::string_view name) {
    std::string path;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = name.find('/', start);
        const std::string_view segment =
            name.substr(start, slash == std::string_view::npos ? name.npos : slash - start);
        char* escaped = curl_easy_escape(handle, segment.data(), static_cast<int>(segment.size()));
        if (escaped != nullptr) {
            path += escaped;
            curl_free(escaped);
        }
        if (slash == std::string_view::npos)
            return path;
        path += '/';
        start = slash + 1;
    }
}

}  // namespace

FtpTarget FtpTargetOf(std::string_view server) {
    server = server.substr(0, kFtpServerLength);
    FtpTarget target;
    if (server.size() >= kWebPrefix.size() && server.substr(0, kWebPrefix.size()) == kWebPrefix) {
        target.url = std::string(server);
        target.host = std::string(server.substr(kWebPrefix.size()));
    } else {
        target.url = std::string(kWebPrefix) + std::string(server);
        target.host = std::string(server);
    }
    // A path after the host is not part of it.
    const std::size_t slash = target.host.find('/');
    if (slash != std::string::npos)
        target.host.resize(slash);
    return target;
}

std::string FormatInternetError(std::string_view function, int curlCode,
                                std::string_view lastReply) {
    std::string text = std::string(function) + "(): ";
    const char* name = ErrorName(curlCode);
    if (name == nullptr) {
        return text + "Unknown error code (" + curl_easy_strerror(static_cast<CURLcode>(curlCode)) +
               ")";
    }
    text += name;
    if (std::strcmp(name, "EXTENDED_ERROR") == 0 && !lastReply.empty()) {
        text += '\n';
        text += lastReply;
    }
    return text;
}

int SendFileWithFtp(const FtpRequest& request, std::string& message) {
    if (request.server.empty()) {
        message = "Missing server name";
        return -1;
    }
    const FtpTarget target = FtpTargetOf(request.server);
    const std::string base = "ftp://" + target.host;

    // The connection check: the server's port answers at all.
    {
        CurlHandle check = NewHandle();
        if (!check) {
            message = FormatInternetError("InternetOpen", CURLE_FAILED_INIT, "");
            return -1;
        }
        // Only the TCP connection to the FTP port: no login yet.
        std::string address = target.host;
        if (address.find(':') == std::string::npos)
            address += ":21";
        curl_easy_setopt(check.get(), CURLOPT_URL, ("http://" + address + "/").c_str());
        curl_easy_setopt(check.get(), CURLOPT_CONNECT_ONLY, 1L);
        curl_easy_setopt(check.get(), CURLOPT_CONNECTTIMEOUT,
                         static_cast<long>(request.timeoutSeconds));
        curl_easy_setopt(check.get(), CURLOPT_NOSIGNAL, 1L);
        const CURLcode checked = curl_easy_perform(check.get());
        if (checked != CURLE_OK) {
            message = FormatInternetError("InternetCheckConnection", checked, "");
            return -1;
        }
    }

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(request.localFile.c_str(), "rb"));
    if (!file) {
        message = "Cannot open " + request.localFile.string() + ": " + std::strerror(errno);
        return -1;
    }
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(request.localFile, sizeError);

    CurlHandle upload = NewHandle();
    if (!upload) {
        message = FormatInternetError("InternetOpen", CURLE_FAILED_INIT, "");
        return -1;
    }
    const std::string remote =
        request.remoteName.empty() ? request.localFile.filename().string() : request.remoteName;
    const std::string url = base + "/" + EncodedPath(upload.get(), remote);
    std::string lastReply;
    CURL* handle = upload.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Tracora");
    curl_easy_setopt(handle, CURLOPT_USERNAME, request.user.c_str());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, request.password.c_str());
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READDATA, file.get());
    if (!sizeError)
        curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    curl_easy_setopt(handle, CURLOPT_TRANSFERTEXT, 0L);  // binary
    // Active mode: the server connects back to the address of the control connection.
    if (!request.passive)
        curl_easy_setopt(handle, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(request.timeoutSeconds));
    curl_easy_setopt(handle, CURLOPT_ACCEPTTIMEOUT_MS, request.timeoutSeconds * 1000L);
    curl_easy_setopt(handle, CURLOPT_FTP_RESPONSE_TIMEOUT,
                     static_cast<long>(request.timeoutSeconds));
    // A stalled transfer ends instead of hanging: under 1 byte/s for the time-out.
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.timeoutSeconds));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, KeepLastReply);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &lastReply);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
    const CURLcode sent = curl_easy_perform(handle);
    if (sent != CURLE_OK) {
        // The login and reaching the server belong to the connection; the rest to the upload.
        const bool connecting = sent == CURLE_LOGIN_DENIED || sent == CURLE_COULDNT_CONNECT ||
                                sent == CURLE_COULDNT_RESOLVE_HOST;
        message =
            FormatInternetError(connecting ? "InternetConnect" : "FtpPutFile", sent, lastReply);
        return -1;
    }
    message = "File sent";
    return 0;
}

}  // namespace tracora::remote
