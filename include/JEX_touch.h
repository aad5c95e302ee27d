/* Touch devices and the fingers in contact with them. A platform driver adds
   the devices; applications look them up here and receive JEX_FINGERDOWN,
   JEX_FINGERUP, JEX_FINGERMOTION, JEX_TOUCHBUTTONDOWN and JEX_TOUCHBUTTONUP
   events with positions scaled to the device's resolution.

   Threads: every call belongs to the thread that started video. */
#ifndef JEX_TOUCH_H
#define JEX_TOUCH_H

#include "JEX_types.h"
#include "JEX_events.h"

#ifdef __cplusplus
extern "C" {
#endif

struct JEX_Window;

/* One finger in contact; positions and pressure in the device's resolution. */
typedef struct JEX_Finger {
    JEX_FingerID id;
    Uint16 x, y;
    Uint16 pressure;
    Sint16 delta_x, delta_y;
    Uint16 prev_x, prev_y;
    Uint16 prev_pressure;
    int down; /* 1 once its JEX_FINGERDOWN was queued */
} JEX_Finger;

/* A touch device. A raw value v on an axis is reported as
   (v - lo) * res / native_res, clamped to 0..65535 (a NaN reports 0). */
typedef struct JEX_Touch {
    void (*free_touch)(struct JEX_Touch *touch);
    float pressure_hi, pressure_lo;
    float x_hi, x_lo;
    float y_hi, y_lo;
    Uint16 x_res, y_res, pressure_res;
    float native_x_res, native_y_res, native_pressure_res;
    JEX_TouchID id;
    struct JEX_Window *focus;
    char *name;
    Uint8 buttons; /* button n (1 to 8) is bit n - 1 */
    int drop_motion;
    int finger_count;
    int finger_capacity;
    JEX_Finger **fingers;
    void *driver_data;
} JEX_Touch;

JEX_API int JEX_GetNumTouch(void);
/* Device indices change when a device is removed. */
JEX_API JEX_Touch *JEX_GetTouchIndex(int index);
JEX_API JEX_Touch *JEX_GetTouch(JEX_TouchID id);
JEX_API int JEX_GetTouchIndexId(JEX_TouchID id);
JEX_API JEX_Finger *JEX_GetFinger(JEX_Touch *touch, JEX_FingerID id);
JEX_API int JEX_GetFingerIndexId(JEX_Touch *touch, JEX_FingerID id);
JEX_API struct JEX_Window *JEX_GetTouchFocusWindow(JEX_TouchID id);
JEX_API const char *JEX_GetTouchName(JEX_TouchID id);

#ifdef __cplusplus
}
#endif

#endif /* JEX_TOUCH_H */
