/* The event record and the one event queue of the process.

   Threads: the queue is shared. JEX_PushEvent, JEX_PeepEvents,
   JEX_HasEvent(s), JEX_FlushEvent(s), JEX_FilterEvents, JEX_EventState,
   JEX_RegisterEvents, the filter and the watchers may be used from any
   thread; filters and watchers run on the thread that posts. JEX_PumpEvents
   and the calls that pump (JEX_PollEvent, JEX_WaitEvent,
   JEX_WaitEventTimeout) belong to the thread that started video. */
#ifndef JEX_EVENTS_H
#define JEX_EVENTS_H

#include "JEX_types.h"
#include "JEX_keyboard.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Button and key states. */
#define JEX_RELEASED 0
#define JEX_PRESSED 1

/* Event types: the high byte of the low 16 bits names a family, the low
   byte the member. */
typedef enum {
    JEX_FIRSTEVENT = 0x0000,

    JEX_QUIT = 0x0100,

    JEX_WINDOWEVENT = 0x0200,
    JEX_SYSWMEVENT = 0x0201,

    JEX_KEYDOWN = 0x0300,
    JEX_KEYUP = 0x0301,
    JEX_TEXTEDITING = 0x0302,
    JEX_TEXTINPUT = 0x0303,

    JEX_MOUSEMOTION = 0x0400,
    JEX_MOUSEBUTTONDOWN = 0x0401,
    JEX_MOUSEBUTTONUP = 0x0402,
    JEX_MOUSEWHEEL = 0x0403,

    JEX_JOYAXISMOTION = 0x0600,
    JEX_JOYBALLMOTION = 0x0601,
    JEX_JOYHATMOTION = 0x0602,
    JEX_JOYBUTTONDOWN = 0x0603,
    JEX_JOYBUTTONUP = 0x0604,

    JEX_FINGERDOWN = 0x0700,
    JEX_FINGERUP = 0x0701,
    JEX_FINGERMOTION = 0x0702,
    JEX_TOUCHBUTTONDOWN = 0x0703,
    JEX_TOUCHBUTTONUP = 0x0704,

    JEX_DOLLARGESTURE = 0x0800,
    JEX_DOLLARRECORD = 0x0801,
    JEX_MULTIGESTURE = 0x0802,

    JEX_CLIPBOARDUPDATE = 0x0900,

    /* Codes from here on are handed out by JEX_RegisterEvents. */
    JEX_USEREVENT = 0x8000,

    JEX_LASTEVENT = 0xFFFF
} JEX_EventType;

/* Ids chosen by touch drivers and by gesture recognition. */
typedef Sint64 JEX_TouchID;
typedef Sint64 JEX_FingerID;
typedef Sint64 JEX_GestureID;

/* The platform message behind a JEX_SYSWMEVENT; its layout belongs to the
   platform driver. */
struct JEX_SysWMmsg;
typedef struct JEX_SysWMmsg JEX_SysWMmsg;

#define JEX_TEXTEDITINGEVENT_TEXT_SIZE 32
#define JEX_TEXTINPUTEVENT_TEXT_SIZE 32

/* Window state change (JEX_WINDOWEVENT); event is a JEX_WINDOWEVENT_* code. */
typedef struct JEX_WindowEvent {
    Uint32 type;
    Uint32 window_id;
    Uint8 event;
    Sint32 param1;
    Sint32 param2;
} JEX_WindowEvent;

/* Key pressed or released (JEX_KEYDOWN, JEX_KEYUP). */
typedef struct JEX_KeyboardEvent {
    Uint32 type;
    Uint32 window_id;
    Uint8 state;
    Uint8 repeat;
    JEX_KeyInfo keyinfo;
} JEX_KeyboardEvent;

/* Input-method composition text (JEX_TEXTEDITING). */
typedef struct JEX_TextEditingEvent {
    Uint32 type;
    Uint32 window_id;
    char text[JEX_TEXTEDITINGEVENT_TEXT_SIZE];
    Sint32 start;
    Sint32 length;
} JEX_TextEditingEvent;

/* Committed text (JEX_TEXTINPUT). */
typedef struct JEX_TextInputEvent {
    Uint32 type;
    Uint32 window_id;
    char text[JEX_TEXTINPUTEVENT_TEXT_SIZE];
} JEX_TextInputEvent;

