// A directory's files read through the library's listing calls, thirty at a time with the
// library's cursor, and the items decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wyfs/wyfs.h"

namespace qelv::wyfs {

struct ListedFile {
    std::string name;  // shorter than 64 bytes
    std::int32_t id;
    std::uint32_t size;
    std::int32_t time;  // seconds since 1970-01-01 UTC
};

// Every file of `dir` on the open card; empty for a missing directory.
std::vector<ListedFile> listDirectory(CardDeviceHandle* device, const std::string& dir);

}  // namespace qelv::wyfs
