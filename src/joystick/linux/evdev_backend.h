// How the Linux joystick and force-feedback drivers reach the kernel's
// event devices. Everything goes through one table so that tests can stand
// in a scripted device for the kernel.
#ifndef JEX_EVDEV_BACKEND_H
#define JEX_EVDEV_BACKEND_H

#include <sys/types.h>

#include <string>
#include <vector>

struct JEX_Joystick;

struct JEX_EvdevBackend {
    // Paths of the event device nodes, in numeric order; none when the
    // directory is missing.
    std::vector<std::string> (*enumerate)(void);
    // As the system calls: -1 with errno set on failure.
    int (*open)(const char *path, int flags);
    int (*ioctl)(int fd, unsigned long request, void *arg);
    ssize_t (*read)(int fd, void *buffer, size_t size);
    ssize_t (*write)(int fd, const void *buffer, size_t size);
    int (*close)(int fd);
};

// The table in use: the system's unless a test replaced it.
const JEX_EvdevBackend &JEX_Evdev(void);

// Replaces the table (null restores the system's); returns the previous
// one. Only while neither driver has a device open.
const JEX_EvdevBackend *JEX_SetEvdevBackend(const JEX_EvdevBackend *backend);

// The event device node behind an open joystick of the Linux driver, or
// null when it has none (another driver's record, or the device is gone).
const char *JEX_LinuxJoystickDevicePath(JEX_Joystick *joystick);

#endif
