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
// Only the process that started the server stops it (a forked child that
// exits leaves it running).
pid_t serverOwner = 0;

void stopServer()
{
    if (serverPid > 0 && getpid() == serverOwner) {
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
    serverOwner = getpid();
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

namespace {

template <typename View>
View* firstView(CViewContainer* container)
{
    for (CCView* entry = container->getFirstChild(); entry; entry = entry->pNext) {
        if (auto* found = dynamic_cast<View*>(entry->pView)) return found;
        if (auto* inner = dynamic_cast<CViewContainer*>(entry->pView))
            if (View* found = firstView<View>(inner)) return found;
    }
    return nullptr;
}

}  // namespace

int hostileHost(const std::string& steps, const std::function<AEffect*()>& make)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        alarm(60);
        Display* host = XOpenDisplay(nullptr);
        if (!host) _exit(3);
        const Window window = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 600, 400, 0, 0, 0);
        XMapWindow(host, window);
        XSync(host, False);
        AEffect* e = make();
        auto* editor = dynamic_cast<AEffGUIEditor*>(static_cast<AudioEffect*>(e->object)->getEditor());
        if (!editor || e->dispatcher(e, effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{window}), 0) != 1)
            _exit(4);
        bool destroyed = false;
        for (const char step : steps) {
            CFrame* frame = editor->getFrame();
            switch (step) {
            case 'i':
                e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
                if (destroyed && editor->getFrame() && editor->getFrame()->isOpen()) _exit(5);
                break;
            case 'd':
                XDestroyWindow(host, window);
                XCloseDisplay(host);
                destroyed = true;
                break;
            case 'c': e->dispatcher(e, effEditClose, 0, 0, nullptr, 0); break;
            case 'q': e->dispatcher(e, effClose, 0, 0, nullptr, 0); break;
            case 'm': if (frame) frame->popupMenu(firstView<COptionMenu>(frame)); break;
            case 'f': if (frame) frame->setFocusView(firstView<CTextEdit>(frame)); break;
            case 'h': if (frame) frame->setCursor(kCursorHand); break;
            default: _exit(6);
            }
        }
        _exit(0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
    cairo_surface_write_to_png(surface, path(id).c_str());
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
    // As the product's editor: no window in the host's, no editor.
    auto* made = new CFrame(CRect(0, 0, rect.right, rect.bottom), ptr, this);
    if (ptr && !made->isOpen()) {
        made->forget();
        return false;
    }
    AEffGUIEditor::open(ptr);
    frame = made;
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
