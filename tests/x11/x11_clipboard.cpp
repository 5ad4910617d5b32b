// The X11 clipboard test and latency measurement: a native X11 program that
// copies to the CLIPBOARD selection as desktop programs do, while ZARL.exe runs
// under Wine on the same display, and reads back what a native program then
// finds there. Wine's X11 driver joins the two clipboards: a native copy
// reaches ZARL as Windows clipboard text, ZARL's result becomes the selection.
//
//   zarl-x11-clipboard --zarl=EXE --helper=EXE (--table=FILE | --measure=N)
//                      [--wine-log=FILE] -- EMULATOR...
//
// EMULATOR runs a Windows program under Wine (cmake/wine-run.sh ARCH PREFIX);
// ZARL.exe is started through it from its own folder, found on the display by
// the window that carries its process id (_NET_WM_PID) and its title, and
// closed as a window manager closes a window (WM_DELETE_WINDOW, which Wine
// turns into the Close command). The helper, a Windows program, writes the
// stored settings before a start and chooses system-menu command 1
// ("&Operating"), which X11 cannot reach.
//
// --table runs the rows of copies.txt; --measure=N prints the latency from a
// native copy to its result being readable natively, over N copies. Every
// wait has a deadline. Exit status: 0 when every row passed, 1 when one
// failed, 2 for bad arguments, 77 without an X display (ctest: skipped).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// ZARL starts in about a second under emulation; the first start in a new
// session pays for Wine's own start too.
constexpr Ms kStartTimeout{30000};
constexpr Ms kHelperTimeout{30000};
constexpr Ms kAnswerTimeout{5000};
constexpr Ms kCloseTimeout{10000};
constexpr Ms kSettleTimeout{20000};
// How long the clipboard must stay still, once Wine has taken a copy, for
// ZARL to count as having left it alone: its answer takes milliseconds.
constexpr Ms kQuiet{500};
// A read that is not answered this soon is asked again (see Read).
constexpr Ms kAskAgain{20};
// Wine takes the selection once or more for one write of ZARL's, within
// milliseconds of each other; this long without one, it is done.
constexpr Ms kStill{20};
// A wait for Wine with nothing happening this long wakes it (see WakeWine).
constexpr Ms kWakeAfter{50};

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F && c != '"' ? "%c" : "\\x%02X", c);
        out += hex;
    }
    if (out.size() > 60)
        out = out.substr(0, 40) + "...(" + std::to_string(bytes.size()) + " bytes)";
    return "\"" + out + "\"";
}

// ---------------------------------------------------------------------------
// The table (copies.txt)

struct Row {
    int line = 0;
    std::string settings;  // NAME=VALUE words for the helper; empty: none
    bool pausing = false;
    bool image = false;
    int copies = 1;                     // above 1: a burst, # the copy's number
    std::string copied;                 // UTF-8 bytes
    std::optional<std::string> answer;  // nothing: left as copied
};

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// \xNN is any byte, C{N} the character C N times.
bool Unescape(const std::string& text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        size_t close = text.find('}', i);
        if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            *out += static_cast<char>(std::strtol(text.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else if (text[i] == '{' && !out->empty() && close != std::string::npos) {
            int n = std::atoi(text.substr(i + 1, close - i - 1).c_str());
            if (n < 1 || n > 100000) return false;
            out->append(n - 1, out->back());
            i = close;
        } else {
            *out += text[i];
        }
    }
    return !out->empty();
}

bool ReadTable(const std::string& path, std::vector<Row>* rows) {
    std::ifstream in(path);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (Trim(line).empty() || Trim(line)[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '|');) f.push_back(Trim(field));
        Row row;
        row.line = number;
        bool ok = f.size() == 4 && (f[1] == "operating" || f[1] == "pausing");
        if (ok) {
            const std::string burst = " copies of ";
            if (f[2].find(burst) != std::string::npos) {
                row.copies = std::atoi(f[2].c_str());
                f[2] = f[2].substr(f[2].find(burst) + burst.size());
            }
            row.settings = f[0] == "-" ? "" : f[0];
            row.pausing = f[1] == "pausing";
            row.image = f[2] == "(image)";
            ok = (row.image || Unescape(f[2], &row.copied)) && row.copies >= 1;
            if (f[3] != "(as copied)") {
                std::string answer;
                ok = ok && Unescape(f[3], &answer);
                row.answer = answer;
            }
            ok = ok && (row.copies == 1 || (row.copies >= 4 && row.answer));
        }
        if (!ok) {
            std::fprintf(stderr,
                         "%s:%d: expected SETTINGS | operating or pausing | COPIED | "
                         "READ BACK\n",
                         path.c_str(), number);
            return false;
        }
        rows->push_back(row);
    }
    if (rows->empty()) std::fprintf(stderr, "%s: no rows\n", path.c_str());
    return !rows->empty();
}

