#include "GuiHarness.h"

#include <X11/Xutil.h>
#include <cairo.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace tonewright::guitest {

namespace {

pid_t serverPid = 0;

void stopServer()
{
    if (serverPid > 0) {
        kill(serverPid, SIGTERM);
        waitpid(serverPid, nullptr, 0);
        serverPid = 0;
    }
}

// Starts Xvfb on a free display and points $DISPLAY at it.
bool startServer()
{
    int fds[2];
    if (pipe(fds) != 0) return false;
    const std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return false;
    }
    serverPid = pid;
    std::atexit(stopServer);
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
        stopServer();
        return false;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

Display* openDisplay()
{
    if (const char* name = std::getenv("DISPLAY"); name && *name)
        if (Display* d = XOpenDisplay(nullptr)) return d;
    if (!startServer()) return nullptr;
    return XOpenDisplay(nullptr);
}

}  // namespace

Display* testDisplay()
{
    static Display* display = openDisplay();
    return display;
}

HostWindow::HostWindow(int width, int height)
{
    Display* d = testDisplay();
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = 0x202020;
    window = XCreateWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                           CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(d, window);
    XSync(d, False);
}

HostWindow::~HostWindow()
{
    Display* d = testDisplay();
    XDestroyWindow(d, window);
    XSync(d, False);
}

uint32_t pixel(Window window, int x, int y)
{
    Display* d = testDisplay();
    XImage* image = XGetImage(d, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xFFFFFFFF;
    const auto value = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
    XDestroyImage(image);
    return value;
}

std::vector<Window> children(Window window)
{
    Display* d = testDisplay();
    Window root = 0;
    Window parent = 0;
    Window* list = nullptr;
    unsigned int count = 0;
    std::vector<Window> out;
    if (XQueryTree(d, window, &root, &parent, &list, &count)) {
        out.assign(list, list + count);
        if (list) XFree(list);
    }
    return out;
}

bool haveXdotool() { return std::system("command -v xdotool >/dev/null") == 0; }

bool xdotool(const std::string& arguments)
{
    XSync(testDisplay(), False);
    const std::string command = "xdotool " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool pump(CFrame* frame, const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    bool ok = false;
    while (std::chrono::steady_clock::now() < end) {
        frame->idle();
        if (done()) {
            ok = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    settle(frame);
    return ok;
}

void settle(CFrame* frame)
{
    for (int i = 0; i < 10; ++i) {
        frame->idle();
        XSync(testDisplay(), False);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

BitmapFolder::BitmapFolder()
{
    char name[] = "/tmp/tonewright-gui-XXXXXX";
    folder = mkdtemp(name) ? name : "/tmp";
    setenv("TONEWRIGHT_GUI_BITMAPS", folder.c_str(), 1);
}

BitmapFolder::~BitmapFolder()
{
    unsetenv("TONEWRIGHT_GUI_BITMAPS");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void BitmapFolder::write(long id, int width, int height, const std::function<uint32_t(int x, int y)>& colour)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) row[x] = 0xFF000000u | (colour(x, y) & 0xFFFFFF);
    }
    cairo_surface_mark_dirty(surface);
    cairo_surface_write_to_png(surface, (folder + "/" + std::to_string(id) + ".png").c_str());
    cairo_surface_destroy(surface);
}

std::vector<std::string>& hostCalls()
{
    static std::vector<std::string> calls;
    return calls;
}

namespace {

VstIntPtr recordHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt)
{
    char line[64];
    switch (opcode) {
    case audioMasterBeginEdit: std::snprintf(line, sizeof line, "begin %d", index); break;
    case audioMasterEndEdit: std::snprintf(line, sizeof line, "end %d", index); break;
    case audioMasterAutomate: std::snprintf(line, sizeof line, "automate %d %.4f", index, static_cast<double>(opt)); break;
    case audioMasterVersion: return 2400;
    default: return 0;
    }
    hostCalls().push_back(line);
    return 1;
}

}  // namespace

RecordingEffect::RecordingEffect() : AudioEffectX(recordHost, 1, 8) {}

void RecordingEffect::setParameter(VstInt32 index, float value)
{
    if (index >= 0 && index < 8) values[index] = value;
}

float RecordingEffect::getParameter(VstInt32 index) { return index >= 0 && index < 8 ? values[index] : 0.0f; }

RecordingEditor::RecordingEditor(AudioEffect* owner, int width, int height, Build make)
    : AEffGUIEditor(owner), build(std::move(make))
{
    rect.right = static_cast<VstInt16>(width);
    rect.bottom = static_cast<VstInt16>(height);
}

bool RecordingEditor::open(void* ptr)
{
    AEffGUIEditor::open(ptr);
    frame = new CFrame(CRect(0, 0, rect.right, rect.bottom), ptr, this);
    if (build) build(frame, this);
    return true;
}

void RecordingEditor::close()
{
    if (frame) frame->forget();
    frame = nullptr;
    AEffGUIEditor::close();
}

void RecordingEditor::valueChanged(CControl* control)
{
    char line[96];
    std::snprintf(line, sizeof line, "value %ld %.4f", control->getTag(), static_cast<double>(control->getValue()));
    log.push_back(line);
    if (effect) effect->setParameterAutomated(static_cast<VstInt32>(control->getTag()), control->getValue());
}

long RecordingEditor::controlModifierClicked(CControl* control, long button)
{
    lastModifierButtons = button;
    log.push_back("modifier " + std::to_string(control->getTag()));
    return answerModifierClicks;
}

void RecordingEditor::controlBeginEdit(CControl* control) { log.push_back("begin " + std::to_string(control->getTag())); }
void RecordingEditor::controlEndEdit(CControl* control) { log.push_back("end " + std::to_string(control->getTag())); }

}  // namespace tonewright::guitest
