// Exports a span of a recording (and of the recordings that continue it) as one MP4 clip:
// every camera composed into one picture by a layout, the recorder's date and time and the
// vehicle's speed burnt in, H.264 video with the front camera's sound as AAC, the index at
// the front so that the file plays while it downloads.
//
// The clip is written to a temporary file beside the target and renamed at the end: a
// cancelled or failed export leaves no file behind.
//
// Threads: start(), cancel(), wait() and finished() may be called from any thread (the
// interface's, typically); the export runs its own pipeline on its own thread. The progress
// callback runs on a GStreamer streaming thread, the done callback on the export's thread:
// an interface posts what they report to its own thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "export/export_layout.h"
#include "export/export_plan.h"

namespace qelv::media {

struct ExportRequest {
    // recordings[0] holds the span's start; the ones after it are the recordings that follow
    // it in the list, which a span past its end continues into.
    std::vector<ExportRecording> recordings;
    std::int64_t fromNs = 0;
    std::int64_t toNs = 0;
    ExportLayout layout = ExportLayout::Side;
    bool overlay = true;  // date, time and speed
    bool sound = true;    // the front camera's sound
    int width = 1920;     // even, 64 to 7680
    int height = 1080;    // even, 64 to 4320
    std::string outPath;
};

struct ExportProgress {
    std::int64_t doneNs = 0;   // of the clip written so far
    std::int64_t totalNs = 0;  // the clip's duration
};

struct ExportResult {
    bool ok = false;
    bool cancelled = false;
    std::string error;  // why it failed, for the user; empty on success
    std::string outPath;
    std::int64_t durationNs = 0;              // the clip's planned duration
    std::int64_t frames = 0;                  // pictures encoded
    std::vector<std::string> recordingsUsed;  // front files, in order
    std::vector<std::string> leftOut;         // cameras shown as a labelled black place, and why
    bool sound = false;                       // the clip has a sound track
    std::int64_t wallMs = 0;
};

// The clip's frame rate: the recorder's.
inline constexpr int kExportFps = 30;

class ClipExport {
public:
    using ProgressFn = std::function<void(const ExportProgress&)>;
    using DoneFn = std::function<void(const ExportResult&)>;

    explicit ClipExport(ExportRequest request);
    // Cancels a running export and waits for its thread.
    ~ClipExport();
    ClipExport(const ClipExport&) = delete;
    ClipExport& operator=(const ClipExport&) = delete;

    // Starts the export on its own thread; false when it was started before. `done` is called
    // once, when the export ends in any way.
    bool start(ProgressFn progress = {}, DoneFn done = {});
    // Asks a running export to stop; it removes what it wrote and reports `cancelled`.
    void cancel();
    bool finished() const;
    // Waits for the export started by start() and returns its result.
    ExportResult wait();

    // The whole export on the calling thread (the command line's way).
    ExportResult run(const ProgressFn& progress = {});

private:
    ExportResult exportClip(const ProgressFn& progress);

    const ExportRequest m_request;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::condition_variable m_done;
    std::optional<ExportResult> m_result;
    bool m_started = false;
};

}  // namespace qelv::media