std::string Numbered(const std::string& text, int n) {
    std::string out;
    for (char c : text) out += c == '#' ? std::to_string(n) : std::string(1, c);
    return out;
}

// ---------------------------------------------------------------------------
// The native side of the clipboard

class Clipboard {
public:
    bool Open(std::string* why) {
        display_ = XOpenDisplay(nullptr);
        int error = 0;
        if (!display_ || !XFixesQueryExtension(display_, &fixesEvent_, &error)) {
            *why = "no X display with XFixes (DISPLAY " + std::string(XDisplayName(nullptr)) + ")";
            return false;
        }
        // A requestor may be gone before its answer reaches it: no matter.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        Window root = DefaultRootWindow(display_);
        window_ = XCreateSimpleWindow(display_, root, 0, 0, 1, 1, 0, 0, 0);
        for (auto [atom, name] : {std::pair{&clipboard_, "CLIPBOARD"},
                                  {&targets_, "TARGETS"},
                                  {&utf8_, "UTF8_STRING"},
                                  {&png_, "image/png"},
                                  {&property_, "ZARL_X11_CLIPBOARD"},
                                  {&pid_, "_NET_WM_PID"},
                                  {&protocols_, "WM_PROTOCOLS"},
                                  {&close_, "WM_DELETE_WINDOW"}})
            *atom = XInternAtom(display_, name, False);
        XFixesSelectSelectionInput(display_, root, clipboard_,
                                   XFixesSetSelectionOwnerNotifyMask |
                                       XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
        XSync(display_, False);
        return true;
    }

    // Takes the selection with new contents, as a program's Copy does.
    void Copy(const std::string& bytes, bool image) {
        contents_ = bytes;
        target_ = image ? png_ : utf8_;
        XSetSelectionOwner(display_, clipboard_, window_, CurrentTime);
        XFlush(display_);
        ++ownPending_;
        changes_ = fetches_ = 0;
        copiedAt_ = Clock::now();
    }

    // Owner changes to another client (Wine writing ZARL's answer) since the
    // last copy, counted from that copy's own change on.
    int Changes() const { return changes_; }
    // Requests of other clients (Wine taking the copy) since the last copy.
    int Fetches() const { return fetches_; }
    Clock::time_point CopiedAt() const { return copiedAt_; }
    Clock::time_point LastChangeAt() const { return lastChangeAt_; }
    bool Owner() { return XGetSelectionOwner(display_, clipboard_) == window_; }
    int Wakes() const { return wakes_; }
    // Title changes of ZARL's window, two a cycle ("ZARL-Evaluating", then
    // its title again), counted from WatchTitle on.
    int Titles() const { return titles_; }
    // Copies Wine took into the Windows clipboard (it asks for TARGETS
    // first), counted from the start: once or twice for each copy.
    int Imports() const { return imports_; }
    void WatchTitle(Window window) {
        zarl_ = window;
        XSelectInput(display_, window, PropertyChangeMask);
        XSync(display_, False);
    }

    // Handles events until done() holds (true) or the deadline passes (false).
    template <class Done>
    bool WaitFor(Done done, Clock::time_point deadline) {
        for (;;) {
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                Handle(event);
            }
            if (done()) return true;
            auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(std::min<long long>(left, 10)));
        }
    }

    // Handles whatever has arrived, without waiting.
    void Drain() {
        XSync(display_, False);
        WaitFor([] { return true; }, Clock::now());
    }

    // The selection's text as a native program reads it (UTF8_STRING). Wine
    // answers with nothing while ZARL still holds the Windows clipboard open,
    // and Wine 8 may leave an answer unsent until it next handles an event of
    // the X server; so a request that fails, or is not answered within
    // kAskAgain, is made again. Each request carries its number as its time,
    // which the answer repeats: answers to an earlier read do not count.
    std::optional<std::string> Read(Clock::time_point deadline) {
        firstRequest_ = requests_ + 1;
        while (Clock::now() < deadline) {
            XConvertSelection(display_, clipboard_, utf8_, property_, window_, ++requests_);
            XFlush(display_);
            answer_.reset();
            if (WaitFor([&] { return answer_.has_value(); },
                        std::min(deadline, Clock::now() + kAskAgain)) &&
                *answer_)
                return text_;
        }
        return std::nullopt;
    }

    // Wine 8 may leave its clipboard thread asleep while ZARL waits for it to
    // hand over the text of a copy, until an event of the X server comes for
    // that thread (on a desktop, the next copy). A property set and removed on
    // the window that Wine asks for copies with is such an event, and changes
    // nothing else.
    void WakeWine() {
        if (!wine_) return;
        XChangeProperty(display_, wine_, property_, XA_STRING, 8, PropModeReplace, nullptr, 0);
        XDeleteProperty(display_, wine_, property_);
        XFlush(display_);
        ++wakes_;
    }

    // ZARL's main window: the top-level window of process pid (as Wine
    // gives it in _NET_WM_PID; 0: of any process) whose title begins with
    // "ZARL-"; 0 when none.
    std::pair<Window, std::string> ZarlWindow(pid_t pid) {
        std::pair<Window, std::string> found{0, ""};
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
        for (unsigned i = 0; i < count && !found.first; ++i) {
            Atom type;
            int format;
            unsigned long items, after;
            unsigned char* data = nullptr;
            char* name = nullptr;
            bool ours = XGetWindowProperty(display_, children[i], pid_, 0, 1, False, XA_CARDINAL,
                                           &type, &format, &items, &after, &data) == Success &&
                        data && items == 1 && (pid == 0 || *reinterpret_cast<long*>(data) == pid);
            if (data) XFree(data);
            if (ours && XFetchName(display_, children[i], &name) && name) {
                if (std::strncmp(name, "ZARL-", 5) == 0) found = {children[i], name};
                XFree(name);
            }
        }
        if (children) XFree(children);
        return found;
    }

    // What a window manager sends when the user closes a window.
    void AskToClose(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = protocols_;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(close_);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, window, False, NoEventMask, &event);
        XFlush(display_);
    }

