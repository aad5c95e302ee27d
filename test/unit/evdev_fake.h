// A scripted kernel for the Linux joystick and force-feedback drivers: capabilities, ranges,
// queued events, open/read errors, and a record of every effect upload and write.
#ifndef JEX_TEST_EVDEV_FAKE_H
#define JEX_TEST_EVDEV_FAKE_H

#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/input.h>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "joystick/linux/evdev_backend.h"

struct FakeDevice {
    explicit FakeDevice(std::string device_name) : name(std::move(device_name)) {}
    std::string name;
    std::set<int> ev, keys, abs, ff, props, pressed;
    std::map<int, input_absinfo> absinfo;
    int open_errno = 0;
    int rw_errno = 0;   // only opens for writing fail
    int sff_errno = 0;  // effect uploads fail
    std::deque<input_event> pending;
    bool removed = false;  // reads fail with ENODEV once pending is empty
    int slots = 16;
    std::vector<ff_effect> uploads;                // every EVIOCSFF, ids as the driver sent them
    std::vector<std::vector<Sint16>> custom_data;  // what custom_data pointed at, per upload
    std::vector<input_event> writes;
    std::vector<long> erased;
    int next_id = 0;

    void Abs(int code, int min, int max, int value = 0)
    {
        ev.insert(EV_ABS);
        abs.insert(code);
        absinfo[code] = {value, min, max, 0, 0, 0};
    }
    void Key(int code)
    {
        ev.insert(EV_KEY);
        keys.insert(code);
    }
    void Push(int type, int code, int value)
    {
        input_event e{};
        e.type = type, e.code = code, e.value = value;
        pending.push_back(e);
    }
};

// A pad with two sticks, triggers, a hat and gamepad buttons.
inline FakeDevice Gamepad(const char *name = "Pad")
{
    FakeDevice d(name);
    for (int code : {ABS_X, ABS_Y, ABS_RX, ABS_RY})
        d.Abs(code, -32768, 32767);
    d.Abs(ABS_Z, 0, 255);
    d.Abs(ABS_HAT0X, -1, 1);
    d.Abs(ABS_HAT0Y, -1, 1);
    for (int code : {BTN_A, BTN_B, BTN_X, BTN_Y, BTN_START, BTN_MODE})
        d.Key(code);
    return d;
}

// A steering wheel: wheel and pedals on absolute axes, joystick buttons.
inline FakeDevice Wheel()
{
    FakeDevice d("Wheel");
    d.Abs(ABS_X, 0, 65535);
    for (int code : {ABS_Y, ABS_Z, ABS_RZ})
        d.Abs(code, 0, 1023);
    for (int code : {BTN_TRIGGER, BTN_THUMB, BTN_BASE, BTN_TRIGGER_HAPPY1})
        d.Key(code);
    return d;
}

// A pad's own touchpad and motion-sensor nodes, with buttons or axes a joystick would have.
inline FakeDevice Touchpad()
{
    FakeDevice d("Pad Touchpad");
    d.Abs(ABS_X, 0, 1920);
    d.Abs(ABS_MT_POSITION_X, 0, 1920);
    for (int code : {BTN_LEFT, BTN_TOUCH, BTN_TOOL_FINGER, BTN_A})
        d.Key(code);
    return d;
}

inline FakeDevice Accelerometer()
{
    FakeDevice d("Pad Motion Sensors");
    for (int code : {ABS_X, ABS_Y, ABS_Z})
        d.Abs(code, -32768, 32767);
    d.Key(BTN_A);
    d.props.insert(INPUT_PROP_ACCELEROMETER);
    return d;
}

class FakeEvdev {
public:
    std::deque<std::pair<std::string, FakeDevice>> devices;  // stable addresses

