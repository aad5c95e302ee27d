// The haptic core's library-side interface: the record behind a handle and
// the driver table.
#ifndef JEX_HAPTIC_INTERNAL_H
#define JEX_HAPTIC_INTERNAL_H

#include <vector>

#include "JEX_haptic.h"

struct JEX_HapticEffectSlot {
    JEX_HapticEffect effect;  // the description last given
    void *hwdata = nullptr;   // the driver's effect; null when the slot is free
    // A custom effect's samples: effect.custom.data points here, never at
    // the caller's memory.
    std::vector<Uint16> custom_data;
};

struct JEX_Haptic {
    Uint8 index = 0;
    // The driver sets neffects at open; the core then makes the slots.
    std::vector<JEX_HapticEffectSlot> effects;
    int neffects = 0;
    int nplaying = 0;
    unsigned int supported = 0;
    int naxes = 0;
    void *hwdata = nullptr;
    int ref_count = 0;
    int rumble_id = -1;
    JEX_HapticEffect rumble_effect{};
};

// What the core asks of a platform. Each failing operation records its own
// message. The effect operations receive a slot the core has checked.
struct JEX_HapticDriver {
    const char *name;
    int (*init)(void);  // device count (at most 255), or negative
    const char *(*device_name)(int index);
    int (*open)(JEX_Haptic *haptic);  // fills neffects, nplaying, supported, naxes, hwdata
    int (*mouse)(void);               // index of a haptic mouse, or negative
    int (*joystick_is_haptic)(JEX_Joystick *joystick);
    int (*joystick_same_haptic)(JEX_Haptic *haptic, JEX_Joystick *joystick);
    int (*open_from_joystick)(JEX_Haptic *haptic, JEX_Joystick *joystick);  // also sets index
    void (*close)(JEX_Haptic *haptic);
    void (*quit)(void);
    int (*new_effect)(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot,
                      const JEX_HapticEffect *effect);
    int (*update_effect)(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot,
                         const JEX_HapticEffect *effect);
    int (*run_effect)(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot, Uint32 iterations);
    int (*stop_effect)(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot);
    void (*destroy_effect)(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot);
    int (*get_effect_status)(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot);
    int (*set_gain)(JEX_Haptic *haptic, int gain);
    int (*set_autocenter)(JEX_Haptic *haptic, int autocenter);
    int (*pause)(JEX_Haptic *haptic);
    int (*unpause)(JEX_Haptic *haptic);
    int (*stop_all)(JEX_Haptic *haptic);
};

extern const JEX_HapticDriver JEX_NullHapticDriver;
#ifdef __linux__
extern const JEX_HapticDriver JEX_LinuxHapticDriver;
#endif

int JEX_HapticInit(void);
void JEX_HapticQuit(void);

#endif
