#include "tools/ui/report_evidence.h"

#include <QCryptographicHash>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <filesystem>

#include "storage/recording_name.h"

namespace qelv::ui {

namespace {

constexpr qint64 kChunkBytes = 1 << 20;

QString startTimeOf(const std::string& fileName) {
    const core::RecordingName name = core::parseRecordingName(fileName);
    if (name.year <= 0 || name.month <= 0 || name.day <= 0) {
        return {};
    }
    return QString::fromStdString(name.dateText() + " " + name.timeText());
}

QString fileNameOf(const std::string& path) {
    return QString::fromStdString(std::filesystem::path(path).filename().string());
}

}  // namespace

ReportEvidence evidenceOfOpened(const media::RecordingSources& opened,
                                const std::string& recordingPath) {
    ReportEvidence evidence;
    const std::string front =
        opened.cardFile || opened.paths[0].empty() ? recordingPath : opened.paths[0];
    if (front.empty()) {
        return evidence;
    }
    evidence.recordingName = fileNameOf(front);
    evidence.startTime = startTimeOf(fileNameOf(front).toStdString());
    if (opened.cardFile) {
        evidence.files.push_back({evidence.recordingName, {}, opened.cardFile});
        return evidence;
    }
    std::vector<std::string> seen;
    for (const std::string& path : opened.paths) {
        if (path.empty() || std::find(seen.begin(), seen.end(), path) != seen.end()) {
            continue;
        }
        seen.push_back(path);
        evidence.files.push_back({fileNameOf(path), QString::fromStdString(path), nullptr});
    }
    return evidence;
}

std::optional<QString> sha256OfFile(const QString& path, const std::atomic<bool>& cancel) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    for (;;) {
        if (cancel.load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0 || file.error() != QFileDevice::NoError) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        hash.addData(QByteArrayView(chunk.constData(), n));
    }
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<QString> sha256OfSource(core::ByteSource& source, const std::atomic<bool>& cancel) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(kChunkBytes));
    const std::uint64_t size = source.size();
    for (std::uint64_t offset = 0; offset < size;) {
        if (cancel.load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - offset));
        const std::size_t got = source.read(offset, std::span(chunk.data(), want));
        if (got != want) {
            return std::nullopt;  // a hash of part of the file would not be the file's
        }
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(chunk.data()),
                                    static_cast<qsizetype>(got)));
        offset += got;
    }
    return QString::fromLatin1(hash.result().toHex());
}

QString evidenceLine(const QString& name, const std::optional<QString>& sha256) {
    return QStringLiteral("SHA-256 %1: %2")
        .arg(name, sha256 ? *sha256 : QStringLiteral("unreadable"));
}

EvidenceHasher::EvidenceHasher(std::vector<EvidenceFile> files)
    : m_cancel(std::make_shared<std::atomic<bool>>(false)) {
    m_work = std::async(std::launch::async, [files = std::move(files), cancel = m_cancel] {
        QStringList lines;
        for (const EvidenceFile& file : files) {
            const std::optional<QString> sha256 = file.cardFile
                                                      ? sha256OfSource(*file.cardFile, *cancel)
                                                      : sha256OfFile(file.path, *cancel);
            lines.push_back(evidenceLine(file.name, sha256));
        }
        return lines;
    });
}

EvidenceHasher::~EvidenceHasher() {
    m_cancel->store(true, std::memory_order_relaxed);
    if (m_work.valid()) {
        m_work.wait();
    }
}

bool EvidenceHasher::done() const {
    return m_lines.has_value() || (m_work.valid() && m_work.wait_for(std::chrono::seconds(0)) ==
                                                         std::future_status::ready);
}

const QStringList& EvidenceHasher::lines() {
    if (!m_lines) {
        m_lines = m_work.get();
    }
    return *m_lines;
}

}  // namespace qelv::ui
