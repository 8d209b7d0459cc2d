#pragma once
// Little-endian integers in byte buffers, and the one place where an offset and a size are
// added: the formats check every table against the real file size with RangeEnd before they
// read a byte of it. Reader and Writer walk records of varying length (a build's journal).

#include "base/Errors.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar::byteio {

// Where count records of recordSize bytes starting at offset end, provided they all lie inside
// the first limit bytes; nullopt when they do not (or when the sum could not be represented).
// Division instead of multiplication keeps the test itself free of overflow.
inline std::optional<std::uint64_t> RangeEnd(std::uint64_t offset, std::uint64_t count, std::uint64_t recordSize,
                                             std::uint64_t limit) {
    if (offset > limit) return std::nullopt;
    const std::uint64_t remaining = limit - offset;
    if (recordSize != 0 && count > remaining / recordSize) return std::nullopt;
    return offset + count * recordSize;
}

// The fault RangeEnd found, for an error message: "<table> runs past the end of the file
// (offset 1234, 100 x 22 bytes, file 1000 bytes)".
inline std::string PastEnd(const char* table, std::uint64_t offset, std::uint64_t count, std::uint64_t entrySize,
                           std::uint64_t fileSize) {
    return std::string(table) + " runs past the end of the file (offset " + std::to_string(offset) + ", " +
        std::to_string(count) + " x " + std::to_string(entrySize) + " bytes, file " + std::to_string(fileSize) +
        " bytes)";
}

// How many rows of a table lie within the file: all of them, or (a fault, told to fault) those
// before its end. For the readers that list every fault of a file rather than stop at the first.
template <class FaultSink>
std::uint64_t RowsWithin(const FaultSink& fault, const char* table, std::uint64_t offset, std::uint64_t count,
                         std::uint64_t rowSize, std::uint64_t fileSize) {
    if (RangeEnd(offset, count, rowSize, fileSize)) return count;
    fault(PastEnd(table, offset, count, rowSize, fileSize));
    return (offset >= fileSize || rowSize == 0) ? 0 : std::min(count, (fileSize - offset) / rowSize);
}

// Bytes of a buffer as the characters they are.
inline std::string_view AsChars(const std::uint8_t* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Reads fields one after another from a buffer whose extent the caller has validated. The
// bounds check stays as a last line of defence: a slip in the validation then raises instead
// of reading outside the buffer.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size, std::size_t position = 0)
        : data_(data), size_(size), pos_(position) {}

    std::uint8_t U8() { return *Take(1); }
    std::uint16_t U16() { return Get16(Take(2)); }
    std::uint32_t U32() { return Get32(Take(4)); }
    std::uint64_t U64() {
        const std::uint64_t low = U32();
        return low | std::uint64_t{U32()} << 32;
    }
    template <typename Array>
    void Bytes(Array& out) {
        const std::uint8_t* p = Take(out.size());
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<typename Array::value_type>(p[i]);
    }
    const std::uint8_t* Take(std::size_t n) {
        if (pos_ > size_ || n > size_ - pos_) throw EReadError("Stream read error");
        const std::uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    std::size_t Position() const { return pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_;
};

// Appends fields to a growing buffer.
class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}

    void U8(std::uint8_t v) { out_.push_back(v); }
    void U16(std::uint16_t v) {
        const std::size_t at = Grow(2);
        Put16(out_.data() + at, v);
    }
    void U32(std::uint32_t v) {
        const std::size_t at = Grow(4);
        Put32(out_.data() + at, v);
    }
    void U64(std::uint64_t v) {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    template <typename Array>
    void Bytes(const Array& in) {
        const std::size_t at = Grow(in.size());
        for (std::size_t i = 0; i < in.size(); ++i) out_[at + i] = static_cast<std::uint8_t>(in[i]);
    }

private:
    std::size_t Grow(std::size_t n) {
        const std::size_t at = out_.size();
        out_.resize(at + n);
        return at;
    }
    std::vector<std::uint8_t>& out_;
};

} // namespace vellocar::byteio
