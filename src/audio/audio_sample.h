/* Compile-time description of the ten sample formats: how a sample is
   stored and how it reads as a centred value (unsigned samples offset so that
   silence is 0), for the converters and the mixer. */
#ifndef JEX_AUDIO_SAMPLE_H
#define JEX_AUDIO_SAMPLE_H

#include "JEX_audio.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

namespace jex_audio {

inline constexpr JEX_AudioFormat kFormats[10] = {
    JEX_AUDIO_U8,     JEX_AUDIO_S8,     JEX_AUDIO_U16LSB, JEX_AUDIO_S16LSB, JEX_AUDIO_U16MSB,
    JEX_AUDIO_S16MSB, JEX_AUDIO_S32LSB, JEX_AUDIO_S32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_F32MSB};

constexpr int FormatIndex(JEX_AudioFormat format)
{
    for (int i = 0; i < 10; ++i)
        if (kFormats[i] == format)
            return i;
    return -1;
}

template <JEX_AudioFormat F>
struct Sample {
    static constexpr int bits = F & 0xFF;
    static constexpr int bytes = bits / 8;
    static constexpr bool is_signed = (F & 0x8000) != 0;
    static constexpr bool is_float = (F & 0x0100) != 0;
    static constexpr bool swapped =
        ((F & 0x1000) != 0) != (std::endian::native == std::endian::big);

    using Raw =
        std::conditional_t<bits == 8, Uint8, std::conditional_t<bits == 16, Uint16, Uint32>>;
    /* Centred value: integers as 64-bit (room for sums), floats as double. */
    using Value = std::conditional_t<is_float, double, Sint64>;

    static constexpr Sint64 kOffset = is_signed ? 0 : (Sint64{1} << (bits - 1));
    static constexpr Sint64 kMin = -(Sint64{1} << (bits - 1));
    static constexpr Sint64 kMax = (Sint64{1} << (bits - 1)) - 1;

    /* Between the stored byte order and the host's. */
    static Raw Swap(Raw r)
    {
        if constexpr (swapped && bits == 16)
            return __builtin_bswap16(r);
        else if constexpr (swapped && bits == 32)
            return __builtin_bswap32(r);
        else
            return r;
    }
    static Raw LoadRaw(const Uint8 *p)
    {
        Raw r;
        std::memcpy(&r, p, sizeof r);
        return Swap(r);
    }
    static void StoreRaw(Uint8 *p, Raw r)
    {
        r = Swap(r);
        std::memcpy(p, &r, sizeof r);
    }

    static Value Decode(Raw r)
    {
        if constexpr (is_float)
            return std::bit_cast<float>(r);
        else if constexpr (is_signed)
            return static_cast<std::make_signed_t<Raw>>(r);
        else
            return Sint64{r} - kOffset;
    }
    /* A centred value, clamped to what the format holds. */
    static Raw Encode(Value v)
    {
        if constexpr (is_float) {
            constexpr double kFloatMax = 3.402823466e38;
            v = v != v ? 0.0 : std::clamp(v, -kFloatMax, kFloatMax);
            return std::bit_cast<Raw>(static_cast<float>(v));
        } else {
            v = std::clamp(v, kMin, kMax);
            return static_cast<Raw>(v + kOffset);
        }
    }
    static Value Load(const Uint8 *p) { return Decode(LoadRaw(p)); }
    static void Store(Uint8 *p, Value v) { StoreRaw(p, Encode(v)); }
};

}  // namespace jex_audio

#endif /* JEX_AUDIO_SAMPLE_H */