private:
    void Handle(XEvent& event) {
        if (event.type == fixesEvent_ + XFixesSelectionNotify) {
            Window owner = reinterpret_cast<XFixesSelectionNotifyEvent&>(event).owner;
            if (owner == window_) {
                ownPending_ = std::max(ownPending_ - 1, 0);
            } else if (ownPending_ == 0 && owner != None) {
                ++changes_;
                lastChangeAt_ = Clock::now();
            }
        } else if (event.type == PropertyNotify && event.xproperty.atom == XA_WM_NAME &&
                   event.xproperty.window == zarl_) {
            ++titles_;
        } else if (event.type == SelectionRequest) {
            Answer(event.xselectionrequest);
        } else if (event.type == SelectionNotify && event.xselection.requestor == window_ &&
                   event.xselection.time >= firstRequest_) {
            answer_ = event.xselection.property != None && ReadProperty();
        }
    }

    void Answer(const XSelectionRequestEvent& request) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.time = request.time;
        reply.xselection.property = request.property != None ? request.property : request.target;
        if (request.requestor != window_) {
            if (ownPending_ == 0) ++fetches_;
            if (request.target == targets_) ++imports_;
            wine_ = request.requestor;
        }
        if (request.target == targets_) {
            Atom offered[] = {targets_, target_};
            XChangeProperty(display_, request.requestor, reply.xselection.property, XA_ATOM, 32,
                            PropModeReplace, reinterpret_cast<unsigned char*>(offered), 2);
        } else if (request.target == target_) {
            XChangeProperty(display_, request.requestor, reply.xselection.property, target_, 8,
                            PropModeReplace,
                            reinterpret_cast<const unsigned char*>(contents_.data()),
                            static_cast<int>(contents_.size()));
        } else {
            reply.xselection.property = None;
        }
        XSendEvent(display_, request.requestor, False, NoEventMask, &reply);
        XFlush(display_);
    }

    // The answer's text; an incremental (INCR) transfer is not expected for
    // ZARL's short results and counts as a failed read.
    bool ReadProperty() {
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        bool ok =
            XGetWindowProperty(display_, window_, property_, 0, 1 << 20, True, AnyPropertyType,
                               &type, &format, &items, &after, &data) == Success &&
            data && format == 8 && type == utf8_ && after == 0;
        text_ = ok ? std::string(reinterpret_cast<char*>(data), items) : std::string();
        if (data) XFree(data);
        return ok;
    }

    Display* display_ = nullptr;
    Window window_ = 0, wine_ = 0, zarl_ = 0;
    int fixesEvent_ = 0;
    Atom clipboard_, targets_, utf8_, png_, property_, pid_, protocols_, close_, target_ = 0;
    std::string contents_, text_;
    int ownPending_ = 0, changes_ = 0, fetches_ = 0, wakes_ = 0, titles_ = 0, imports_ = 0;
    Clock::time_point copiedAt_{}, lastChangeAt_{};
    Time requests_ = 0, firstRequest_ = 0;
    std::optional<bool> answer_;
};

