/* Touch devices as the video core and the platform drivers see them. */
#ifndef JEX_TOUCH_INTERNAL_H
#define JEX_TOUCH_INTERNAL_H

#include "JEX_events.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JEX_Finger {
    JEX_FingerID id;
    Uint16 x, y;
    Uint16 pressure;
    Sint16 delta_x, delta_y;
    Uint16 prev_x, prev_y;
    Uint16 prev_pressure;
    int down;
} JEX_Finger;

typedef struct JEX_Touch {
    void (*free_touch)(struct JEX_Touch *touch);
    float pressure_hi, pressure_lo;
    float x_hi, x_lo;
    float y_hi, y_lo;
    Uint16 x_res, y_res, pressure_res;
    float native_x_res, native_y_res, native_pressure_res;
    JEX_TouchID id;
    JEX_Window *focus;
    char *name;
    Uint8 buttons;
    int drop_motion;
    int finger_count;
    int finger_capacity;
    JEX_Finger **fingers;
    void *driver_data;
} JEX_Touch;

/* Touch devices exist only while a driver has added them. */
int JEX_TouchInit(void);
void JEX_TouchQuit(void);

/* Copies the template; returns the new device's index or -1. */
int JEX_AddTouch(const JEX_Touch *touch, const char *name);
void JEX_DelTouch(JEX_TouchID id);

int JEX_GetNumTouch(void);
JEX_Touch *JEX_GetTouchIndex(int index);
JEX_Touch *JEX_GetTouch(JEX_TouchID id);
int JEX_GetTouchIndexId(JEX_TouchID id);
JEX_Window *JEX_GetTouchFocusWindow(JEX_TouchID id);
const char *JEX_GetTouchName(JEX_TouchID id);

/* Moves a device's focus, sending LEAVE and ENTER as devices stop or start
   sharing a window. */
void JEX_SetTouchFocus(JEX_TouchID id, JEX_Window *window);

#ifdef __cplusplus
}
#endif

#endif /* JEX_TOUCH_INTERNAL_H */
