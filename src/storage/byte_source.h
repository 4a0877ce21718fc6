// Random-access reading of a recording, from a file or from memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace qelv::core {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to dst.size() bytes from `offset`; returns how many were available (fewer at
    // the end of the data, 0 past it or on a read error).
    virtual std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) = 0;
    virtual std::uint64_t size() const = 0;
    // Why the last read that stopped before size() did so ("Input/output error"), or empty
    // when no read has failed.
    virtual std::string error() const { return {}; }
};

// Why a read of `source` stopped before the end of its data: the source's error, or that the
// data ended before the size it gave.
std::string shortReadReason(const ByteSource& source);

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> data) : m_data(data) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) override;
    std::uint64_t size() const override { return m_data.size(); }

private:
    std::span<const std::uint8_t> m_data;
};

// An open file descriptor; the source does not own it. A read is first tried without
// waiting for the disk; when the bytes are not in the page cache the source reads a whole
// megabyte from there on and serves the following reads from it. So a walk that reads a few
// bytes every few kilobytes costs one small read each on a warm cache, and large sequential
// reads (with the kernel's read-ahead behind them) on a cold card instead of one slow
// round trip per sample.
class FileSource : public ByteSource {
public:
    FileSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) override;
    std::uint64_t size() const override { return m_size; }
    // The system's error text, or "the file ends before its size" when the file shrank.
    std::string error() const override { return m_error; }

private:
    bool readCached(std::uint64_t offset, std::span<std::uint8_t> dst);

    int m_fd;
    std::uint64_t m_size;
    std::string m_error;
    bool m_noWaitWorks = true;
    std::vector<std::uint8_t> m_chunk;
    std::uint64_t m_chunkOffset = 0;
};

}  // namespace qelv::core
