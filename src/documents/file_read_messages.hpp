// The messages the document commands show when a file they read whole fails.
#pragma once

#include "core/file_io.hpp"

namespace tracora::documents {

// The message of a failed read, or nullptr when the file was read: "File is empty", "File
// buffer memory allocation" (no memory, or larger than any file read whole), `openError` for a
// file that is missing or cannot be opened, `readError` for one that fails while it is read.
const char* FileReadMessage(FileReadStatus status, const char* openError, const char* readError);

}  // namespace tracora::documents