// A 1x1 PNG picture, as an image viewer copies it.
const unsigned char kPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99,
    0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

// ---------------------------------------------------------------------------
// Windows programs under Wine

struct Options {
    std::string zarl, helper, table, wineLog = "/dev/null";
    int measure = 0;
    std::vector<std::string> emulator;
};

pid_t Spawn(const Options& options, std::vector<std::string> program, const std::string& folder) {
    program.insert(program.begin(), options.emulator.begin(), options.emulator.end());
    pid_t pid = fork();
    if (pid != 0) return pid;
    // Ends with this program, however it ends: a Wine process left running
    // would hold the clipboard chain and the prefix for the next test.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int in = open("/dev/null", O_RDONLY);
    int log = open(options.wineLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || log < 0 || (!folder.empty() && chdir(folder.c_str()) != 0)) _exit(126);
    dup2(in, 0);
    dup2(log, 1);
    dup2(log, 2);
    std::vector<char*> argv;
    for (std::string& arg : program) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// The exit status, or nothing when the process still runs at the deadline.
std::optional<int> WaitForExit(pid_t pid, Clock::time_point deadline, Clipboard* clipboard) {
    std::optional<int> status;
    clipboard->WaitFor(
        [&] {
            int raw = 0;
            if (waitpid(pid, &raw, WNOHANG) != pid) return false;
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return true;
        },
        deadline);
    return status;
}

// ZARL.exe started by this program, and the settings it was started with.
class Zarl {
public:
    Zarl(const Options& options, Clipboard* clipboard) : options_(options), x_(clipboard) {}
    ~Zarl() { Close(nullptr); }

    bool Running() const { return pid_ > 0; }
    const std::string& Settings() const { return settings_; }
    bool Pausing() const { return pausing_; }

    bool Start(const std::string& settings, std::string* why) {
        std::vector<std::string> store{"store"};
        std::stringstream words(settings);
        for (std::string word; words >> word;) store.push_back(word);
        if (!Helper(store, why)) return false;
        // Another copy would only show "ZARL is already running."
        auto other = x_->ZarlWindow(0);
        if (other.first) {
            *why =
                "another ZARL is running on this display (\"" + other.second + "\"); end it first";
            return false;
        }
        pid_ = Spawn(options_, {options_.zarl},
                     options_.zarl.substr(0, options_.zarl.find_last_of('/') + 1));
        settings_ = settings;
        pausing_ = false;
        if (!AwaitTitle("ZARL-Operating", kStartTimeout, why)) return false;
        x_->WatchTitle(x_->ZarlWindow(pid_).first);
        return true;
    }

    // System-menu command 1, "&Operating", switches evaluation on or off.
    bool Switch(std::string* why) {
        if (!Helper({"syscommand", "1"}, why)) return false;
        pausing_ = !pausing_;
        return AwaitTitle(pausing_ ? "ZARL-Pausing" : "ZARL-Operating", kAnswerTimeout, why);
    }

    // Closes the main window as a user does and waits for the process to
    // end; kills it when it does not.
    bool Close(std::string* why) {
        if (pid_ <= 0) return true;
        Window window = x_->ZarlWindow(pid_).first;
        if (window) x_->AskToClose(window);
        std::optional<int> status =
            WaitForExit(pid_, window ? Clock::now() + kCloseTimeout : Clock::now(), x_);
        if (!status) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        pid_ = 0;
        if (status == 0) return true;
        if (why)
            *why = status ? "ZARL.exe ended with status " + std::to_string(*status)
                          : "ZARL.exe did not end on its window's Close within " +
                                std::to_string(kCloseTimeout.count()) + " ms (or had no window)";
        return false;
    }

private:
    bool Helper(const std::vector<std::string>& args, std::string* why) {
        std::vector<std::string> program{options_.helper};
        program.insert(program.end(), args.begin(), args.end());
        pid_t pid = Spawn(options_, program, {});
        std::optional<int> status = WaitForExit(pid, Clock::now() + kHelperTimeout, x_);
        if (status == 0) return true;
        if (!status) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        *why = "the helper (" + args[0] + ") " +
               (status ? "failed with status " + std::to_string(*status) : "hung") + ", see " +
               options_.wineLog;
        return false;
    }

    bool AwaitTitle(const std::string& title, Ms timeout, std::string* why) {
        std::string seen = "no window";
        std::optional<int> status;
        auto there = [&] {
            int raw = 0;
            if (waitpid(pid_, &raw, WNOHANG) == pid_) {
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                return true;
            }
            auto window = x_->ZarlWindow(pid_);
            if (window.first) seen = "\"" + window.second + "\"";
            return window.second == title;
        };
        if (x_->WaitFor(there, Clock::now() + timeout) && !status) return true;
        if (status) pid_ = 0;
        *why = status ? "ZARL.exe ended with status " + std::to_string(*status)
                      : "ZARL's window did not show \"" + title + "\" within " +
                            std::to_string(timeout.count()) + " ms (" + seen + ")";
        return false;
    }

    const Options& options_;
    Clipboard* x_;
    pid_t pid_ = 0;
    std::string settings_;
    bool pausing_ = false;
};

// ---------------------------------------------------------------------------
// The checks

class Run {
public:
    explicit Run(Clipboard* clipboard) : x_(clipboard) {}

    // Copies and expects exactly `answer` to be readable natively afterwards,
    // written by somebody else; records the latency.
    bool ExpectAnswer(const std::string& copied, const std::string& answer, std::string* why) {
        if (!NothingChangedSinceLastCheck(why)) return false;
        x_->Copy(copied, false);
        auto deadline = x_->CopiedAt() + kAnswerTimeout;
        if (!AwaitWine([&] { return x_->Changes() > 0; }, deadline)) {
            *why = "no answer within " + std::to_string(kAnswerTimeout.count()) + " ms";
            return false;
        }
        std::optional<std::string> read = x_->Read(deadline);
        latencies_.push_back(MsSince(x_->CopiedAt()));
        // Wine takes the selection once or more for one write of ZARL's (when
        // ZARL empties the clipboard, when it closes it, when a format is
        // made for a reader): ZARL's cycles count, not the owner changes.
        allowed_ = std::numeric_limits<int>::max();
        if (read == answer) {
            AwaitIdle();
            return true;
        }
        *why = "read back " + (read ? Printable(*read) : std::string("no text"));
        return false;
    }

    // Copies and expects the clipboard to stay as copied: Wine takes the copy
    // (it asks this program for it) and then nobody takes the selection
    // over; a pausing ZARL does not even look at it.
    bool ExpectLeftAlone(const std::string& copied, bool image, bool pausing, std::string* why) {
        if (!NothingChangedSinceLastCheck(why)) return false;
        x_->Copy(copied, image);
        if (!x_->WaitFor([&] { return x_->Fetches() > 0; }, x_->CopiedAt() + kAnswerTimeout)) {
            *why = "Wine did not take the copy (without the 32-bit libXfixes it looks every 2 s)";
            return false;
        }
        int titles = x_->Titles();
        x_->WaitFor([&] { return x_->Changes() > 0; }, Clock::now() + kQuiet);
        allowed_ = 0;
        if (pausing && x_->Titles() != titles) {
            *why = "ZARL, pausing, ran a cycle";
            return false;
        }
        if (x_->Changes() == 0 && x_->Owner()) return true;
        std::optional<std::string> read = x_->Read(Clock::now() + kAnswerTimeout);
        *why = "the clipboard was taken over, now " + (read ? Printable(*read) : "not text");
        allowed_ = x_->Changes();
        return false;
    }

    // A burst: the first half of the copies back to back, faster than ZARL
    // answers, then the second half one by one. Once the clipboard settles
    // after the first half it holds ZARL's answer to one of them: mostly the
    // last, but a copy made while Wine takes over an earlier answer is gone,
    // as a copy made at that moment is on any clipboard. Every copy of the
    // second half is answered.
    bool Burst(const Row& row, std::string* why) {
        if (!NothingChangedSinceLastCheck(why)) return false;
        int fast = row.copies / 2;
        for (int n = 1; n <= fast; ++n) {
            x_->Copy(Numbered(row.copied, n), false);
            x_->Drain();
        }
        auto settled = [&] {
            auto last = std::max(x_->LastChangeAt(), x_->CopiedAt());
            return x_->Changes() > 0 && Clock::now() - last >= kQuiet;
        };
        std::optional<std::string> read;
        if (AwaitWine(settled, Clock::now() + kSettleTimeout))
            read = x_->Read(Clock::now() + kAnswerTimeout);
        allowed_ = x_->Changes();
        int answered = 0;
        for (int n = 1; n <= fast && !answered; ++n)
            if (read == Numbered(*row.answer, n)) answered = n;
        if (!answered) {
            *why = "after " + std::to_string(fast) + " copies back to back the clipboard " +
                   (read ? "holds " + Printable(*read) : "did not settle on a text");
            return false;
        }
        for (int n = fast + 1; n <= row.copies; ++n) {
            std::string copied = Numbered(row.copied, n);
            if (!ExpectAnswer(copied, Numbered(*row.answer, n), why)) {
                *why = "copy " + std::to_string(n) + " " + Printable(copied) + ": " + *why;
                return false;
            }
        }
        return true;
    }

    // At the end of a stretch: ZARL stays idle and the clipboard still.
    bool StaysQuiet(std::string* why) {
        x_->WaitFor([&] { return x_->Changes() > allowed_ || CyclesBeyondImports() > 0; },
                    Clock::now() + kQuiet);
        return NothingChangedSinceLastCheck(why);
    }

    // What changed while ZARL was started or switched is nobody's answer.
    void Rebase() {
        x_->Drain();
        allowed_ = x_->Changes();
        titles_ = x_->Titles();
        imports_ = x_->Imports();
    }

    std::vector<double>& Latencies() { return latencies_; }

private:
    // Waits for done(), waking Wine whenever nothing happens for kWakeAfter.
    template <class Done>
    bool AwaitWine(Done done, Clock::time_point deadline) {
        while (!x_->WaitFor(done, std::min(deadline, Clock::now() + kWakeAfter))) {
            if (Clock::now() >= deadline) return false;
            x_->WakeWine();
        }
        return true;
    }

    // ZARL has ended its cycles (its title is back) and Wine is done with
    // its write (the selection has stayed a moment): the next copy comes
    // after the last answer, not in the middle of it.
    void AwaitIdle() {
        x_->WaitFor(
            [&] {
                return (x_->Titles() - titles_) % 2 == 0 &&
                       Clock::now() - x_->LastChangeAt() >= kStill;
            },
            Clock::now() + kAnswerTimeout);
    }

    // Cycles of ZARL's since the last Rebase that no copy explains. Each
    // copy Wine takes gives ZARL one notification, which starts one cycle at
    // most; a cycle more took ZARL's own result (which, in the prefix-key
    // rows, is itself an expression). A cycle under way counts.
    int CyclesBeyondImports() {
        return (x_->Titles() - titles_ + 1) / 2 - (x_->Imports() - imports_);
    }

    // Since the last check ZARL took none of its own results, and, when it
    // left a copy alone, nobody took the clipboard over.
    bool NothingChangedSinceLastCheck(std::string* why) {
        x_->Drain();
        int cycles = CyclesBeyondImports(), changes = x_->Changes() - allowed_;
        allowed_ = std::max(allowed_, x_->Changes());
        if (cycles > 0)
            *why = "ZARL ran " + std::to_string(cycles) +
                   " cycle(s) more than Wine gave it copies: it took its own result";
        else if (changes > 0)
            *why = "the clipboard changed " + std::to_string(changes) +
                   " time(s) after ZARL left it alone";
        return cycles <= 0 && changes <= 0;
    }

    Clipboard* x_;
    int allowed_ = 0;               // owner changes since the last copy that were its answer
    int titles_ = 0, imports_ = 0;  // at the last Rebase
    std::vector<double> latencies_;
};

void PrintLatency(const char* what, std::vector<double> ms, int wakes) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    auto rank = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    std::printf(
        "%s: %zu rounds, median %.2f ms, 95th percentile %.2f ms, max %.2f ms; "
        "Wine's clipboard thread woken %d time(s)\n",
        what, ms.size(), rank(0.5), rank(0.95), ms.back(), wakes);
}

