/* Mixing one buffer into another with volume and clipping. */
#include "audio/audio_internal.h"
#include "audio/audio_sample.h"

#include "JEX_error.h"

#include <algorithm>
#include <array>

using jex_audio::Sample;

namespace {

/* dst + src for unsigned 8-bit samples, indexed by their sum; it saturates
   at 254. */
constexpr std::array<Uint8, 512> MakeU8MixTable()
{
    std::array<Uint8, 512> t{};
    for (int i = 0; i < 512; ++i)
        t[i] = static_cast<Uint8>(i <= 128 ? 0 : i < 382 ? i - 128 : 254);
    return t;
}
constexpr auto kU8MixTable = MakeU8MixTable();

/* Signed integer formats: the source scaled by volume / 128 toward zero and
   kept in the sample's width, the sum clamped. */
template <JEX_AudioFormat F>
void MixSigned(Uint8 *dst, const Uint8 *src, Uint32 len, int volume)
{
    using T = Sample<F>;
    const Uint32 n = len / T::bytes;
    for (Uint32 i = 0; i < n; ++i) {
        const Sint64 s = T::Load(src + i * T::bytes) * volume / JEX_MIX_MAXVOLUME;
        T::Store(dst + i * T::bytes, T::Load(dst + i * T::bytes) + s);
    }
}

template <JEX_AudioFormat F>
void MixFloat(Uint8 *dst, const Uint8 *src, Uint32 len, int volume)
{
    using T = Sample<F>;
    const Uint32 n = len / 4;
    const float scale = static_cast<float>(volume) * 0.0078125f;
    for (Uint32 i = 0; i < n; ++i) {
        const float s = static_cast<float>(T::Load(src + i * 4)) * scale;
        T::Store(dst + i * 4, T::Load(dst + i * 4) + static_cast<double>(s));
    }
}

}  // namespace

extern "C" void JEX_MixAudioFormat(Uint8 *dst, const Uint8 *src, JEX_AudioFormat format, Uint32 len,
                                   int volume)
{
    // Volumes run from 0 to 128; nothing to add at 0 or below.
    volume = std::min(volume, JEX_MIX_MAXVOLUME);
    if (volume <= 0)
        return;
    if (!dst || !src) {
        if (len)
            JEX_SetError("Parameter '%s' is invalid", dst ? "src" : "dst");
        return;
    }
    switch (format) {
    case JEX_AUDIO_U8:
        for (Uint32 i = 0; i < len; ++i) {
            // The scaled sample stays an 8-bit value, as the mixer always has.
            const int scaled = static_cast<Sint8>((src[i] - 128) * volume / JEX_MIX_MAXVOLUME);
            dst[i] = kU8MixTable[dst[i] + ((scaled + 128) & 0xFF)];
        }
        break;
    case JEX_AUDIO_S8:
        for (Uint32 i = 0; i < len; ++i) {
            const int scaled =
                static_cast<Sint8>(static_cast<Sint8>(src[i]) * volume / JEX_MIX_MAXVOLUME);
            dst[i] = static_cast<Uint8>(std::clamp(static_cast<Sint8>(dst[i]) + scaled, -128, 127));
        }
        break;
    case JEX_AUDIO_S16LSB: MixSigned<JEX_AUDIO_S16LSB>(dst, src, len, volume); break;
    case JEX_AUDIO_S16MSB: MixSigned<JEX_AUDIO_S16MSB>(dst, src, len, volume); break;
    case JEX_AUDIO_S32LSB: MixSigned<JEX_AUDIO_S32LSB>(dst, src, len, volume); break;
    case JEX_AUDIO_S32MSB: MixSigned<JEX_AUDIO_S32MSB>(dst, src, len, volume); break;
    case JEX_AUDIO_F32LSB: MixFloat<JEX_AUDIO_F32LSB>(dst, src, len, volume); break;
    case JEX_AUDIO_F32MSB: MixFloat<JEX_AUDIO_F32MSB>(dst, src, len, volume); break;
    default: JEX_SetError("JEX_MixAudio(): unknown audio format"); break;
    }
}
