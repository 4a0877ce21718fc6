#include "playback/channel_files.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace qelv::media {

bool isAvi(const char head[12]) {
    return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
}

namespace {

// Why the file cannot be opened as a regular file, found without waiting: a FIFO or a device
// named like a recording must not hang the open.
std::optional<std::string> regularFileProblem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return "cannot be read (" + std::string(std::strerror(errno)) + ")";
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    if (!regular) {
        return std::string("is not a regular file");
    }
    return std::nullopt;
}

}  // namespace

bool isAviFile(const std::string& path) {
    if (regularFileProblem(path)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    char head[12] = {};
    return in.read(head, sizeof head) && isAvi(head);
}

std::optional<std::string> unplayable(const std::string& path) {
    if (auto problem = regularFileProblem(path)) {
        return problem;
    }
    std::ifstream in(path, std::ios::binary);
    char head[12] = {};
    if (!in) {
        return "cannot be read";
    }
    if (!in.read(head, sizeof head)) {
        return "is too short to be a recording";
    }
    if (isAvi(head)) {
        return std::nullopt;
    }
    std::uint64_t at = 0;
    for (int boxes = 0; boxes < 64; ++boxes) {
        unsigned char box[8] = {};
        in.clear();
        if (!in.seekg(static_cast<std::streamoff>(at)) ||
            !in.read(reinterpret_cast<char*>(box), 8)) {
            break;
        }
        if (std::memcmp(box + 4, "moov", 4) == 0) {
            return std::nullopt;
        }
        const std::uint32_t size = (std::uint32_t{box[0]} << 24) | (std::uint32_t{box[1]} << 16) |
                                   (std::uint32_t{box[2]} << 8) | box[3];
        if (size < 8) {
            break;
        }
        at += size;
    }
    return "has no index (an unfinished recording or not a recording)";
}

namespace detail {

namespace {

void onCardNeedData(GstAppSrc* src, guint length, gpointer data) {
    auto* reader = static_cast<CardReader*>(data);
    const std::uint64_t size = reader->file->size();
    if (reader->offset >= size) {
        gst_app_src_end_of_stream(src);
        return;
    }
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<guint>(length, 65536), size - reader->offset));
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, n, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const std::size_t got = reader->file->read(reader->offset, std::span(map.data, n));
    gst_buffer_unmap(buffer, &map);
    if (got == 0) {
        gst_buffer_unref(buffer);
        gst_app_src_end_of_stream(src);
        return;
    }
    gst_buffer_set_size(buffer, static_cast<gssize>(got));
    GST_BUFFER_OFFSET(buffer) = reader->offset;
    reader->offset += got;
    gst_app_src_push_buffer(src, buffer);
}

gboolean onCardSeek(GstAppSrc*, guint64 offset, gpointer data) {
    static_cast<CardReader*>(data)->offset = offset;
    return TRUE;
}

}  // namespace

GstElement* makeCardSource(CardReader& reader) {
    GstElement* src = gst_element_factory_make("appsrc", nullptr);
    if (src == nullptr) {
        return nullptr;
    }
    g_object_set(src, "stream-type", 2 /* random-access */, "format", GST_FORMAT_BYTES, "size",
                 static_cast<gint64>(reader.file->size()), nullptr);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = onCardNeedData;
    callbacks.seek_data = onCardSeek;
    gst_app_src_set_callbacks(GST_APP_SRC(src), &callbacks, &reader, nullptr);
    return src;
}

}  // namespace detail

}  // namespace qelv::media