/* Pointer motion (JEX_MOUSEMOTION); state is the button bitmask. */
typedef struct JEX_MouseMotionEvent {
    Uint32 type;
    Uint32 window_id;
    Uint8 state;
    Sint32 x;
    Sint32 y;
    Sint32 rel_x;
    Sint32 rel_y;
} JEX_MouseMotionEvent;

/* Mouse button (JEX_MOUSEBUTTONDOWN, JEX_MOUSEBUTTONUP); buttons count from 1. */
typedef struct JEX_MouseButtonEvent {
    Uint32 type;
    Uint32 window_id;
    Uint8 button;
    Uint8 state;
    Sint32 x;
    Sint32 y;
} JEX_MouseButtonEvent;

/* Wheel (JEX_MOUSEWHEEL). */
typedef struct JEX_MouseWheelEvent {
    Uint32 type;
    Uint32 window_id;
    Sint32 x;
    Sint32 y;
} JEX_MouseWheelEvent;

/* Joystick axis (JEX_JOYAXISMOTION). */
typedef struct JEX_JoyAxisEvent {
    Uint32 type;
    Uint8 which;
    Uint8 axis;
    Sint32 value;
} JEX_JoyAxisEvent;

/* Joystick trackball (JEX_JOYBALLMOTION). */
typedef struct JEX_JoyBallEvent {
    Uint32 type;
    Uint8 which;
    Uint8 ball;
    Sint32 rel_x;
    Sint32 rel_y;
} JEX_JoyBallEvent;

/* Joystick hat (JEX_JOYHATMOTION): 0 centred, 1 up, 2 right, 4 down,
   8 left, and their sums for the diagonals. */
typedef struct JEX_JoyHatEvent {
    Uint32 type;
    Uint8 which;
    Uint8 hat;
    Uint8 value;
} JEX_JoyHatEvent;

/* Joystick button (JEX_JOYBUTTONDOWN, JEX_JOYBUTTONUP). */
typedef struct JEX_JoyButtonEvent {
    Uint32 type;
    Uint8 which;
    Uint8 button;
    Uint8 state;
} JEX_JoyButtonEvent;

/* Finger (JEX_FINGERDOWN, JEX_FINGERUP, JEX_FINGERMOTION); coordinates and
   pressure in the touch device's resolution. */
typedef struct JEX_TouchFingerEvent {
    Uint32 type;
    Uint32 window_id;
    JEX_TouchID touch_id;
    JEX_FingerID finger_id;
    Uint8 state;
    Uint16 x;
    Uint16 y;
    Sint16 delta_x;
    Sint16 delta_y;
    Uint16 pressure;
} JEX_TouchFingerEvent;

/* Touch-device button (JEX_TOUCHBUTTONDOWN, JEX_TOUCHBUTTONUP). */
typedef struct JEX_TouchButtonEvent {
    Uint32 type;
    Uint32 window_id;
    JEX_TouchID touch_id;
    Uint8 state;
    Uint8 button;
} JEX_TouchButtonEvent;

/* Template gesture (JEX_DOLLARGESTURE, JEX_DOLLARRECORD); finger_count and
   match_error only for JEX_DOLLARGESTURE. */
typedef struct JEX_DollarGestureEvent {
    Uint32 type;
    Uint32 window_id;
    JEX_TouchID touch_id;
    JEX_GestureID gesture_id;
    Uint32 finger_count;
    float match_error;
} JEX_DollarGestureEvent;

/* Multi-finger rotate and pinch (JEX_MULTIGESTURE). */
typedef struct JEX_MultiGestureEvent {
    Uint32 type;
    Uint32 window_id;
    JEX_TouchID touch_id;
    float rotation;
    float pinch;
    float x;
    float y;
    Uint16 finger_count;
} JEX_MultiGestureEvent;

/* Quit request (JEX_QUIT); also used for JEX_CLIPBOARDUPDATE. */
typedef struct JEX_QuitEvent {
    Uint32 type;
} JEX_QuitEvent;

/* Application-defined event (types from JEX_USEREVENT). */
typedef struct JEX_UserEvent {
    Uint32 type;
    Uint32 window_id;
    Sint32 code;
    void *data1;
    void *data2;
} JEX_UserEvent;

