// A file on a WyFS card, read through the card library.
#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "storage/byte_source.h"
#include "wyfs/wyfs.h"

namespace qelv::core {

class CardFileSource : public ByteSource {
public:
    // Opens `dir`/`name` on the open card `device`; valid() tells whether it worked.
    CardFileSource(CardDeviceHandle* device, const std::string& dir, const std::string& name);
    ~CardFileSource() override;
    CardFileSource(const CardFileSource&) = delete;
    CardFileSource& operator=(const CardFileSource&) = delete;

    bool valid() const { return m_open; }
    // The file's name on the card, as it was opened.
    const std::string& name() const { return m_name; }
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) override;
    std::uint64_t size() const override { return m_size; }

private:
    CardFileHandle m_file{};
    std::string m_name;
    bool m_open = false;
    std::uint64_t m_size = 0;
};

}  // namespace qelv::core
