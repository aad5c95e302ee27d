// What an event device says it can do, read through the evdev backend, and
// which devices count as joysticks.
#ifndef JEX_EVDEV_CAPS_H
#define JEX_EVDEV_CAPS_H

#include <linux/input.h>

#include <array>
#include <climits>
#include <string>

constexpr size_t JEX_EvdevLongs(size_t bits)
{
    return (bits + sizeof(unsigned long) * CHAR_BIT - 1) / (sizeof(unsigned long) * CHAR_BIT);
}

template <size_t N>
bool JEX_EvdevTest(const std::array<unsigned long, N> &bits, int bit)
{
    constexpr size_t kBits = sizeof(unsigned long) * CHAR_BIT;
    return bit >= 0 && static_cast<size_t>(bit) < N * kBits &&
           ((bits[bit / kBits] >> (bit % kBits)) & 1UL);
}

struct JEX_EvdevBits {
    std::array<unsigned long, JEX_EvdevLongs(KEY_CNT)> key;
};

struct JEX_EvdevCaps {
    std::array<unsigned long, JEX_EvdevLongs(EV_CNT)> ev{};
    std::array<unsigned long, JEX_EvdevLongs(KEY_CNT)> key{};
    std::array<unsigned long, JEX_EvdevLongs(ABS_CNT)> abs{};
    std::array<unsigned long, JEX_EvdevLongs(FF_CNT)> ff{};
    std::array<unsigned long, JEX_EvdevLongs(INPUT_PROP_CNT)> props{};
};

// Reads the event, key, absolute-axis, force-feedback and property bits.
// False when the device answers none of it (errno tells why).
bool JEX_EvdevProbe(int fd, JEX_EvdevCaps &caps);

// Joystick or gamepad buttons, and neither a touchpad nor an
// accelerometer (those come as separate nodes of the same pad).
bool JEX_EvdevIsJoystick(const JEX_EvdevCaps &caps);

// The device's name, or a stand-in when it has none.
std::string JEX_EvdevName(int fd);

#endif