// The table's rows in order; ZARL is started anew whenever the stored
// settings change, and switched when a row wants it operating or pausing.
int RunTable(const std::vector<Row>& rows, Clipboard* x, Zarl* zarl) {
    Run run(x);
    int failures = 0;
    std::string why;
    auto fail = [&](const char* where, int line) {
        std::printf("FAILED %s line %d: %s\n", where, line, why.c_str());
        ++failures;
    };
    for (const Row& row : rows) {
        if (zarl->Running() && zarl->Settings() != row.settings) {
            if (!run.StaysQuiet(&why)) fail("before", row.line);
            if (!zarl->Close(&why)) fail("before", row.line);
        }
        bool fresh = !zarl->Running() || zarl->Pausing() != row.pausing;
        if ((!zarl->Running() && !zarl->Start(row.settings, &why)) ||
            (zarl->Pausing() != row.pausing && !zarl->Switch(&why))) {
            fail("at", row.line);
            return 1;
        }
        if (fresh) run.Rebase();
        Clock::time_point start = Clock::now();
        std::string png(std::begin(kPng), std::end(kPng));
        bool ok = row.copies > 1 ? run.Burst(row, &why)
                  : row.answer   ? run.ExpectAnswer(row.copied, *row.answer, &why)
                                 : run.ExpectLeftAlone(row.image ? png : row.copied, row.image,
                                                     row.pausing, &why);
        std::printf("%s line %d: %s%s -> %s (%.0f ms)\n", ok ? "ok" : "FAILED", row.line,
                    row.copies > 1 ? (std::to_string(row.copies) + " copies of ").c_str() : "",
                    row.image ? "(image)" : Printable(row.copied).c_str(),
                    row.answer ? Printable(*row.answer).c_str() : "(as copied)", MsSince(start));
        if (!ok) fail("at", row.line);
    }
    if (!run.StaysQuiet(&why)) fail("after", rows.back().line);
    if (!zarl->Close(&why)) fail("after", rows.back().line);
    PrintLatency("answers read back natively", run.Latencies(), x->Wakes());
    if (failures) std::printf("%d failure(s)\n", failures);
    return failures ? 1 : 0;
}