/* Platform window-system message (JEX_SYSWMEVENT). A queued message lives
   in the queue's own storage. */
typedef struct JEX_SysWMEvent {
    Uint32 type;
    JEX_SysWMmsg *msg;
} JEX_SysWMEvent;

/* Every member begins with the type, which tells the valid member. */
typedef union JEX_Event {
    Uint32 type;
    JEX_WindowEvent window;
    JEX_KeyboardEvent key;
    JEX_TextEditingEvent edit;
    JEX_TextInputEvent text;
    JEX_MouseMotionEvent motion;
    JEX_MouseButtonEvent button;
    JEX_MouseWheelEvent wheel;
    JEX_JoyAxisEvent jaxis;
    JEX_JoyBallEvent jball;
    JEX_JoyHatEvent jhat;
    JEX_JoyButtonEvent jbutton;
    JEX_TouchFingerEvent tfinger;
    JEX_TouchButtonEvent tbutton;
    JEX_DollarGestureEvent dgesture;
    JEX_MultiGestureEvent mgesture;
    JEX_QuitEvent quit;
    JEX_UserEvent user;
    JEX_SysWMEvent syswm;
} JEX_Event;

/* Actions of JEX_PeepEvents. */
typedef enum { JEX_ADDEVENT = 0, JEX_PEEKEVENT = 1, JEX_GETEVENT = 2 } JEX_eventaction;

/* Values for JEX_EventState. */
#define JEX_QUERY -1
#define JEX_DISABLE 0
#define JEX_ENABLE 1

/* Filters and watchers: a filter returning 0 drops the event; a watcher's
   result is ignored. Both run on the posting thread. */
typedef int (*JEX_EventFilter)(void *userdata, JEX_Event *event);

/* Gathers pending input from the platform and the joysticks. */
JEX_API void JEX_PumpEvents(void);

/* ADD appends numevents records and returns how many fitted. PEEK and GET
   copy up to numevents queued events with minType <= type <= maxType,
   oldest first; GET also removes them. -1 on failure. */
JEX_API int JEX_PeepEvents(JEX_Event *events, int numevents, int action, Uint32 minType,
                           Uint32 maxType);

JEX_API JEX_bool JEX_HasEvent(Uint32 type);
JEX_API JEX_bool JEX_HasEvents(Uint32 minType, Uint32 maxType);
JEX_API void JEX_FlushEvent(Uint32 type);
JEX_API void JEX_FlushEvents(Uint32 minType, Uint32 maxType);

/* 1 with the oldest event removed into *event, 0 when there was none.
   A null event only reports whether one is queued. */
JEX_API int JEX_PollEvent(JEX_Event *event);
JEX_API int JEX_WaitEvent(JEX_Event *event);
/* timeout in milliseconds; negative waits for ever. */
JEX_API int JEX_WaitEventTimeout(JEX_Event *event, int timeout);

/* 1 posted, 0 dropped by the filter, -1 not queued. */
JEX_API int JEX_PushEvent(JEX_Event *event);

JEX_API void JEX_SetEventFilter(JEX_EventFilter filter, void *userdata);
JEX_API JEX_bool JEX_GetEventFilter(JEX_EventFilter *filter, void **userdata);

/* Once JEX_DelEventWatch (or a new filter) has returned, the removed
   callback is no longer running on any thread, unless the call was made
   from inside a filter or watcher. */
JEX_API void JEX_AddEventWatch(JEX_EventFilter callback, void *userdata);
JEX_API void JEX_DelEventWatch(JEX_EventFilter callback, void *userdata);

/* Removes every queued event for which filter returns 0; the filter runs
   with the queue locked. */
JEX_API void JEX_FilterEvents(JEX_EventFilter filter, void *userdata);

/* Returns the state before the call: JEX_ENABLE or JEX_DISABLE. Disabling
   a type removes its queued events. */
JEX_API Uint8 JEX_EventState(Uint32 type, int state);

/* The first of numevents fresh user type codes, or 0xFFFFFFFF when they
   do not fit below 0x10000 (or numevents is not positive). */
JEX_API Uint32 JEX_RegisterEvents(int numevents);

#ifdef __cplusplus
}
#endif

#endif /* JEX_EVENTS_H */
