/* The libasound functions the ALSA driver takes at run time. Each pointer's
   type comes from the library's own prototype, so a call can never disagree
   with the function it reaches. */
#ifndef JEX_ALSA_SYM_H
#define JEX_ALSA_SYM_H

#define JEX_ALSA_SONAME "libasound.so.2"

#define JEX_ALSA_SYMS(S)                                                                           \
    S(snd_lib_error_set_handler)                                                                   \
    S(snd_strerror)                                                                                \
    S(snd_device_name_hint)                                                                        \
    S(snd_device_name_get_hint)                                                                    \
    S(snd_device_name_free_hint)                                                                   \
    S(snd_pcm_open)                                                                                \
    S(snd_pcm_close)                                                                               \
    S(snd_pcm_writei)                                                                              \
    S(snd_pcm_recover)                                                                             \
    S(snd_pcm_drain)                                                                               \
    S(snd_pcm_hw_params_malloc)                                                                    \
    S(snd_pcm_hw_params_free)                                                                      \
    S(snd_pcm_hw_params_any)                                                                       \
    S(snd_pcm_hw_params_set_access)                                                                \
    S(snd_pcm_hw_params_test_format)                                                               \
    S(snd_pcm_hw_params_set_format)                                                                \
    S(snd_pcm_hw_params_set_channels_near)                                                         \
    S(snd_pcm_hw_params_set_rate_resample)                                                         \
    S(snd_pcm_hw_params_set_rate_near)                                                             \
    S(snd_pcm_hw_params_set_period_size_near)                                                      \
    S(snd_pcm_hw_params_set_periods_min)                                                           \
    S(snd_pcm_hw_params_set_periods_first)                                                         \
    S(snd_pcm_hw_params)                                                                           \
    S(snd_pcm_hw_params_get_period_size)                                                           \
    S(snd_pcm_hw_params_get_channels)                                                              \
    S(snd_pcm_hw_params_get_rate)

#endif /* JEX_ALSA_SYM_H */
