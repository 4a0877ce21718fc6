// What ties a printed accident report to the recording it came from: the recording's name,
// its start time, and the SHA-256 of every file it was played from (a file on a FAT card or
// on the PC, or a WyFS recording read through the card library). The hashes are worked out on
// a thread of their own, started when the report opens, so that the dialog stays responsive.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/playback_graph.h"
#include "storage/byte_source.h"

namespace qelv::ui {

// One file of the recording.
struct EvidenceFile {
    QString name;                                // the file's name as the report shows it
    QString path;                                // a file on disk; empty when cardFile is set
    std::shared_ptr<core::ByteSource> cardFile;  // a file read through the card library
};

struct ReportEvidence {
    QString recordingName;  // the front file's name
    QString startTime;      // "YYYY-MM-DD hh:mm:ss" from the name; empty when it has none
    std::vector<EvidenceFile> files;
};

// The evidence of the recording the engine has open (`recordingPath` is its front file, or
// for a WyFS recording its name); no files when nothing is open. A file given for several
// channels (a recording whose companions could not be paired) is listed once.
ReportEvidence evidenceOfOpened(const media::RecordingSources& opened,
                                const std::string& recordingPath);

// The hex SHA-256 (64 lower-case digits) of the whole file, or nothing when it cannot be read
// to its end or `cancel` turns true. Any thread.
std::optional<QString> sha256OfFile(const QString& path, const std::atomic<bool>& cancel);
// The same for a byte source; a read that stops before size() is a failure. The source is
// read from the calling thread: the card library's files allow that alongside playback.
std::optional<QString> sha256OfSource(core::ByteSource& source, const std::atomic<bool>& cancel);

// The report's line for one file: "SHA-256 <name>: <64 hex digits>", or "SHA-256 <name>:
// unreadable" when there is no hash.
QString evidenceLine(const QString& name, const std::optional<QString>& sha256);

// Hashes the files on a worker thread from construction on. Destroying it stops the reading
// at the next megabyte and waits for the thread.
class EvidenceHasher {
public:
    explicit EvidenceHasher(std::vector<EvidenceFile> files);
    ~EvidenceHasher();
    EvidenceHasher(const EvidenceHasher&) = delete;
    EvidenceHasher& operator=(const EvidenceHasher&) = delete;

    // True once every file is hashed (or found unreadable).
    bool done() const;
    // The lines of evidenceLine(), one per file in order; waits for the worker if needed.
    const QStringList& lines();

private:
    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::future<QStringList> m_work;
    std::optional<QStringList> m_lines;
};

}  // namespace qelv::ui
