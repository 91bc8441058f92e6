#include "documents/file_read_messages.hpp"

namespace tracora::documents {

const char* FileReadMessage(FileReadStatus status, const char* openError, const char* readError) {
    switch (status) {
        case FileReadStatus::kOk:
            return nullptr;
        case FileReadStatus::kEmpty:
            return "File is empty";
        case FileReadStatus::kNoMemory:
        case FileReadStatus::kTooLarge:
            return "File buffer memory allocation";
        case FileReadStatus::kAbsent:
        case FileReadStatus::kCannotOpen:
            return openError;
        case FileReadStatus::kReadError:
            break;
    }
    return readError;
}

}  // namespace tracora::documents
