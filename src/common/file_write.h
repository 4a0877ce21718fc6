// Writing a whole file so that nobody ever sees half of it: the bytes go to a temporary file
// beside the target, which takes the target's name only once it is complete and on the disk.
#pragma once

#include <string>
#include <string_view>

namespace qelv::core {

enum class ExistingFile {
    Replace,  // an existing file of that name is replaced (the user was asked)
    Keep,     // an existing file is left alone and the write fails
};

struct FileWriteResult {
    bool ok = false;
    // Why the write failed ("No such file or directory"); empty on success.
    std::string error;
    // The write failed because a file of that name exists (ExistingFile::Keep only).
    bool existed = false;
};

// Writes `bytes` as the file `path`. On any failure neither the target nor a temporary file is
// left behind, and an existing file is as it was. A target that exists and is no regular file
// (a folder, a device, a link) is refused rather than replaced. The new file gets the modes of
// any new file (umask applied).
FileWriteResult writeFileSafely(const std::string& path, std::string_view bytes,
                                ExistingFile existing);

}  // namespace qelv::core