    FakeEvdev() { previous_ = JEX_SetEvdevBackend(&kTable), current_ = this; }
    ~FakeEvdev()
    {
        EXPECT_TRUE(fds_.empty()) << "device nodes left open";
        JEX_SetEvdevBackend(previous_), current_ = nullptr;
    }
    FakeDevice &Add(FakeDevice device)
    {
        devices.emplace_back("/dev/input/event" + std::to_string(devices.size()), device);
        return devices.back().second;
    }
    FakeDevice &operator[](size_t i) { return devices.at(i).second; }
    size_t OpenCount() const { return fds_.size(); }

private:
    static FakeDevice *Device(int fd)
    {
        auto it = current_->fds_.find(fd);
        return it == current_->fds_.end() ? nullptr : it->second;
    }
    static void SetBits(const std::set<int> &bits, void *arg, unsigned long request)
    {
        auto *bytes = static_cast<unsigned char *>(arg);
        std::memset(bytes, 0, _IOC_SIZE(request));
        for (int bit : bits)
            if (static_cast<unsigned>(bit / 8) < _IOC_SIZE(request))
                bytes[bit / 8] |= 1 << (bit % 8);
    }
    static std::vector<std::string> Enumerate()
    {
        std::vector<std::string> paths;
        for (auto &[path, device] : current_->devices)
            paths.push_back(path);
        return paths;
    }
    static int Open(const char *path, int flags)
    {
        for (auto &[p, device] : current_->devices) {
            if (p != path)
                continue;
            if (device.open_errno || device.removed)
                return errno = device.removed ? ENOENT : device.open_errno, -1;
            if ((flags & O_ACCMODE) != O_RDONLY && device.rw_errno)
                return errno = device.rw_errno, -1;
            current_->fds_[current_->next_fd_] = &device;
            return current_->next_fd_++;
        }
        return errno = ENOENT, -1;
    }
    static int Ioctl(int fd, unsigned long request, void *arg)
    {
        FakeDevice *d = Device(fd);
        if (!d || d->removed)
            return errno = d ? ENODEV : EBADF, -1;
        const unsigned nr = _IOC_NR(request);
        if (request == EVIOCSFF) {
            if (d->sff_errno)
                return errno = d->sff_errno, -1;
            auto *effect = static_cast<ff_effect *>(arg);
            d->uploads.push_back(*effect);
            if (effect->id == -1)
                effect->id = static_cast<Sint16>(d->next_id++);
            std::vector<Sint16> data;
            if (effect->type == FF_PERIODIC && effect->u.periodic.waveform == FF_CUSTOM)
                data.assign(effect->u.periodic.custom_data,
                            effect->u.periodic.custom_data + effect->u.periodic.custom_len);
            d->custom_data.push_back(data);
            return 0;
        }
        if (request == EVIOCRMFF)
            return d->erased.push_back(reinterpret_cast<long>(arg)), 0;
        if (request == EVIOCGEFFECTS)
            return *static_cast<int *>(arg) = d->slots, 0;
        if (nr == _IOC_NR(EVIOCGNAME(0)))
            return std::strncpy(static_cast<char *>(arg), d->name.c_str(), _IOC_SIZE(request)),
                   static_cast<int>(d->name.size());
        if (nr == _IOC_NR(EVIOCGPROP(0)))
            return SetBits(d->props, arg, request), 0;
        if (nr == _IOC_NR(EVIOCGKEY(0)))
            return SetBits(d->pressed, arg, request), 0;
        if (nr >= 0x40 && nr < 0x40 + ABS_CNT && _IOC_DIR(request) == _IOC_READ) {
            auto it = d->absinfo.find(nr - 0x40);
            if (it == d->absinfo.end())
                return errno = EINVAL, -1;
            return *static_cast<input_absinfo *>(arg) = it->second, 0;
        }
        if (nr >= 0x20 && nr < 0x40) {
            const unsigned ev = nr - 0x20;
            const std::set<int> none, &bits = ev == 0        ? d->ev
                                              : ev == EV_KEY ? d->keys
                                              : ev == EV_ABS ? d->abs
                                              : ev == EV_FF  ? d->ff
                                                             : none;
            return SetBits(bits, arg, request), 0;
        }
        return errno = EINVAL, -1;
    }
    static ssize_t Read(int fd, void *buffer, size_t size)
    {
        FakeDevice *d = Device(fd);
        if (!d)
            return errno = EBADF, -1;
        if (d->pending.empty())
            return errno = d->removed ? ENODEV : EAGAIN, -1;
        // Two events at most per call: short reads as the kernel gives them.
        size_t n = 0;
        auto *events = static_cast<input_event *>(buffer);
        while (n < 2 && (n + 1) * sizeof(input_event) <= size && !d->pending.empty()) {
            events[n++] = d->pending.front();
            d->pending.pop_front();
        }
        return static_cast<ssize_t>(n * sizeof(input_event));
    }
    static ssize_t Write(int fd, const void *buffer, size_t size)
    {
        FakeDevice *d = Device(fd);
        if (!d || d->removed)
            return errno = d ? ENODEV : EBADF, -1;
        d->writes.push_back(*static_cast<const input_event *>(buffer));
        return static_cast<ssize_t>(size);
    }
    static int Close(int fd) { return current_->fds_.erase(fd) ? 0 : (errno = EBADF, -1); }

    static constexpr JEX_EvdevBackend kTable = {Enumerate, Open, Ioctl, Read, Write, Close};
    static inline FakeEvdev *current_ = nullptr;
    const JEX_EvdevBackend *previous_ = nullptr;
    std::map<int, FakeDevice *> fds_;
    int next_fd_ = 3;
};

#endif
