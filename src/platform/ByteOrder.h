// Reading and writing fixed-size words in a stated byte order, independent
// of the host's: the data files are little-endian, GTX grids big-endian.
#ifndef TERVALA_PLATFORM_BYTEORDER_H
#define TERVALA_PLATFORM_BYTEORDER_H

#include <cstdint>
#include <cstring>

namespace tervala {
namespace platform {

// The value whose object representation is `bits` (same size).
template <typename To, typename From>
To fromBits(From bits)
{
    static_assert(sizeof(To) == sizeof(From), "fromBits needs types of one size");
    To value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline std::uint32_t littleEndian32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

inline std::uint32_t bigEndian32(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
}

inline std::uint64_t littleEndian64(const unsigned char* p)
{
    return std::uint64_t(littleEndian32(p)) | (std::uint64_t(littleEndian32(p + 4)) << 32);
}

inline std::uint64_t bigEndian64(const unsigned char* p)
{
    return (std::uint64_t(bigEndian32(p)) << 32) | std::uint64_t(bigEndian32(p + 4));
}

inline std::int32_t littleEndianInt32(const unsigned char* p) { return fromBits<std::int32_t>(littleEndian32(p)); }
inline float littleEndianFloat(const unsigned char* p) { return fromBits<float>(littleEndian32(p)); }
inline double littleEndianDouble(const unsigned char* p) { return fromBits<double>(littleEndian64(p)); }

// Writes the low `bytes` bytes of `bits` at p, least significant first.
inline void putLittleEndian(unsigned char* p, std::uint64_t bits, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<unsigned char>(bits >> (8 * i));
}

inline void putLittleEndianFloat(unsigned char* p, float value) { putLittleEndian(p, fromBits<std::uint32_t>(value), 4); }

} // namespace platform
} // namespace tervala

#endif
