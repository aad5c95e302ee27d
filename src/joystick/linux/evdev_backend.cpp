// The system's event devices: /dev/input/event<N> through the plain calls.
#include "joystick/linux/evdev_backend.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

std::vector<std::string> SystemEnumerate()
{
    std::vector<std::pair<long, std::string>> found;
    try {
        if (DIR *dir = opendir("/dev/input")) {
            while (const dirent *entry = readdir(dir)) {
                const char *name = entry->d_name;
                if (std::strncmp(name, "event", 5) != 0 || name[5] < '0' || name[5] > '9')
                    continue;
                char *end = nullptr;
                const long number = std::strtol(name + 5, &end, 10);
                if (*end == '\0')
                    found.emplace_back(number, std::string("/dev/input/") + name);
            }
            closedir(dir);
        }
        std::ranges::sort(found);
        std::vector<std::string> paths;
        for (auto &[number, path] : found)
            paths.push_back(std::move(path));
        return paths;
    } catch (const std::bad_alloc &) {
        return {};
    }
}

int SystemOpen(const char *path, int flags)
{
    return ::open(path, flags | O_CLOEXEC);
}

int SystemIoctl(int fd, unsigned long request, void *arg)
{
    return ::ioctl(fd, request, arg);
}

ssize_t SystemRead(int fd, void *buffer, size_t size)
{
    return ::read(fd, buffer, size);
}

ssize_t SystemWrite(int fd, const void *buffer, size_t size)
{
    return ::write(fd, buffer, size);
}

int SystemClose(int fd)
{
    return ::close(fd);
}

constexpr JEX_EvdevBackend kSystem = {SystemEnumerate, SystemOpen,  SystemIoctl,
                                      SystemRead,      SystemWrite, SystemClose};

// Set and read on the application's thread only.
struct EvdevState {
    const JEX_EvdevBackend *backend = &kSystem;
};
EvdevState g_evdev;

}  // namespace

const JEX_EvdevBackend &JEX_Evdev(void)
{
    return *g_evdev.backend;
}

const JEX_EvdevBackend *JEX_SetEvdevBackend(const JEX_EvdevBackend *backend)
{
    const JEX_EvdevBackend *previous = g_evdev.backend;
    g_evdev.backend = backend ? backend : &kSystem;
    return previous;
}
