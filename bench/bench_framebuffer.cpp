// Window surface present at 1024x768 through MIT-SHM, against a raw loop of
// XShmPutImage + XSync on a window of the same size, both on one private
// Xvfb started here. The ratio counter is raw time / library time (>= 1 is
// as fast as the raw loop).

#include "JEX_error.h"
#include "JEX_hints.h"
#include "JEX_video.h"
#include "video/x11/x11_dyn.h"
#include "video/x11/x11_window.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/prctl.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kW = 1024, kH = 768;

// A private Xvfb on a display number of its own choosing.
struct Server {
    pid_t pid = -1;
    bool Start()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(fds[0]);
            const int null_fd = open("/dev/null", O_WRONLY);
            dup2(null_fd, 1);
            dup2(null_fd, 2);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset",
                   "-screen", "0", "1280x1024x24", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char line[32] = "";
        FILE *in = fdopen(fds[0], "r");
        const bool ok = pid > 0 && in && std::fgets(line, sizeof(line), in);
        if (in)
            std::fclose(in);
        if (ok) {
            std::string name(1, ':');
            name.append(line, std::strcspn(line, "\n"));
            setenv("DISPLAY", name.c_str(), 1);
        }
        return ok;
    }
    ~Server()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};
Server g_server;

void Fill(Uint8 *pixels, size_t bytes, int frame)
{
    std::memset(pixels, frame & 0xFF, bytes);
}

// Both windows are measured once the server shows them: puts to a window
// that is not viewable cost the server nothing.
// The shown area and depth go into the report, to show that both sides
// put the same pixels.
void WaitViewable(benchmark::State &state, Display *display, Window window)
{
    XWindowAttributes a{};
    for (int i = 0; i < 500 && a.map_state != IsViewable; ++i) {
        X11.XSync(display, False);
        X11.XGetWindowAttributes(display, window, &a);
        if (a.map_state != IsViewable)
            usleep(2000);
    }
    state.counters["shown_px"] = a.map_state == IsViewable ? double(a.width) * a.height : 0;
    state.counters["depth"] = a.depth;
}

void BM_RawXShmPutImage(benchmark::State &state)
{
    Display *display = X11.XOpenDisplay(nullptr);
    if (!display || !X11.XShmQueryExtension(display)) {
        state.SkipWithError("no X server with MIT-SHM");
        return;
    }
    const int screen = DefaultScreen(display);
    Visual *visual = DefaultVisual(display, screen);
    XSetWindowAttributes xa{};
    const Window window = X11.XCreateWindow(display, RootWindow(display, screen), 0, 0, kW, kH, 0,
                                            CopyFromParent, InputOutput, visual, CWBackPixel, &xa);
    X11.XMapWindow(display, window);
    WaitViewable(state, display, window);
    XGCValues values{};
    values.graphics_exposures = False;
    GC gc = X11.XCreateGC(display, window, GCGraphicsExposures, &values);
    XShmSegmentInfo shminfo{};
    XImage *image = X11.XShmCreateImage(display, visual, unsigned(DefaultDepth(display, screen)),
                                        ZPixmap, nullptr, &shminfo, kW, kH);
    shminfo.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * kH, IPC_CREAT | 0600);
    shminfo.shmaddr = image->data = static_cast<char *>(shmat(shminfo.shmid, nullptr, 0));
    X11.XShmAttach(display, &shminfo);
    X11.XSync(display, False);
    shmctl(shminfo.shmid, IPC_RMID, nullptr);
    int frame = 0;
    for (auto _ : state) {
        Fill(reinterpret_cast<Uint8 *>(image->data), size_t(image->bytes_per_line) * kH, ++frame);
        X11.XShmPutImage(display, window, gc, image, 0, 0, 0, 0, kW, kH, False);
        X11.XSync(display, False);
    }
    X11.XShmDetach(display, &shminfo);
    X11.XSync(display, False);
    shmdt(shminfo.shmaddr);
    image->data = nullptr;
    image->obdata = nullptr;
    XDestroyImage(image);
    X11.XFreeGC(display, gc);
    X11.XDestroyWindow(display, window);
    X11.XCloseDisplay(display);
    state.SetItemsProcessed(state.iterations());
}

void BM_WindowSurfacePresent(benchmark::State &state)
{
    // The driver's own framebuffer, whatever renderers exist.
    JEX_SetHint("JEX_FRAMEBUFFER_ACCELERATION", "0");
    if (JEX_VideoInit("x11") < 0) {
        state.SkipWithError(JEX_GetError());
        return;
    }
    JEX_Window *window = JEX_CreateWindow("bench", 0, 0, kW, kH, JEX_WINDOW_SHOWN);
    JEX_Surface *surface = window ? JEX_GetWindowSurface(window) : nullptr;
    if (!surface || !static_cast<X11_WindowData *>(window->driverdata)->use_mitshm) {
        state.SkipWithError(surface ? "no shared memory" : JEX_GetError());
        JEX_VideoQuit();
        return;
    }
    Display *display = static_cast<X11_WindowData *>(window->driverdata)->videodata->display;
    WaitViewable(state, display, static_cast<X11_WindowData *>(window->driverdata)->xwindow);
    int frame = 0;
    for (auto _ : state) {
        Fill(static_cast<Uint8 *>(surface->pixels), size_t(surface->pitch) * kH, ++frame);
        JEX_UpdateWindowSurface(window);
    }
    JEX_VideoQuit();
    state.SetItemsProcessed(state.iterations());
}

// Console output plus each benchmark's median wall time: the server's copy
// is part of a present, and it runs in another process.
class Recorder : public benchmark::ConsoleReporter {
public:
    Recorder() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median" &&
                !r.error_occurred)
                times[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

BENCHMARK(BM_RawXShmPutImage)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.5)
    ->Repetitions(9)
    ->UseRealTime();
BENCHMARK(BM_WindowSurfacePresent)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.5)
    ->Repetitions(9)
    ->UseRealTime();

int main(int argc, char **argv)
{
    // The machine's load drifts: repetitions of the two take turns.
    std::vector<char *> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    if (!g_server.Start() || !JEX_X11_LoadSymbols()) {
        std::fprintf(stderr, "bench_framebuffer: Xvfb or the X libraries are missing\n");
        return 1;
    }
    Recorder rec;
    benchmark::RunSpecifiedBenchmarks(&rec);
    JEX_X11_UnloadSymbols();
    const auto ours = rec.times.find("BM_WindowSurfacePresent");
    const auto raw = rec.times.find("BM_RawXShmPutImage");
    if (ours == rec.times.end() || raw == rec.times.end() || ours->second <= 0) {
        std::printf("RATIO window surface present 1024x768 vs raw XShmPutImage: n/a\n");
    } else {
        const double ratio = raw->second / ours->second;
        std::printf("RATIO window surface present 1024x768 vs raw XShmPutImage: %.2f (goal 0.95) "
                    "%s\n",
                    ratio, ratio >= 0.95 ? "met" : "NOT met");
    }
    benchmark::Shutdown();
    return 0;
}
