// SHA-1 over 64-byte blocks: see Sha1.h.

#include "base/Sha1.h"

#include <algorithm>

namespace vellocar {

namespace {

constexpr std::uint32_t RotateLeft(std::uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

} // namespace

void TSha1Hasher::Block(const std::uint8_t* block) {
    std::array<std::uint32_t, 80> w{};
    for (std::size_t t = 0; t < 16; ++t)
        w[t] = std::uint32_t{block[4 * t]} << 24 | std::uint32_t{block[4 * t + 1]} << 16 |
            std::uint32_t{block[4 * t + 2]} << 8 | std::uint32_t{block[4 * t + 3]};
    for (std::size_t t = 16; t < w.size(); ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    auto [a, b, c, d, e] = state_;
    for (std::size_t t = 0; t < w.size(); ++t) {
        std::uint32_t f = 0, k = 0;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t next = RotateLeft(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = RotateLeft(b, 30);
        b = a;
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void TSha1Hasher::Add(std::span<const std::uint8_t> bytes) {
    totalBytes_ += bytes.size();
    while (!bytes.empty()) {
        if (pendingSize_ == 0 && bytes.size() >= kBlockSize) {
            Block(bytes.data());
            bytes = bytes.subspan(kBlockSize);
            continue;
        }
        const std::size_t take = std::min(bytes.size(), kBlockSize - pendingSize_);
        std::copy_n(bytes.begin(), take, pending_.begin() + static_cast<std::ptrdiff_t>(pendingSize_));
        pendingSize_ += take;
        bytes = bytes.subspan(take);
        if (pendingSize_ == kBlockSize) {
            Block(pending_.data());
            pendingSize_ = 0;
        }
    }
}

TSha1 TSha1Hasher::Finish() {
    // The padding: one bit, zeros up to 8 bytes short of a block's end, then the length in bits.
    const std::uint64_t bits = totalBytes_ * 8;
    std::array<std::uint8_t, 2 * kBlockSize> tail{};
    tail[0] = 0x80;
    const std::size_t zeros = (pendingSize_ < kBlockSize - 8 ? kBlockSize - 8 : 2 * kBlockSize - 8) - pendingSize_;
    for (int i = 0; i < 8; ++i)
        tail[zeros + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Add(std::span(tail).first(zeros + 8));

    TSha1 digest{};
    for (std::size_t i = 0; i < state_.size(); ++i)
        for (std::size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
    return digest;
}

TSha1 Sha1Of(std::span<const std::uint8_t> bytes) {
    TSha1Hasher hasher;
    hasher.Add(bytes);
    return hasher.Finish();
}

std::string Sha1Hex(const TSha1& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest.size());
    for (const std::uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

} // namespace vellocar
