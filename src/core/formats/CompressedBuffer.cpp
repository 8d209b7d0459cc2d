// Unpacking the resources of E1 BIFs and E1.0 archives of the ERF family: the header read and
// checked, then zlib or zstd into a buffer of the declared size, which a stream that gives more or
// fewer bytes does not pass.

#include "formats/CompressedBuffer.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"

#include <zlib.h>
#ifdef VELLOCAR_HAVE_ZSTD
#include <zstd.h>
#include <zstd_errors.h>
#endif

#include <algorithm>
#include <limits>

namespace vellocar::compressedbuf {

namespace {

EFormatError Fault(const std::string& what) { return EFormatError(what); }

std::string Bytes(std::uint64_t n) { return WithThousands(n) + " bytes"; }

// zlib's counts are of its own integer type: the input goes in at most this much at a time.
constexpr std::size_t kZlibChunk = std::numeric_limits<uInt>::max();

void Inflate(std::span<const std::uint8_t> stream, std::span<std::uint8_t> out) {
    const auto size = static_cast<std::uint32_t>(out.size());
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw Fault("its zlib stream could not be opened (out of memory)");
    std::uint8_t spare = 0; // where a stream that gives more than declared shows it
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(size);
    int status = Z_OK;
    bool more = false;
    while (status == Z_OK) {
        if (z.avail_in == 0 && !stream.empty()) {
            const std::size_t take = std::min(stream.size(), kZlibChunk);
            z.next_in = const_cast<Bytef*>(stream.data()); // zlib never writes through it
            z.avail_in = static_cast<uInt>(take);
            stream = stream.subspan(take);
        }
        if (z.avail_out == 0) {
            if (more) break;
            z.next_out = &spare;
            z.avail_out = 1;
            more = true;
        }
        status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_BUF_ERROR && z.avail_in == 0 && stream.empty()) break;
    }
    const bool overran = more && z.avail_out == 0;
    const std::string message = z.msg ? z.msg : "";
    const std::uint64_t produced = z.total_out;
    inflateEnd(&z);
    if (overran) throw Fault("its zlib stream gives more than the " + Bytes(size) + " it declares");
    if (status == Z_STREAM_END && produced == size) return;
    if (status == Z_STREAM_END || status == Z_OK || status == Z_BUF_ERROR)
        throw Fault("its zlib stream ends after " + Bytes(produced) + " of the " + Bytes(size) + " it declares");
    throw Fault("its zlib stream is damaged (" + (message.empty() ? "zlib error " + std::to_string(status) : message) +
                ")");
}

#ifdef VELLOCAR_HAVE_ZSTD
// One decompression context for every frame this thread unpacks: making one costs more than
// unpacking a resource of a few KB (its tables are allocated and cleared), and an export unpacks
// thousands. ZSTD_decompressDCtx starts each frame afresh, whatever the last one left.
ZSTD_DCtx* ThreadContext() {
    struct TContext {
        ZSTD_DCtx* Context = ZSTD_createDCtx();
        TContext() = default;
        TContext(const TContext&) = delete;
        TContext& operator=(const TContext&) = delete;
        ~TContext() { ZSTD_freeDCtx(Context); }
    };
    thread_local TContext held;
    if (!held.Context) held.Context = ZSTD_createDCtx();
    return held.Context;
}

void Unzstd(std::span<const std::uint8_t> frame, std::span<std::uint8_t> out) {
    const std::uint64_t size = out.size();
    const unsigned long long said = ZSTD_getFrameContentSize(frame.data(), frame.size());
    if (said == ZSTD_CONTENTSIZE_ERROR) throw Fault("its zstd frame is damaged (no zstd frame header)");
    if (said != ZSTD_CONTENTSIZE_UNKNOWN && said != size)
        throw Fault("its zstd frame holds " + Bytes(said) + ", not the " + Bytes(size) + " it declares");
    // One pass straight into a buffer of the declared size: no window of the frame's choosing is
    // allocated, and a frame that would give more fails for want of room.
    ZSTD_DCtx* context = ThreadContext();
    if (!context) throw Fault("its zstd frame could not be opened (out of memory)");
    const std::size_t got = ZSTD_decompressDCtx(context, out.data(), out.size(), frame.data(), frame.size());
    if (ZSTD_isError(got)) {
        if (ZSTD_getErrorCode(got) == ZSTD_error_dstSize_tooSmall)
            throw Fault("its zstd frame gives more than the " + Bytes(size) + " it declares");
        throw Fault(std::string("its zstd frame is damaged (") + ZSTD_getErrorName(got) + ")");
    }
    if (got != size) throw Fault("its zstd frame ends after " + Bytes(got) + " of the " + Bytes(size) + " it declares");
}
#endif

} // namespace

bool ReadsZstd() {
#ifdef VELLOCAR_HAVE_ZSTD
    return true;
#else
    return false;
#endif
}