// Latency with the default settings: copies of n+0= one by one, each
// answered by n, after a few that warm Wine and ZARL up.
int Measure(int rounds, Clipboard* x, Zarl* zarl) {
    const int warmUp = 10;
    Run run(x);
    std::string why;
    bool ok = zarl->Start("", &why);
    run.Rebase();
    for (int n = 1; ok && n <= warmUp + rounds; ++n) {
        if (n == warmUp + 1) run.Latencies().clear();
        ok = run.ExpectAnswer(Numbered("#+0=", n), Numbered("#", n), &why);
    }
    if (!(ok && run.StaysQuiet(&why) && zarl->Close(&why))) {
        std::printf("FAILED: %s\n", why.c_str());
        return 1;
    }
    PrintLatency("native copy of n+0= to n read back natively", run.Latencies(), x->Wakes());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        std::string arg = argv[i];
        std::string name = arg.substr(0, arg.find('=')), value = arg.substr(name.size());
        value = value.empty() ? value : value.substr(1);
        if (name == "--zarl")
            options.zarl = value;
        else if (name == "--helper")
            options.helper = value;
        else if (name == "--table")
            options.table = value;
        else if (name == "--wine-log")
            options.wineLog = value;
        else if (name == "--measure")
            options.measure = std::atoi(value.c_str());
        else
            break;
    }
    for (++i; i < argc; ++i) options.emulator.push_back(argv[i]);
    std::vector<Row> rows;
    if (options.zarl.empty() || options.helper.empty() || options.emulator.empty() ||
        options.table.empty() == (options.measure <= 0)) {
        std::fprintf(stderr,
                     "usage: %s --zarl=EXE --helper=EXE (--table=FILE | --measure=N) "
                     "[--wine-log=FILE] -- EMULATOR...\n",
                     argv[0]);
        return 2;
    }
    if (!options.table.empty() && !ReadTable(options.table, &rows)) return 2;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Clipboard x;
    std::string why;
    if (!x.Open(&why)) {
        std::printf("SKIPPED: %s; cmake/wine-session.sh gives a display\n", why.c_str());
        return 77;
    }
    Zarl zarl(options, &x);
    Clock::time_point begin = Clock::now();
    int status =
        options.measure > 0 ? Measure(options.measure, &x, &zarl) : RunTable(rows, &x, &zarl);
    std::printf("whole run %.1f s\n", MsSince(begin) / 1000);
    return status;
}
