#include "storage/box_writer.h"

#include <stdexcept>

namespace qelv::core {

void BoxWriter::u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v >> 8));
    u8(static_cast<std::uint8_t>(v));
}

void BoxWriter::u24(std::uint32_t v) {
    u8(static_cast<std::uint8_t>(v >> 16));
    u16(static_cast<std::uint16_t>(v));
}

void BoxWriter::u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v >> 16));
    u16(static_cast<std::uint16_t>(v));
}

void BoxWriter::patch32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        m_bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    }
}

void BoxWriter::begin(std::string_view type) {
    m_open.push_back(m_bytes.size());
    u32(0);
    text(type);
}

void BoxWriter::beginFull(std::string_view type, std::uint32_t flags) {
    begin(type);
    u32(flags & 0x00FFFFFFu);
}

void BoxWriter::end() {
    if (m_open.empty()) {
        throw std::logic_error("BoxWriter: end() without begin()");
    }
    const std::size_t start = m_open.back();
    m_open.pop_back();
    patch32(start, static_cast<std::uint32_t>(m_bytes.size() - start));
}

void BoxWriter::beginDescriptor(std::uint8_t tag) {
    u8(tag);
    m_openDescriptors.push_back(m_bytes.size());
    u32(0x80808000u);
}

void BoxWriter::endDescriptor() {
    if (m_openDescriptors.empty()) {
        throw std::logic_error("BoxWriter: endDescriptor() without beginDescriptor()");
    }
    const std::size_t at = m_openDescriptors.back();
    m_openDescriptors.pop_back();
    const std::size_t length = m_bytes.size() - at - 4;
    if (length > 0x7F) {
        throw std::logic_error("BoxWriter: descriptor longer than its one-byte length");
    }
    m_bytes[at + 3] = static_cast<std::uint8_t>(length);
}

}  // namespace qelv::core