void CheckSizes(std::uint64_t storedSize, std::uint32_t compression, std::uint32_t uncompressedSize) {
    if (compression == kStoredAsIs) {
        if (storedSize != uncompressedSize)
            throw Fault("it is stored uncompressed in " + Bytes(storedSize) + ", but its entry gives its size as " +
                        Bytes(uncompressedSize));
        return;
    }
    if (compression != kCompressedBuffer)
        throw Fault("its compression type " + std::to_string(compression) +
                    " is none Vellocar reads (0, stored as it is, or 1, a compressed buffer)");
    if (uncompressedSize > kMaxUnpackedSize)
        throw Fault("its entry gives its size as " + Bytes(uncompressedSize) + ", more than the " +
                    Bytes(kMaxUnpackedSize) + " Vellocar unpacks for one resource");
    if (storedSize > kMaxStoredSize)
        throw Fault("its compressed buffer takes " + Bytes(storedSize) + ", more than any resource Vellocar unpacks");
}

std::span<const std::uint8_t> UnpackInto(std::span<const std::uint8_t> stored, std::uint32_t compression,
                                         std::uint32_t uncompressedSize, std::vector<std::uint8_t>& room) {
    CheckSizes(stored.size(), compression, uncompressedSize);
    // Taken once the buffer's header has passed; grown, never shrunk: what room held before is
    // overwritten, not cleared first.
    const auto take = [&]() {
        if (room.size() < uncompressedSize) room.resize(uncompressedSize);
        return std::span<std::uint8_t>(room.data(), uncompressedSize);
    };
    if (compression == kStoredAsIs) {
        const auto out = take();
        std::copy(stored.begin(), stored.end(), out.begin());
        return out;
    }
    if (stored.size() < Header::Size)
        throw Fault("its compressed buffer is too short for its header (" + Bytes(stored.size()) + ", header " +
                    Bytes(Header::Size) + ")");
    const THeader header = Header::Read(stored.data());
    if (header.Magic != kMagic)
        throw Fault("its compressed buffer starts with " +
                    Quoted(Printable(std::string_view(header.Magic.data(), header.Magic.size()))) + ", not \"XRES\"");
    if (header.Version != kHeaderVersion)
        throw Fault("its compressed buffer is of version " + std::to_string(header.Version) +
                    ", which Vellocar does not read (it reads version " + std::to_string(kHeaderVersion) + ")");
    if (header.UncompressedSize != uncompressedSize)
        throw Fault("its compressed buffer declares " + Bytes(header.UncompressedSize) + ", its entry " +
                    Bytes(uncompressedSize));
    const auto rest = stored.subspan(Header::Size);
    // The version of the zlib or zstd part, and for zstd its dictionary.
    const auto streamHeader = [&](const char* what, std::size_t size) {
        if (rest.size() < size) throw Fault(std::string("its compressed buffer ends before its ") + what + " header");
        const std::uint32_t version = byteio::Get32(rest.data());
        if (version != kStreamVersion)
            throw Fault(std::string("its ") + what + " part is of version " + std::to_string(version) +
                        ", which Vellocar does not read (it reads version " + std::to_string(kStreamVersion) + ")");
        return rest.subspan(size);
    };
    switch (static_cast<TAlgorithm>(header.Algorithm)) {
        case TAlgorithm::None:
            if (rest.size() != uncompressedSize)
                throw Fault("its compressed buffer holds " + Bytes(rest.size()) + " uncompressed, not the " +
                            Bytes(uncompressedSize) + " it declares");
            {
                const auto out = take();
                std::copy(rest.begin(), rest.end(), out.begin());
                return out;
            }
        case TAlgorithm::Zlib: {
            const auto stream = streamHeader("zlib", kZlibHeaderSize);
            const auto out = take();
            Inflate(stream, out);
            return out;
        }
        case TAlgorithm::Zstd: {
#ifdef VELLOCAR_HAVE_ZSTD
            const auto frame = streamHeader("zstd", kZstdHeaderSize);
            if (const std::uint32_t dictionary = byteio::Get32(rest.data() + 4); dictionary != 0)
                throw Fault("its zstd frame needs dictionary " + std::to_string(dictionary) +
                            ", which no file names (Vellocar reads frames without a dictionary)");
            const auto out = take();
            Unzstd(frame, out);
            return out;
#else
            throw Fault(
                "it is compressed with zstd, which this Windows build does not read; use the Linux build, or "
                "unpack the KEY with neverwinter.nim's nwn_key_unpack");
#endif
        }
    }
    throw Fault("its compressed buffer uses algorithm " + std::to_string(header.Algorithm) +
                ", which Vellocar does not read (0 none, 1 zlib, 2 zstd)");
}

std::vector<std::uint8_t> Unpack(std::span<const std::uint8_t> stored, std::uint32_t compression,
                                 std::uint32_t uncompressedSize) {
    std::vector<std::uint8_t> out; // made exactly the declared size, once that is checked
    UnpackInto(stored, compression, uncompressedSize, out);
    return out;
}

} // namespace vellocar::compressedbuf
