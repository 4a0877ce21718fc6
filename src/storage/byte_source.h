// Random-access reading of a recording, from a file or from memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace qelv::core {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to dst.size() bytes from `offset`; returns how many were available (fewer at
    // the end of the data, 0 past it or on a read error).
    virtual std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) = 0;
    virtual std::uint64_t size() const = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> data) : m_data(data) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) override;
    std::uint64_t size() const override { return m_data.size(); }

private:
    std::span<const std::uint8_t> m_data;
};

// An open file descriptor; the source does not own it.
class FileSource : public ByteSource {
public:
    FileSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) override;
    std::uint64_t size() const override { return m_size; }

private:
    int m_fd;
    std::uint64_t m_size;
};

}  // namespace qelv::core
