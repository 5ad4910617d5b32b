// A soak of the running ZARL.exe: a long stream of clipboard changes made as
// other programs make them, with ZARL's settings and windows changed on the
// way, and at the end the checks that a long run must pass: no answer lost or
// wrong, nothing written that should not be, ZARL still evaluating, the
// clipboard-viewer chain intact, the store holding exactly what was last
// saved, and the program's memory flat. Run by soak.sh (and briefly by ctest
// as soak_short); prints its figures and exits 1 when a check fails.
//
//   zarl_e2e_soak [--changes=N] [--seed=N]
//
// The expected answer of every copy is computed in advance by the program's
// own evaluator and clipboard text rules (zarl_core, linked in) on a model of
// ZARL's settings and state: the previous result "?", the Result window's
// history. A viewer of this program joins the chain before ZARL (behind it)
// and one after (ahead of it); with Delay 0 the one ahead passes each change
// on to ZARL inside this program's CloseClipboard and waits for ZARL's
// evaluation cycle, so every copy is answered, or not, when the copy returns,
// and nothing here waits for a quiet period.
//
// Stages: a few starts with settings written into the registry while ZARL is
// closed (stored texts the loader must correct included), then one long-lived
// process whose settings change through its Settings dialog, round after
// round, with the Result and Immediate windows opened and closed from the
// system menu, a pause, bursts with Delay 100 and a stretch with "No Copy".
// Its memory is read from Linux (/proc of the process running ZARL.exe,
// through drive Z:) at its start, after its first 1,000 changes (the mark:
// every kind of activity has run once by then) and at the end; from the mark
// on it must stay flat.
#include "harness.h"

#include "app/cycle_text.h"
#include "eval/evaluate.h"
#include "eval/format.h"
#include "res/resource.h"
#include "settings/constants.h"
#include "settings/settings.h"
#include "settings/settings_codec.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace e2e;

namespace {

// ---------------------------------------------------------------------------
// ZARL's settings as the soak sets them, and what ZARL must make of a copy

struct Config {
    char key;
    int position;
    unsigned short delay;
    int angle;
    std::string sign;
    std::string type;
    int precision;
    bool separators;
    bool shiftJis;
    int hexForm;
    bool noCopy;
};

// "=" as the last character, no delay, radians, "%.15g", signed hexadecimal.
const Config kDefaults = {'=', KeySuffix, 0,     AngleRadians, "-",  "g",
                          15,  false,     false, HexSigned,    false};

const char kKeys[] = "=?!@#+";  // the order of the Settings dialog's key list
const unsigned short kDelays[] = {0, 1, 10, 100};
const char* const kTypes[] = {"g", "G", "e", "E", "f"};

bool operator==(const Config& a, const Config& b) {
    return a.key == b.key && a.position == b.position && a.delay == b.delay && a.angle == b.angle &&
           a.sign == b.sign && a.type == b.type && a.precision == b.precision &&
           a.separators == b.separators && a.shiftJis == b.shiftJis && a.hexForm == b.hexForm &&
           a.noCopy == b.noCopy;
}
bool operator!=(const Config& a, const Config& b) {
    return !(a == b);
}

std::string Describe(const Config& c) {
    std::ostringstream out;
    out << "key " << c.key << (c.position == KeyPrefix ? " first" : " last") << ", delay "
        << c.delay << ", " << (c.angle == AngleDegrees ? "degrees" : "radians") << ", %"
        << (c.sign == "+" ? "+" : "") << "." << c.precision << c.type << ", hex "
        << HexadecimalFormText(c.hexForm) << (c.separators ? ", separators" : "")
        << (c.shiftJis ? ", Shift-JIS" : "") << (c.noCopy ? ", no copy" : "");
    return out.str();
}

// The user constants stored before the first start; they stay through every
// save.
const std::pair<const char*, const char*> kConstants[] = {{"PI", "3.14159"}, {"G1", "9.81"}};

// The soak's own copy of the evaluator's settings follows ZARL's.
void ApplyToModel(const Config& c) {
    Settings.EvalKey = c.key;
    Settings.EvalKeyPosition = c.position;
    Settings.Delay = c.delay;
    SetAngleUnit(c.angle);
    std::snprintf(Settings.OutFormatSign, sizeof Settings.OutFormatSign, "%s", c.sign.c_str());
    std::snprintf(Settings.OutFormatType, sizeof Settings.OutFormatType, "%s", c.type.c_str());
    Settings.OutFormatPrecision = c.precision;
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
    Settings.InsThousandSep = c.separators;
    Settings.ShiftJIS = c.shiftJis;
    Settings.HexadecimalForm = c.hexForm;
    Settings.NoCopy = c.noCopy;
}

struct Answer {
    bool evaluated = false;
    std::string clipboard;                // the bytes ZARL puts on the clipboard
    std::string entry = "Not Evaluated";  // the Result window's new entry
};

Answer Deliver(bool fullWidth) {
    Answer a;
    if (Settings.InsThousandSep) InsertThousandSeparators(ResultText);
    std::vector<char> block(ClipboardBlockSize(ResultText), '\0');
    FillClipboardBlock(block.data(), ResultText, fullWidth);
    a.evaluated = true;
    a.clipboard = block.data();
    a.entry = ResultText;
    return a;
}

// One evaluation cycle of ZARL on a clipboard holding text ("" for no text at
// all), through the same rules; it moves the model's previous result as
// ZARL's moves.
Answer ModelCycle(const std::string& text) {
    FullWidthKey = 0;
    if (!TakeClipboardText(text.c_str())) return Answer();
    TrimLineEnds(ClipboardText);
    const char* expression = ExtractExpression();
    if (expression == nullptr || !Evaluate(expression, ResultText)) return Answer();
    return Deliver(FullWidthKey != 0);
}

// The Immediate window's cycle on a typed text.
Answer ModelImmediate(const std::string& text) {
    FullWidthKey = 0;
    if (text.size() > size_t(MaxExpressionLength) || !Evaluate(text.c_str(), ResultText))
        return Answer();
    return Deliver(false);
}

// Exact answers under the defaults: they keep the model itself honest.
struct Anchor {
    const char* text;
    const char* result;  // null: not evaluated
};
const Anchor kAnchors[] = {
    {"1+2=", "3"},
    {"2+3*4=", "14"},
    {"2^3^2=", "64"},
    {"-2^2=", "-4"},
    {"0x1F+&h10=", "47"},
    {"255@H=", "&HFF"},
    {"SQRT(2)=", "1.4142135623731"},
    {"1/3=", "0.333333333333333"},
    {"1e20*10=", "1e+021"},
    {"PI*2=\r\n", "6.28318"},
    {"1/0=", nullptr},
    {"1+2", nullptr},
    {"=1+2", nullptr},
};

// What the store must hold after a save: every value that SaveSettings and
// the position saves write, in its stored form.
struct WindowState {
    bool resultOpen = false, imdOpen = false;
    bool showResult = false, showImd = false;  // stored: reopened at the next start
    bool resultFloat = false, imdFloat = false;
    POINT resultPos{10, 60}, imdPos{10, 10};
};

RegValue StoredText(const std::string& text) {
    return RegValue{REG_SZ, text + '\0'};
}
RegValue StoredNumber(DWORD number) {
    return RegValue{REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number)};
}
RegValue StoredFlag(bool flag) {
    return StoredText(FlagText(flag));
}

RegSnapshot ExpectedSettingsKey(const Config& c, const WindowState& w) {
    return {
        {"Version", StoredText("3.05")},
        {"EvalKey", StoredText(std::string(1, c.key))},
        {"EvalKeyPosition", StoredText(EvalKeyPositionText(c.position))},
        {"Delay", StoredNumber(c.delay)},
        {"AngleUnit", StoredText(AngleUnitText(c.angle))},
        {"OutFormatSign", StoredText(c.sign)},
        {"OutFormatType", StoredText(c.type)},
        {"OutFormatPrecision", StoredNumber(c.precision)},
        {"InsThousandSep", StoredFlag(c.separators)},
        {"ShiftJIS", StoredFlag(c.shiftJis)},
        {"HexadecimalForm", StoredText(HexadecimalFormText(c.hexForm))},
        {"NoCopy", StoredFlag(c.noCopy)},
        {"AttachResToImd", StoredFlag(false)},
        {"ShowResultWindow", StoredFlag(w.showResult)},
        {"ShowImdWindow", StoredFlag(w.showImd)},
        {"ResultWindowFloat", StoredFlag(w.resultFloat)},
        {"ImdWindowFloat", StoredFlag(w.imdFloat)},
        {"WriteIni", StoredFlag(false)},
        {"ResultWindowPosX", StoredNumber(static_cast<DWORD>(w.resultPos.x))},
        {"ResultWindowPosY", StoredNumber(static_cast<DWORD>(w.resultPos.y))},
        {"ImdWindowPosX", StoredNumber(static_cast<DWORD>(w.imdPos.x))},
        {"ImdWindowPosY", StoredNumber(static_cast<DWORD>(w.imdPos.y))},
    };
}

RegSnapshot ExpectedConstantsKey() {
    RegSnapshot snapshot;
    for (const auto& [name, text] : kConstants) snapshot[name] = StoredText(text);
    return snapshot;
}

// Settings written into the registry while ZARL is closed, and what the
// start must make of them (the stored texts it corrects included).
struct StoredRow {
    const char* name;
    std::vector<Setting> stored;
    Config effective;
};

std::vector<StoredRow> RestartRows() {
    return {
        {"prefix #, Delay 150 read as 100, degrees, %+.4f, Result window",
         {Text("EvalKey", "#~"), Text("EvalKeyPosition", "PREFIX"), Dword("Delay", 150),
          Text("AngleUnit", "Deg"), Text("OutFormatSign", "+"), Text("OutFormatType", "f"),
          Dword("OutFormatPrecision", 4), Text("InsThousandSep", "No"), Text("ShiftJIS", "No"),
          Text("HexadecimalForm", "SIGNED"), Text("NoCopy", "No"), Text("ShowResultWindow", "Yes"),
          Text("ShowImdWindow", "No"), Text("ResultWindowFloat", "No"),
          Text("ImdWindowFloat", "No")},
         {'#', KeyPrefix, 100, AngleDegrees, "+", "f", 4, false, false, HexSigned, false}},
        {"suffix !, Delay 5 read as 1, \"deg\" read as radians, precision 30 read as 15, "
         "Shift-JIS, separators, floating Immediate window",
         {Text("EvalKey", "!"), Text("EvalKeyPosition", "suffix"), Dword("Delay", 5),
          Text("AngleUnit", "deg"), Text("OutFormatSign", "-"), Text("OutFormatType", "E"),
          Dword("OutFormatPrecision", 30), Text("InsThousandSep", "Yes"), Text("ShiftJIS", "Yes"),
          Text("HexadecimalForm", "COMPLEMENT_8BIT"), Text("NoCopy", "No"),
          Text("ShowResultWindow", "No"), Text("ShowImdWindow", "Yes"),
          Text("ResultWindowFloat", "No"), Text("ImdWindowFloat", "Yes")},
         {'!', KeySuffix, 1, AngleRadians, "-", "E", 15, true, true, HexComplement8, false}},
        {"suffix @, foreign sign and type read as - and g, \"yes\" read as No, both windows",
         {Text("EvalKey", "@"), Text("EvalKeyPosition", "SUFFIX"), Dword("Delay", 0),
          Text("AngleUnit", "Rad"), Text("OutFormatSign", "x"), Text("OutFormatType", "q"),
          Dword("OutFormatPrecision", 7), Text("InsThousandSep", "yes"), Text("ShiftJIS", "No"),
          Text("HexadecimalForm", "COMPLEMENT_32BIT"), Text("NoCopy", "No"),
          Text("ShowResultWindow", "Yes"), Text("ShowImdWindow", "Yes"),
          Text("ResultWindowFloat", "Yes"), Text("ImdWindowFloat", "No")},
         {'@', KeySuffix, 0, AngleRadians, "-", "g", 7, false, false, HexComplement32, false}},
    };
}

// The start of the long-lived process: the defaults, written out.
StoredRow DefaultsRow() {
    return {"the defaults, with the Result window",
            {Text("EvalKey", "="), Text("EvalKeyPosition", "SUFFIX"), Dword("Delay", 0),
             Text("AngleUnit", "Rad"), Text("OutFormatSign", "-"), Text("OutFormatType", "g"),
             Dword("OutFormatPrecision", 15), Text("InsThousandSep", "No"), Text("ShiftJIS", "No"),
             Text("HexadecimalForm", "SIGNED"), Text("NoCopy", "No"),
             Text("ShowResultWindow", "Yes"), Text("ShowImdWindow", "No"),
             Text("ResultWindowFloat", "No"), Text("ImdWindowFloat", "No")},
            kDefaults};
}

bool StoredFlagIs(const StoredRow& row, const char* name) {
    for (const Setting& s : row.stored)
        if (s.name == name) return !s.isDword && s.text == "Yes";
    return false;
}

// ---------------------------------------------------------------------------
// The texts other programs copy

enum Kind {
    kExpression,  // an expression with the key: mostly evaluated, some fail
    kMangled,     // an expression damaged by a character inserted, dropped or doubled
    kNoKey,       // an expression without the key, or with it at the other end
    kGarbage,     // random bytes, with the key or without
    kBlank,       // "", line ends alone, the key alone
    kLong1023,    // 1023 bytes with the key: evaluated
    kLong1024,    // 1024 bytes: refused, even when only line ends make it that long
    kFullWidth,   // Shift-JIS full-width digits and signs, full-width key or not
    kAnchor,      // a row of kAnchors (under the defaults only)
    kBitmap,      // a picture, no text
    kEmpty,       // an emptied clipboard
    kBurstMember,
    kPaused,  // a valid expression copied while ZARL pauses
    kKinds
};
const char* const kKindNames[kKinds] = {
    "expression", "damaged expression", "no key",       "random bytes", "blank or key alone",
    "1023 bytes", "1024 bytes",         "full-width",   "exact table",  "bitmap",
    "emptied",    "burst member",       "while pausing"};

class TextMaker {
public:
    explicit TextMaker(unsigned seed) : rng_(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool Chance(int percent) { return Below(100) < percent; }

    std::string Number() {
        switch (Below(9)) {
            case 0:
            case 1: return std::to_string(Below(1000));
            case 2: return std::to_string(Below(1000000000));
            case 3: return std::to_string(Below(10000)) + "." + std::to_string(Below(1000));
            case 4:
                return std::to_string(1 + Below(9)) + "." + std::to_string(Below(100)) +
                       (Chance(50) ? "e" : "E") + (Chance(30) ? "-" : "") +
                       std::to_string(Below(25));
            case 5: {
                std::string digits;
                for (int i = Below(8); i >= 0; --i) digits += "0123456789abcdefABCDEF"[Below(22)];
                const char* prefixes[] = {"0x", "0X", "&h", "&H"};
                return prefixes[Below(4)] + digits;
            }
            case 6: return "." + std::to_string(Below(100));
            case 7: return kConstants[Below(2)].first;
            default: return "0";
        }
    }

    // previous: "?" may stand for the previous result.
    std::string Expression(int depth, bool previous) {
        static const char* const functions[] = {
            "ABS",  "ACOS",  "ASIN",  "ATAN",  "COS", "SIN",   "TAN",  "COSH", "SINH",
            "TANH", "ACOSH", "ASINH", "ATANH", "EXP", "LOG",   "LOGE", "LN",   "LOG10",
            "LOG2", "SQRT",  "DEG",   "RAD",   "SGN", "FLOOR", "CEIL", "sqrt", "Sin"};
        std::string text;
        int terms = 1 + Below(depth > 0 ? 4 : 2);
        for (int i = 0; i < terms; ++i) {
            if (i > 0) {
                const char* ops = "++--**//^";
                if (Chance(15)) text += ' ';
                text += ops[Below(9)];
                if (Chance(15)) text += ' ';
            }
            switch (Below(10)) {
                case 5:
                    text += depth > 0 ? "(" + Expression(depth - 1, previous) + ")" : Number();
                    break;
                case 6:
                    text += depth > 0 ? std::string(functions[Below(27)]) + "(" +
                                            Expression(depth - 1, previous) + ")"
                                      : Number();
                    break;
                case 7: text += "-" + Number(); break;
                case 8: text += previous ? "?" : Number(); break;
                default: text += Number(); break;
            }
        }
        if (Chance(8)) text += std::string("@") + "HXhx"[Below(4)];
        return text;
    }

    std::string Mangled(std::string text) {
        size_t at = text.empty() ? 0 : size_t(Below(int(text.size())));
        switch (Below(4)) {
            case 0: text.insert(at, 1, "+-*/^()@.,xX&"[Below(13)]); break;
            case 1:
                if (!text.empty()) text.erase(at, 1);
                break;
            case 2: text += "("; break;
            default: text.insert(at, text.substr(at, 1)); break;
        }
        return text;
    }

    std::string Garbage() {
        std::string text;
        for (int i = 1 + Below(40); i > 0; --i) text += static_cast<char>(1 + Below(255));
        return text;
    }

    std::string LineEnd() {
        const char* ends[] = {"\r\n", "\n", "\r\n\r\n", "\r"};
        return ends[Below(4)];
    }

    std::string WithKey(const std::string& expression, const Config& c) {
        std::string key(1, c.key);
        std::string text = c.position == KeyPrefix ? key + expression : expression + key;
        if (Chance(15)) text += LineEnd();
        return text;
    }

    std::string WithoutKey(const std::string& expression, const Config& c) {
        if (Chance(50)) return expression;
        std::string key(1, c.key);
        return c.position == KeyPrefix ? expression + key : key + expression;
    }

    // length bytes in all: a short sum, blanks, and the key, the line ends
    // (if any) counted in.
    std::string Padded(size_t length, const Config& c) {
        std::string sum = Number() + "+" + Number();
        std::string key(1, c.key);
        std::string tail = Chance(30) ? std::string("\r\n") : std::string();
        std::string blanks(length - sum.size() - 1 - tail.size(), ' ');
        if (c.position == KeyPrefix) return key + sum + blanks + tail;
        return sum + blanks + key + tail;
    }

    // Digits and signs, each written full-width or not; the key full-width
    // where the code table has it.
    std::string FullWidth(const Config& c) {
        std::string ascii;
        for (int i = 1 + Below(3); i > 0; --i) {
            if (!ascii.empty()) ascii += "+-^"[Below(3)];
            ascii += std::to_string(Below(1000));
            if (Chance(30)) ascii += "." + std::to_string(Below(100));
        }
        std::string text;
        for (char ch : ascii)
            text += Chance(70) ? FullWidthShiftJis(std::string(1, ch)) : std::string(1, ch);
        std::string key(1, c.key);
        if (std::strchr("=#+", c.key) && Chance(60)) key = FullWidthShiftJis(key);
        if (Chance(10)) return text;  // no key at all
        return c.position == KeyPrefix ? key + text : text + key;
    }

    std::string Blank(const Config& c) {
        switch (Below(4)) {
            case 0: return "";
            case 1: return LineEnd();
            case 2: return std::string(1, c.key);
            default: return std::string(1, c.key) + "\r\n";
        }
    }

    Config RandomFormat(Config c) {
        c.type = kTypes[Below(5)];
        c.precision = Below(16);
        c.sign = Chance(30) ? "+" : "-";
        c.separators = Chance(50);
        c.angle = Chance(50) ? AngleDegrees : AngleRadians;
        c.hexForm = Below(4);
        return c;
    }

    Config RandomKey(Config c) {
        c.key = kKeys[Below(6)];
        c.position = Chance(50) ? KeyPrefix : KeySuffix;
        c.shiftJis = Chance(70);
        return c;
    }

private:
    std::mt19937 rng_;
};

// ---------------------------------------------------------------------------
// Memory of the process that runs ZARL.exe, as Linux sees it

// In kB, as /proc gives them. "Guest" is the part below 4 GiB: the 32-bit
// process's own address space, all of it when the process runs natively;
// under qemu-user the rest (its translation cache, its own heap) is qemu's.
struct Memory {
    bool ok = false;
    long vmRss = 0, rssAnon = 0;       // status: the whole Unix process
    long guestRss = 0, guestAnon = 0;  // smaps, mappings below 4 GiB
    long hostRss = 0, hostAnon = 0;    // smaps, mappings above: qemu's own
    long committedPrivate = 0;         // VirtualQueryEx: committed private pages
    std::string windows;               // which of ZARL's windows were open
};

long StatusKb(const std::string& status, const char* field) {
    size_t at = status.find(std::string("\n") + field + ":");
    if (at == std::string::npos) return -1;
    return std::atol(status.c_str() + at + std::strlen(field) + 2);
}

long CommittedPrivateKb(HANDLE process) {
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION info;
    const char* at = nullptr;
    while (VirtualQueryEx(process, at, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return static_cast<long>(total / 1024);
}

// dir: ZARL's /proc directory (ZarlProcDirectory).
Memory ReadMemory(const std::string& dir, HANDLE process) {
    Memory m;
    if (dir.empty()) return m;
    std::string status = "\n" + ReadWholeFile(dir + "\\status");
    m.vmRss = StatusKb(status, "VmRSS");
    m.rssAnon = StatusKb(status, "RssAnon");
    std::istringstream smaps(ReadWholeFile(dir + "\\smaps"));
    std::string line;
    bool guest = true;
    while (std::getline(smaps, line)) {
        unsigned long long start = 0, end = 0;
        long kb = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx ", &start, &end) == 2 &&
            line.find('-') < line.find(' ')) {
            guest = start < 0x100000000ULL;
        } else if (std::sscanf(line.c_str(), "Rss: %ld kB", &kb) == 1) {
            (guest ? m.guestRss : m.hostRss) += kb;
        } else if (std::sscanf(line.c_str(), "Anonymous: %ld kB", &kb) == 1) {
            (guest ? m.guestAnon : m.hostAnon) += kb;
        }
    }
    m.committedPrivate = CommittedPrivateKb(process);
    m.ok = m.vmRss > 0 && m.guestRss > 0;
    return m;
}

// ---------------------------------------------------------------------------
// The soak

constexpr long kMemoryMark = 1000;         // changes of the long-lived process
constexpr long kMemoryToleranceKb = 1024;  // growth allowed after the mark
constexpr Ms kViewerTimeout{5000};

struct Tally {
    long copies = 0;
    long evaluated = 0;
};

class Soak {
public:
    Soak(long target, unsigned seed) : target_(target), seed_(seed), texts_(seed) {}
    int Run();

private:
    // Stages and rounds
    bool Prepare();
    bool StartWith(const StoredRow& row, bool fresh);
    bool CloseZarl(const char* why);
    void Round(int number);
    void Segment(const char* name, long count);
    bool Done() const { return fatal_ || changes_ >= target_; }

    // Changes and their answers
    void Step(long index);
    void Paced(Kind kind);
    void CopyPaced(Kind kind, const std::string& text);
    void CopyNonText(Kind kind);
    void AfterCopy(const ClipboardWrite& write, const Answer& answer, const std::string& text);
    void Burst();
    void Immediate();
    void CopyButton();
    void Pause(int copies);
    void CountChange(Kind kind, bool evaluated);
    void AfterChange();

    // ZARL's windows and settings
    bool ChangeSettings(const Config& target);
    bool DialogShows(HWND dialog, const Config& c, std::string* differences);
    void OpenWindow(bool result);
    void CloseWindow(bool result);
    void SwitchResultFloat();
    void TakeWindowPositions();

    // Checks
    void SyncViewers();
    void CheckViewers(const char* when);
    void CheckHistory();
    void CheckTopEntry(const std::string& expected);
    void CheckStore(const std::string& when);
    void CheckAlive();
    void MeasureMemory(Memory* into);
    void Fail(long* counter, const std::string& what);
    void Fatal(const std::string& what);
    void Progress();
    int Report();

    long target_;
    unsigned seed_;
    TextMaker texts_;
    std::unique_ptr<TestViewer> behind_, ahead_;
    std::unique_ptr<Zarl> zarl_;
    std::string procDir_;
    Config config_ = kDefaults;
    WindowState windows_;
    HWND result_ = nullptr, imd_ = nullptr;
    bool operating_ = true;
    bool longLived_ = false;  // the process whose memory is measured

    // The Result window's history, newest first, as the model has it; unknown
    // after a start (the windows open while the ahead viewer rejoins) and after
    // a stretched burst, until the next check reads it.
    std::deque<std::string> history_;
    bool historyKnown_ = false;
    long historyResyncs_ = 0;
    std::deque<std::string> typed_;  // the Immediate window's list, newest first

    // Changes made here and seen by the viewers
    long changes_ = 0;  // clipboard changes made by this program
    long longLivedChanges_ = 0;
    long zarlWrites_ = 0;     // results and copies written by ZARL
    long expectedDraws_ = 0;  // changes since the viewers' counts were reset
    DWORD quietSeq_ = 0;      // the sequence number after the last change known here
    long totalExpected_ = 0, totalAhead_ = 0, totalBehind_ = 0;
    Tally tallies_[kKinds];
    long bursts_ = 0, stretchedBursts_ = 0, immediates_ = 0, copyClicks_ = 0;
    long restarts_ = 0, dialogChanges_ = 0, windowToggles_ = 0, floatSwitches_ = 0;
    long storeChecks_ = 0, historyChecks_ = 0;

    // Failures, by check
    long lost_ = 0, wrong_ = 0, unexpected_ = 0, extraEvaluations_ = 0;
    long historyFaults_ = 0, chainFaults_ = 0, storeFaults_ = 0, windowFaults_ = 0;
    long otherFaults_ = 0;
    long failures_ = 0;
    bool fatal_ = false;
    bool stillEvaluates_ = false;
    bool endedCleanly_ = false;

    Memory atStart_, atMark_, atEnd_;
    bool markTaken_ = false;
    Clock::time_point started_{};
    Clock::time_point finished_{};
    long nextProgress_ = 0;
};

void Soak::Fail(long* counter, const std::string& what) {
    ++*counter;
    ++failures_;
    if (failures_ <= 40)
        std::printf("soak: FAIL at change %ld: %s\n", changes_, what.c_str());
    else if (failures_ == 41)
        std::printf("soak: (further failures are counted, not shown)\n");
    std::fflush(stdout);
}

void Soak::Fatal(const std::string& what) {
    Fail(&otherFaults_, what + "; the soak stops here");
    fatal_ = true;
}

void Soak::CheckAlive() {
    if (!zarl_ || fatal_) return;
    if (!zarl_->Running()) {
        Fatal("ZARL.exe has ended");
    } else if (!zarl_->WindowPresent()) {
        Fatal("the main window of class ZARL is gone");
    } else if (!SendWithTimeout(zarl_->Window(), WM_NULL, 0, 0, Ms{10000})) {
        Fatal("the main window does not answer a message within 10 s (hung)");
    }
}

// ---------------------------------------------------------------------------
// The viewer chain: ahead -> ZARL -> behind

void Soak::SyncViewers() {
    bool caughtUp = WaitUntil(
        [&] { return ahead_->Draws() >= expectedDraws_ && behind_->Draws() >= expectedDraws_; },
        kViewerTimeout, Ms{1});
    if (!caughtUp) {
        Fail(&chainFaults_, "the viewers were not told of every change within 5 s: ahead saw " +
                                std::to_string(ahead_->Draws()) + ", behind " +
                                std::to_string(behind_->Draws()) + ", of " +
                                std::to_string(expectedDraws_));
        CheckViewers("after the missed notification");
    }
}

// Both viewers saw exactly the changes made since the last check, each passed
// on without failure; then the counts start again.
void Soak::CheckViewers(const char* when) {
    WaitUntil(
        [&] { return ahead_->Draws() >= expectedDraws_ && behind_->Draws() >= expectedDraws_; },
        kViewerTimeout, Ms{1});
    PumpMessages(Ms{20});
    for (TestViewer* v : {ahead_.get(), behind_.get()}) {
        if (v->Draws() != expectedDraws_)
            Fail(&chainFaults_, std::string(when) + ": viewer " + v->Name() + " saw " +
                                    std::to_string(v->Draws()) + " notifications for " +
                                    std::to_string(expectedDraws_) + " clipboard changes");
        if (v->ForwardFailures() != 0 || v->DrawsAfterLeaving() != 0)
            Fail(&chainFaults_, std::string(when) + ": viewer " + v->Name() + " could not pass " +
                                    std::to_string(v->ForwardFailures()) +
                                    " notifications on, or got " +
                                    std::to_string(v->DrawsAfterLeaving()) + " after leaving");
    }
    totalExpected_ += expectedDraws_;
    totalAhead_ += ahead_->Draws();
    totalBehind_ += behind_->Draws();
    ahead_->ResetCounts();
    behind_->ResetCounts();
    expectedDraws_ = 0;
}

// ---------------------------------------------------------------------------
// Starting and ending ZARL

bool Soak::Prepare() {
    std::string why;
    if (!DisplayAvailable(&why)) {
        std::printf("soak: %s\n", why.c_str());
        return false;
    }
    if (!TopLevelWindows(0, "ZARL").empty()) {
        std::printf("soak: a copy of ZARL is already running\n");
        return false;
    }
    if (GetFileAttributesA(ZarlExePath().c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("soak: ZARL.exe not found at %s\n", ZarlExePath().c_str());
        return false;
    }
    // The model must give the exact answers before it is trusted with any.
    SetDefaultSettings();
    for (const auto& [name, text] : kConstants) AppendConstant(name, text);
    ApplyToModel(kDefaults);
    for (const Anchor& a : kAnchors) {
        Answer answer = ModelCycle(a.text);
        std::string wanted = a.result ? a.result : "(not evaluated)";
        std::string got = answer.evaluated ? answer.clipboard : "(not evaluated)";
        if (got != wanted) {
            std::printf("soak: the model gives %s for %s, not %s\n", Printable(got).c_str(),
                        Printable(a.text).c_str(), Printable(wanted).c_str());
            return false;
        }
    }
    // A neutral text first: the harness learns how far a plain write moves
    // the sequence number, and no key is on the clipboard when viewers join.
    for (int i = 0; i < 2; ++i)
        if (!CopyText("soak").ok) {
            std::printf("soak: cannot write the clipboard\n");
            return false;
        }
    behind_ = std::make_unique<TestViewer>("behind");
    ahead_ = std::make_unique<TestViewer>("ahead");
    if (!behind_->Created() || !ahead_->Created() || !behind_->Join()) {
        std::printf("soak: cannot create the viewers or join the chain\n");
        return false;
    }
    return true;
}

void Soak::TakeWindowPositions() {
    if (windows_.resultOpen && result_) {
        RECT r = WindowRect(result_);
        windows_.resultPos = {r.left, r.top};
    }
    if (windows_.imdOpen && imd_) {
        RECT r = WindowRect(imd_);
        windows_.imdPos = {r.left, r.top};
    }
}

// Ends ZARL as a user does; its last save must then be in the store.
bool Soak::CloseZarl(const char* why) {
    CheckViewers(why);
    TakeWindowPositions();
    Zarl::Ending ending = zarl_->Close();
    endedCleanly_ = ending.exited && ending.exitCode == 0;
    if (!endedCleanly_) {
        Fatal(std::string(why) + ": ZARL did not end cleanly on WM_CLOSE (" +
              (ending.killed ? "killed" : "exit code " + std::to_string(ending.exitCode)) + ")");
        return false;
    }
    zarl_.reset();
    windows_.resultOpen = windows_.imdOpen = false;
    result_ = imd_ = nullptr;
    CheckStore(std::string("after ZARL closed ") + why);
    // Its leaving is announced to the head of the chain, which links past it.
    PumpMessages(Ms{20});
    if (ahead_->Joined() && ahead_->Next() != behind_->Window())
        Fail(&chainFaults_,
             "after ZARL left the chain the viewer ahead does not link to the one "
             "behind");
    return true;
}

bool Soak::StartWith(const StoredRow& row, bool fresh) {
    if (zarl_ && !CloseZarl("for a restart")) return false;
    if (fresh) {
        if (!FreshStore(row.stored)) {
            Fatal("could not write the settings into the registry");
            return false;
        }
        for (const auto& [name, text] : kConstants) WriteRegText(kConstantsKey, name, text);
    } else {
        for (const Setting& s : row.stored)
            if (!(s.isDword ? WriteRegDword(kSettingsKey, s.name, s.number)
                            : WriteRegText(kSettingsKey, s.name, s.text))) {
                Fatal("could not write " + s.name + " into the registry");
                return false;
            }
    }
    // Nothing with a key may be on the clipboard when ZARL and the viewer
    // ahead of it join: joining sends a notification down the chain.
    CopyText("soak");
    std::string why;
    zarl_ = StartZarl(&why);
    if (!zarl_) {
        Fatal("ZARL did not start: " + why);
        return false;
    }
    ++restarts_;
    config_ = row.effective;
    ApplyToModel(config_);
    PreviousResult = 0.0;  // every start begins with 0
    operating_ = true;
    windows_.showResult = StoredFlagIs(row, "ShowResultWindow");
    windows_.showImd = StoredFlagIs(row, "ShowImdWindow");
    windows_.resultFloat = StoredFlagIs(row, "ResultWindowFloat");
    windows_.imdFloat = StoredFlagIs(row, "ImdWindowFloat");
    // The windows stored as shown open again, floating as stored.
    if (windows_.showResult) {
        result_ = FindResultWindow(zarl_->Pid());
        windows_.resultOpen = result_ != nullptr;
        if (!result_) Fail(&windowFaults_, "the start did not open the Result window");
    }
    if (windows_.showImd) {
        imd_ = FindImdWindow(zarl_->Pid());
        windows_.imdOpen = imd_ != nullptr;
        if (!imd_) Fail(&windowFaults_, "the start did not open the Immediate window");
    }
    if (result_ && IsTopmost(result_) != windows_.resultFloat)
        Fail(&windowFaults_, "the Result window's float state is not the stored one");
    if (imd_ && IsTopmost(imd_) != windows_.imdFloat)
        Fail(&windowFaults_, "the Immediate window's float state is not the stored one");
    typed_.clear();
    // The start corrects what it read and saves it all back.
    CheckStore(std::string("after the start with ") + row.name);

    // Rejoin ahead of the new ZARL, which joined at the head.
    if (ahead_->Joined()) ahead_->Leave();
    if (!ahead_->Join()) {
        Fatal("the viewer ahead could not rejoin the chain");
        return false;
    }
    if (ahead_->Next() != zarl_->Window() || GetClipboardViewer() != ahead_->Window())
        Fail(&chainFaults_, "after rejoining, the viewer ahead is not at the head, before ZARL");
    WaitForClipboardToSettle(Ms{200}, Ms{5000});
    // Every notification of the start has passed the viewers once ZARL has
    // handled what came before.
    if (testing::AssertionResult alive = ZarlCaughtUp(zarl_->Window()); !alive) {
        Fatal(std::string("after the start: ") + alive.message());
        return false;
    }
    ahead_->ResetCounts();
    behind_->ResetCounts();
    expectedDraws_ = 0;
    quietSeq_ = GetClipboardSequenceNumber();
    history_.clear();
    historyKnown_ = false;
    procDir_ = ZarlProcDirectory();
    std::printf("soak: ZARL started (%.0f ms) with %s: %s\n", zarl_->StartMilliseconds(), row.name,
                Describe(config_).c_str());
    std::fflush(stdout);
    return true;
}

// ---------------------------------------------------------------------------
// Changes and their answers

void Soak::CountChange(Kind kind, bool evaluated) {
    ++changes_;
    if (longLived_) ++longLivedChanges_;
    ++tallies_[kind].copies;
    if (evaluated) ++tallies_[kind].evaluated;
    ++expectedDraws_;
}

void Soak::AfterChange() {
    if (changes_ >= nextProgress_) Progress();
}

// A line now and then; in the long-lived process with its memory, kB, so
// that a slow growth shows its course.
void Soak::Progress() {
    double seconds = MillisecondsSince(started_) / 1000.0;
    std::printf("soak: %ld changes, %.0f s, %.1f changes/s, %ld failures", changes_, seconds,
                seconds > 0 ? changes_ / seconds : 0.0, failures_);
    Memory m = longLived_ && zarl_ ? ReadMemory(procDir_, zarl_->Process()) : Memory();
    if (m.ok)
        std::printf("; VmRSS %ld, RssAnon %ld, below 4 GiB %ld/%ld, committed private %ld", m.vmRss,
                    m.rssAnon, m.guestRss, m.guestAnon, m.committedPrivate);
    std::printf("\n");
    std::fflush(stdout);
    nextProgress_ += std::max(1000L, target_ / 10);
}

// The checks after one copy: ZARL has run its cycle on it by now (the viewer
// ahead waited for it), so its answer is on the clipboard, or nothing is.
void Soak::AfterCopy(const ClipboardWrite& write, const Answer& answer, const std::string& text) {
    if (write.seqAtOpen != quietSeq_) {
        ClipboardRead read = ReadClipboardText();
        Fail(&unexpected_,
             "the clipboard changed while nothing was expected of ZARL; before "
             "copying " +
                 Printable(text) + " it held " +
                 (read.hasText ? Printable(read.text) : std::string("no text")));
    }
    quietSeq_ = write.seq;
    bool answered = answer.evaluated && !config_.noCopy && operating_;
    if (answered) {
        bool changed = write.overtaken || WaitForClipboard(write.seqOurs, kResultTimeout);
        ClipboardRead read = ReadClipboardText();
        if (!changed || (read.hasText && read.text == text)) {
            Fail(&lost_, "copied " + Printable(text) + ", expected " + Printable(answer.clipboard) +
                             ", but the clipboard did not change");
        } else {
            ++zarlWrites_;
            ++expectedDraws_;
            quietSeq_ = read.seq;
            if (!read.hasText || read.text != answer.clipboard)
                Fail(&wrong_, "copied " + Printable(text) + ", expected " +
                                  Printable(answer.clipboard) + ", got " +
                                  (read.hasText ? Printable(read.text) : std::string("no text")));
        }
    } else if (write.overtaken || GetClipboardSequenceNumber() != write.seq) {
        ClipboardRead read = ReadClipboardText();
        ++zarlWrites_;
        ++expectedDraws_;
        quietSeq_ = read.seq;
        Fail(&unexpected_, "copied " + Printable(text) + (operating_ ? "" : " while pausing") +
                               ", which must not be answered, and the clipboard changed to " +
                               (read.hasText ? Printable(read.text) : std::string("no text")));
    }
    if (operating_ && windows_.resultOpen) {
        history_.push_front(answer.entry);
        if (history_.size() > 32) history_.pop_back();
        if (config_.noCopy) CheckTopEntry(answer.entry);
    }
}

void Soak::CopyPaced(Kind kind, const std::string& text) {
    SyncViewers();
    Answer answer = operating_ ? ModelCycle(text) : Answer();
    ClipboardWrite write = CopyText(text);
    if (!write.ok) {
        Fatal("copying " + Printable(text) + ": " + write.error);
        return;
    }
    CountChange(kind, answer.evaluated && operating_);
    AfterCopy(write, answer, text);
    AfterChange();
}

void Soak::CopyNonText(Kind kind) {
    SyncViewers();
    Answer answer = operating_ ? ModelCycle("") : Answer();
    ClipboardWrite write = kind == kBitmap ? CopyBitmap() : EmptyTheClipboard();
    if (!write.ok) {
        Fatal(std::string("writing the clipboard: ") + write.error);
        return;
    }
    CountChange(kind, false);
    AfterCopy(write, answer, kind == kBitmap ? "(a bitmap)" : "(nothing)");
    AfterChange();
}

// One change with Delay 0, of a kind drawn by weight.
void Soak::Paced(Kind kind) {
    const Config& c = config_;
    switch (kind) {
        case kExpression: CopyPaced(kind, texts_.WithKey(texts_.Expression(2, true), c)); break;
        case kMangled:
            CopyPaced(kind, texts_.WithKey(texts_.Mangled(texts_.Expression(2, true)), c));
            break;
        case kNoKey: CopyPaced(kind, texts_.WithoutKey(texts_.Expression(2, true), c)); break;
        case kGarbage: {
            std::string bytes = texts_.Garbage();
            CopyPaced(kind, texts_.Chance(50) ? texts_.WithKey(bytes, c) : bytes);
            break;
        }
        case kBlank: CopyPaced(kind, texts_.Blank(c)); break;
        case kLong1023: CopyPaced(kind, texts_.Padded(1023, c)); break;
        case kLong1024: CopyPaced(kind, texts_.Padded(1024, c)); break;
        case kFullWidth: CopyPaced(kind, texts_.FullWidth(c)); break;
        case kAnchor: {
            // The table's own answer is what ZARL must give; the model's cycle
            // runs too, to move its previous result as ZARL's moves.
            const Anchor& a = kAnchors[texts_.Below(int(std::size(kAnchors)))];
            SyncViewers();
            ModelCycle(a.text);
            Answer exact;
            if (a.result) {
                exact.evaluated = true;
                exact.clipboard = exact.entry = a.result;
            }
            ClipboardWrite write = CopyText(a.text);
            if (!write.ok) {
                Fatal(std::string("copying: ") + write.error);
                return;
            }
            CountChange(kind, exact.evaluated);
            AfterCopy(write, exact, a.text);
            AfterChange();
            break;
        }
        case kBitmap:
        case kEmpty: CopyNonText(kind); break;
        default: break;
    }
}

// A burst: up to six copies in quick succession, the last one valid; with a
// delay ZARL evaluates once, after the last. A copy that comes later than the
// delay after the one before may legitimately be evaluated on its own: such a
// burst counts as stretched, not as a fault.
void Soak::Burst() {
    SyncViewers();
    int members = config_.delay >= 100 ? 1 + texts_.Below(6) : 1;
    std::vector<std::string> texts;
    for (int i = 0; i + 1 < members; ++i) {
        switch (texts_.Below(4)) {
            case 0: texts.push_back(texts_.WithoutKey(texts_.Expression(1, false), config_)); break;
            case 1: texts.push_back(texts_.Mangled(texts_.Expression(1, false))); break;
            default: texts.push_back(texts_.WithKey(texts_.Expression(2, false), config_)); break;
        }
    }
    // The last: one that ZARL answers. "?" stays out of bursts, so that an
    // evaluation of an earlier member in a stretched burst cannot change what
    // the last one gives.
    std::string last;
    for (int tries = 0; tries < 50 && last.empty(); ++tries) {
        std::string text = config_.shiftJis && texts_.Chance(25)
                               ? texts_.FullWidth(config_)
                               : texts_.WithKey(texts_.Expression(2, false), config_);
        if (ModelCycle(text).evaluated) last = text;
    }
    if (last.empty()) last = texts_.WithKey("1+2", config_);
    texts.push_back(last);
    Answer answer = ModelCycle(last);

    bool stretched = false;
    std::optional<ClipboardWrite> previous;
    Clock::time_point previousStart{};
    ClipboardWrite write;
    for (const std::string& text : texts) {
        Clock::time_point start = Clock::now();
        write = CopyText(text);
        if (!write.ok) {
            Fatal("copying " + Printable(text) + ": " + write.error);
            return;
        }
        CountChange(members > 1 ? kBurstMember : kExpression, false);
        if (!previous && write.seqAtOpen != quietSeq_) {
            Fail(&unexpected_, "the clipboard changed before a burst while nothing was expected");
        }
        if (previous) {
            // ZARL set its timer inside the copy before, after that copy began:
            // the timer can have fired in between only if this copy ended the
            // delay or later after it.
            double gap =
                std::chrono::duration<double, std::milli>(write.closedAt - previousStart).count();
            bool late = gap >= config_.delay - 1;
            if (late) stretched = true;
            if (write.seqAtOpen != previous->seq) {
                ++zarlWrites_;
                ++expectedDraws_;
                if (!late)
                    Fail(&extraEvaluations_, "ZARL answered within a burst, " +
                                                 std::to_string(static_cast<int>(gap)) +
                                                 " ms after the copy before began");
            }
        }
        previous = write;
        previousStart = start;
        AfterChange();
        if (fatal_) return;
    }
    ++bursts_;
    if (stretched) ++stretchedBursts_;
    ++tallies_[members > 1 ? kBurstMember : kExpression].evaluated;
    bool changed =
        write.overtaken || WaitForClipboard(write.seqOurs, Ms{config_.delay} + kResultTimeout);
    ClipboardRead read = ReadClipboardText();
    if (!changed || (read.hasText && read.text == last)) {
        Fail(&lost_, "a burst of " + std::to_string(members) + " ending in " + Printable(last) +
                         " was not answered (expected " + Printable(answer.clipboard) + ")");
        quietSeq_ = write.seq;
    } else {
        ++zarlWrites_;
        ++expectedDraws_;
        quietSeq_ = read.seq;
        if (!read.hasText || read.text != answer.clipboard)
            Fail(&wrong_, "a burst ending in " + Printable(last) + " gave " +
                              (read.hasText ? Printable(read.text) : std::string("no text")) +
                              ", expected " + Printable(answer.clipboard));
    }
    if (windows_.resultOpen) {
        history_.push_front(answer.entry);
        if (history_.size() > 32) history_.pop_back();
        if (stretched) historyKnown_ = false;
    }
}

// An expression typed into the Immediate window and evaluated with Enter.
void Soak::Immediate() {
    if (!windows_.imdOpen || config_.noCopy || !operating_) return;
    SyncViewers();
    std::string text;
    Answer answer;
    for (int tries = 0; tries < 50 && !answer.evaluated; ++tries) {
        text = texts_.Expression(2, true);
        answer = ModelImmediate(text);
    }
    if (!answer.evaluated) return;
    if (!TypeExpression(imd_, text) || !PressEnter(imd_)) {
        Fail(&windowFaults_, "could not type " + Printable(text) + " into the Immediate window");
        historyKnown_ = false;
        return;
    }
    ++immediates_;
    typed_.push_front(text);
    if (typed_.size() > 32) typed_.pop_back();
    std::optional<DWORD> changed = WaitForClipboard(quietSeq_, kResultTimeout);
    ClipboardRead read = ReadClipboardText();
    if (!changed) {
        Fail(&lost_, "typed " + Printable(text) + " into the Immediate window, no result");
    } else {
        ++zarlWrites_;
        ++expectedDraws_;
        quietSeq_ = read.seq;
        if (!read.hasText || read.text != answer.clipboard)
            Fail(&wrong_, "typed " + Printable(text) + " into the Immediate window, expected " +
                              Printable(answer.clipboard) + ", got " + Printable(read.text));
    }
    if (windows_.resultOpen) {
        history_.push_front(answer.entry);
        if (history_.size() > 32) history_.pop_back();
    }
}

// The Result window's Copy puts the newest entry back on the clipboard, and
// that write is not evaluated (the history stays as it is).
void Soak::CopyButton() {
    if (!windows_.resultOpen || !historyKnown_ || history_.empty()) return;
    SyncViewers();
    std::string entry = history_.front();
    if (!ClickCopy(result_)) {
        Fail(&windowFaults_, "could not click Copy");
        return;
    }
    ++copyClicks_;
    std::optional<DWORD> changed = WaitForClipboard(quietSeq_, kResultTimeout);
    ClipboardRead read = ReadClipboardText();
    if (!changed) {
        Fail(&lost_, "Copy in the Result window did not change the clipboard");
        return;
    }
    ++zarlWrites_;
    ++expectedDraws_;
    quietSeq_ = read.seq;
    if (!read.hasText || read.text != entry)
        Fail(&wrong_, "Copy put " + Printable(read.text) + " on the clipboard, the entry is " +
                          Printable(entry));
}

void Soak::Pause(int copies) {
    if (!ChooseSystemMenu(zarl_->Window(), IDM_OPERATING)) return;
    std::string title;
    if (!WaitForTitle(zarl_->Window(), "ZARL-Pausing", kResultTimeout, &title)) {
        Fail(&windowFaults_, "\"&Operating\" did not pause ZARL; the title is " + title);
        return;
    }
    operating_ = false;
    for (int i = 0; i < copies && !Done(); ++i)
        CopyPaced(kPaused, texts_.WithKey(texts_.Expression(1, false), config_));
    ChooseSystemMenu(zarl_->Window(), IDM_OPERATING);
    if (!WaitForTitle(zarl_->Window(), "ZARL-Operating", kResultTimeout, &title))
        Fatal("\"&Operating\" did not switch ZARL on again; the title is " + title);
    operating_ = true;
}

// A step of a segment: with Delay 0 one change of a kind drawn by weight,
// with a delay a burst; now and then the Immediate window, the Copy button
// and a look at the whole history.
void Soak::Step(long index) {
    if (config_.delay > 0) {
        Burst();
    } else {
        struct Weight {
            Kind kind;
            int weight;
        };
        bool defaults = config_ == kDefaults;
        const Weight weights[] = {
            {kExpression, 50},
            {kMangled, 8},
            {kNoKey, 8},
            {kGarbage, 4},
            {kBlank, 2},
            {kLong1023, 2},
            {kLong1024, 2},
            {kFullWidth, config_.shiftJis ? 14 : 3},
            {kAnchor, defaults ? 8 : 0},
            {kBitmap, 3},
            {kEmpty, 3},
        };
        int total = 0;
        for (const Weight& w : weights) total += w.weight;
        int pick = texts_.Below(total);
        for (const Weight& w : weights) {
            if (pick < w.weight) {
                Paced(w.kind);
                break;
            }
            pick -= w.weight;
        }
    }
    if (fatal_) return;
    if (longLived_ && longLivedChanges_ >= kMemoryMark && !markTaken_) {
        markTaken_ = true;
        MeasureMemory(&atMark_);
    }
    if (index % 25 == 12) Immediate();
    if (index % 97 == 50) CopyButton();
    if (index % 250 == 249) CheckHistory();
}

void Soak::Segment(const char* name, long count) {
    if (Done()) return;
    CheckAlive();
    long first = changes_;
    for (long i = 0; !Done() && changes_ - first < count; ++i) Step(i);
    if (fatal_) return;
    CheckHistory();
    if (windows_.imdOpen) {
        std::optional<std::vector<std::string>> list = ExpressionList(imd_);
        std::vector<std::string> wanted(typed_.begin(), typed_.end());
        if (!list || *list != wanted)
            Fail(&windowFaults_, std::string(name) + ": the Immediate window lists " +
                                     (list ? std::to_string(list->size()) : "no") +
                                     " expressions, not the " + std::to_string(wanted.size()) +
                                     " typed last");
    }
    CheckViewers(name);
}

// ---------------------------------------------------------------------------
// Windows and settings

// The Result window (result) or the Immediate window, opened and closed from
// the system menu.
void Soak::OpenWindow(bool result) {
    bool& open = result ? windows_.resultOpen : windows_.imdOpen;
    const char* name = result ? "Result" : "Immediate";
    if (open || !(result ? ShowResultWindow : ShowImdWindow)(zarl_->Window())) return;
    ++windowToggles_;
    HWND& window = result ? result_ : imd_;
    window = result ? FindResultWindow(zarl_->Pid()) : FindImdWindow(zarl_->Pid());
    if (!window) {
        Fatal(std::string("\"Show ") + name +
              " Window\" did not open it; windows: " + DescribeWindows(zarl_->Pid()));
        return;
    }
    open = true;
    (result ? windows_.showResult : windows_.showImd) = true;
    if (result) {
        history_.clear();
        historyKnown_ = true;
    } else {
        typed_.clear();
    }
    if (IsTopmost(window) != (result ? windows_.resultFloat : windows_.imdFloat))
        Fail(&windowFaults_,
             std::string("the ") + name + " window opened with another float state than stored");
    CheckStore(std::string("after the ") + name + " window opened");
}

void Soak::CloseWindow(bool result) {
    bool& open = result ? windows_.resultOpen : windows_.imdOpen;
    const char* name = result ? "Result" : "Immediate";
    if (!open) return;
    TakeWindowPositions();
    HWND& window = result ? result_ : imd_;
    if (!(result ? ShowResultWindow : ShowImdWindow)(zarl_->Window()) ||
        !WaitForWindowGone(window)) {
        Fatal(std::string("\"Show ") + name + " Window\" did not close it");
        return;
    }
    ++windowToggles_;
    open = false;
    (result ? windows_.showResult : windows_.showImd) = false;
    window = nullptr;
    CheckStore(std::string("after the ") + name + " window closed");
}

// "Float" on the Result window: saved with the next save, not at once.
void Soak::SwitchResultFloat() {
    if (!windows_.resultOpen) return;
    bool wanted = !windows_.resultFloat;
    if (!ClickFloat(result_) ||
        !WaitUntil([&] { return IsTopmost(result_) == wanted; }, kResultTimeout)) {
        Fail(&windowFaults_, "\"Float\" did not switch the Result window");
        return;
    }
    ++floatSwitches_;
    windows_.resultFloat = wanted;
}

bool Soak::DialogShows(HWND dialog, const Config& c, std::string* differences) {
    differences->clear();
    auto selected = [&](int id, int index, const char* what) {
        std::optional<int> now = ComboSelection(GetDlgItem(dialog, id));
        if (now != index)
            *differences += std::string(" ") + what + " item " +
                            (now ? std::to_string(*now) : "?") + " (expected " +
                            std::to_string(index) + ");";
    };
    auto checked = [&](int id, bool on, const char* what) {
        std::optional<bool> now = IsChecked(dialog, id);
        if (now != on)
            *differences += std::string(" ") + what +
                            (now ? (*now ? " checked" : " unchecked") : " (no answer)") + ";";
    };
    selected(IDC_KEY, int(std::strchr(kKeys, c.key) - kKeys), "Key");
    selected(IDC_DELAY, int(std::find(std::begin(kDelays), std::end(kDelays), c.delay) - kDelays),
             "Delay");
    int type = 0;
    while (type < 5 && c.type != kTypes[type]) ++type;
    selected(IDC_TYPE, type, "Type");
    selected(IDC_PRECISION, c.precision, "Precision");
    selected(IDC_HEXFORM, c.hexForm, "Hexadecimal");
    checked(IDC_PREFIX, c.position == KeyPrefix, "Prefix");
    checked(IDC_SUFFIX, c.position != KeyPrefix, "Suffix");
    checked(IDC_DEGREE, c.angle == AngleDegrees, "DEGREE");
    checked(IDC_RADIAN, c.angle != AngleDegrees, "RADIAN");
    checked(IDC_SIGN, c.sign == "+", "'+' sign");
    checked(IDC_SEPARATORS, c.separators, "Insert Separators");
    checked(IDC_SHIFTJIS, c.shiftJis, "Use Shift-JIS Code");
    checked(IDC_NOCOPY, c.noCopy, "No Copy");
    checked(IDC_OPERATING, operating_, "Operating");
    checked(IDC_RESULTWINDOW, windows_.resultOpen, "Result Window");
    checked(IDC_IMDWINDOW, windows_.imdOpen, "Immediate Window");
    checked(IDC_WRITEINI, false, "Write ZARL.INI");
    checked(IDC_ATTACH, false, "Attach");
    return differences->empty();
}

// Changes the settings as a user does: the dialog opened by restoring the
// minimized main window, its controls clicked and picked, then OK.
bool Soak::ChangeSettings(const Config& target) {
    if (fatal_) return false;
    CheckAlive();
    HWND dialog = OpenSettingsDialog(zarl_->Window(), zarl_->Pid());
    if (!dialog) {
        Fatal("the Settings dialog did not open; windows: " + DescribeWindows(zarl_->Pid()));
        return false;
    }
    std::string differences;
    if (!WaitUntil([&] { return DialogShows(dialog, config_, &differences); }, kResultTimeout))
        Fail(&storeFaults_,
             "the Settings dialog does not show the settings in force:" + differences);
    SelectComboItem(dialog, IDC_KEY, int(std::strchr(kKeys, target.key) - kKeys));
    ClickButton(dialog, target.position == KeyPrefix ? IDC_PREFIX : IDC_SUFFIX);
    SelectComboItem(dialog, IDC_DELAY,
                    int(std::find(std::begin(kDelays), std::end(kDelays), target.delay) - kDelays));
    ClickButton(dialog, target.angle == AngleDegrees ? IDC_DEGREE : IDC_RADIAN);
    int type = 0;
    while (type < 5 && target.type != kTypes[type]) ++type;
    SelectComboItem(dialog, IDC_TYPE, type);
    SelectComboItem(dialog, IDC_PRECISION, target.precision);
    SelectComboItem(dialog, IDC_HEXFORM, target.hexForm);
    if ((target.sign == "+") != (config_.sign == "+")) ClickButton(dialog, IDC_SIGN);
    if (target.separators != config_.separators) ClickButton(dialog, IDC_SEPARATORS);
    if (target.shiftJis != config_.shiftJis) ClickButton(dialog, IDC_SHIFTJIS);
    if (target.noCopy != config_.noCopy) ClickButton(dialog, IDC_NOCOPY);
    if (!WaitUntil([&] { return DialogShows(dialog, target, &differences); }, kResultTimeout)) {
        Fail(&windowFaults_, "the Settings dialog did not take the changes:" + differences);
        ClickButton(dialog, IDCANCEL);
        WaitForWindowGone(dialog);
        return false;
    }
    if (!ClickButton(dialog, IDOK) || !WaitForWindowGone(dialog)) {
        Fatal("the Settings dialog stayed open after OK");
        return false;
    }
    ++dialogChanges_;
    config_ = target;
    ApplyToModel(config_);
    std::printf("soak: change %ld, settings through the dialog: %s\n", changes_,
                Describe(config_).c_str());
    std::fflush(stdout);
    CheckStore("after OK in the Settings dialog (" + Describe(config_) + ")");
    return true;
}

// ---------------------------------------------------------------------------
// Checks

void Soak::CheckHistory() {
    if (!windows_.resultOpen) return;
    std::optional<std::vector<std::string>> seen = ResultHistory(result_);
    if (!seen) {
        Fail(&historyFaults_, "the Result window's history does not answer");
        return;
    }
    ++historyChecks_;
    std::vector<std::string> wanted(history_.begin(), history_.end());
    if (historyKnown_ && *seen != wanted) {
        size_t i = 0;
        while (i < seen->size() && i < wanted.size() && (*seen)[i] == wanted[i]) ++i;
        Fail(&historyFaults_,
             "the Result window's history holds " + std::to_string(seen->size()) +
                 " entries, expected " + std::to_string(wanted.size()) + "; entry " +
                 std::to_string(i) + " is " +
                 (i < seen->size() ? Printable((*seen)[i]) : std::string("missing")) +
                 ", expected " + (i < wanted.size() ? Printable(wanted[i]) : std::string("none")));
    }
    if (!historyKnown_) ++historyResyncs_;
    history_.assign(seen->begin(), seen->end());
    historyKnown_ = true;
}

// With "No Copy" the answer is only in the Result window: its newest entry.
void Soak::CheckTopEntry(const std::string& expected) {
    HWND combo = GetDlgItem(result_, IDC_HISTORY);
    DWORD_PTR length = 0;
    std::wstring text;
    if (combo && SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, 0, 0, SMTO_NORMAL, 5000, &length) &&
        static_cast<LONG_PTR>(length) >= 0) {
        text.assign(length + 1, L'\0');
        DWORD_PTR got = 0;
        if (!SendMessageTimeoutW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text.data()),
                                 SMTO_NORMAL, 5000, &got))
            got = 0;
        text.resize(std::min<size_t>(got, length));
    }
    std::string narrow(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(text[i]);
    if (narrow != expected)
        Fail(expected == "Not Evaluated" ? &unexpected_ : &wrong_,
             "with No Copy the newest entry of the Result window is " + Printable(narrow) +
                 ", expected " + Printable(expected));
}

// The store holds byte for byte what the last save wrote. A save may follow
// the event awaited here by a moment (a window's own bookkeeping runs before
// its caller's save), so the store gets that moment.
void Soak::CheckStore(const std::string& when) {
    ++storeChecks_;
    RegSnapshot wanted = ExpectedSettingsKey(config_, windows_);
    RegSnapshot constants = ExpectedConstantsKey();
    std::optional<RegSnapshot> seen, seenConstants;
    bool same = WaitUntil(
        [&] {
            seen = SnapshotKey(kSettingsKey);
            seenConstants = SnapshotKey(kConstantsKey);
            return seen == wanted && seenConstants == constants;
        },
        Ms{2000}, Ms{10});
    if (same) return;
    std::string what = when + ": the store differs from the last save: ";
    what += seen ? DescribeSnapshotDifference(wanted, *seen) : std::string("no Settings key; ");
    what += seenConstants ? DescribeSnapshotDifference(constants, *seenConstants)
                          : std::string("no Constants key");
    Fail(&storeFaults_, what);
}

void Soak::MeasureMemory(Memory* into) {
    *into = ReadMemory(procDir_, zarl_->Process());
    into->windows = std::string(windows_.resultOpen ? "Result" : "") +
                    (windows_.resultOpen && windows_.imdOpen ? " and " : "") +
                    (windows_.imdOpen ? "Immediate" : "");
    if (into->windows.empty()) into->windows = "none";
    if (!into->ok) Fail(&otherFaults_, "could not read the memory of the process running ZARL");
}

// ---------------------------------------------------------------------------
// The run

// One round of the long-lived process. The first is short, so that every kind
// of activity has run before the memory mark at 1,000 changes.
void Soak::Round(int number) {
    long unit = number == 0 ? 1 : 4;
    OpenWindow(true);
    if (windows_.resultOpen && !windows_.resultFloat && number % 2 == 1) SwitchResultFloat();
    Segment("the defaults", 200 * unit);

    if (Done() || !ChangeSettings(texts_.RandomFormat(config_))) return;
    OpenWindow(false);
    Segment("a result format", 150 * unit);
    if (windows_.resultFloat) SwitchResultFloat();

    if (Done() || !ChangeSettings(texts_.RandomKey(config_))) return;
    CloseWindow(true);
    Segment("a key", 150 * unit);
    if (!Done()) Pause(10);

    Config delayed = config_;
    delayed.delay = 100;
    if (Done() || !ChangeSettings(delayed)) return;
    OpenWindow(true);
    Segment("Delay 100", 100);

    Config noCopy = config_;
    noCopy.delay = 0;
    noCopy.noCopy = true;
    if (Done() || !ChangeSettings(noCopy)) return;
    Segment("No Copy", 60 * unit);

    if (Done() || !ChangeSettings(kDefaults)) return;
    CloseWindow(false);
}

int Soak::Run() {
    if (!Prepare()) return 1;
    std::printf("ZARL.exe: %s\nsoak: %ld changes, seed %u\n", ZarlExePath().c_str(), target_,
                seed_);
    started_ = Clock::now();
    nextProgress_ = std::max(1000L, target_ / 10);

    // Starts with settings written into the registry while ZARL is closed.
    long perRestart = std::min(300L, std::max(30L, target_ / 20));
    bool first = true;
    for (const StoredRow& row : RestartRows()) {
        if (Done() || !StartWith(row, first)) break;
        first = false;
        Segment(row.name, perRestart);
    }
    // The long-lived process.
    if (!Done() && StartWith(DefaultsRow(), false)) {
        longLived_ = true;
        MeasureMemory(&atStart_);
        for (int round = 0; !Done(); ++round) Round(round);
    }
    finished_ = Clock::now();

    if (zarl_ && !fatal_) {
        CheckViewers("at the end");
        MeasureMemory(&atEnd_);
        // Back to the defaults, where 1+2= gives 3.
        if (config_ != kDefaults) ChangeSettings(kDefaults);
        SyncViewers();
        testing::AssertionResult evaluates = CopyAndExpectResult("1+2=", "3");
        stillEvaluates_ = evaluates;
        expectedDraws_ += 2;
        if (!evaluates) Fail(&lost_, std::string("at the end: ") + evaluates.message());
        quietSeq_ = GetClipboardSequenceNumber();
        if (GetClipboardViewer() != ahead_->Window() || ahead_->Next() != zarl_->Window())
            Fail(&chainFaults_, "at the end the chain is not: the viewer ahead, then ZARL");
        CloseZarl("at the end");
        // ZARL gone, the chain still carries every change.
        if (!fatal_) {
            CopyText("soak end");
            ++expectedDraws_;
            CheckViewers("after ZARL left");
            if (GetFileAttributesA(IniPath().c_str()) != INVALID_FILE_ATTRIBUTES)
                Fail(&storeFaults_, "ZARL.INI was written although the export stayed off");
        }
    }
    if (zarl_) zarl_->Close();
    if (ahead_ && ahead_->Joined()) ahead_->Leave();
    if (behind_ && behind_->Joined()) behind_->Leave();
    return Report();
}

void PrintMemory(const char* label, const Memory& m) {
    if (!m.ok) {
        std::printf("  %-22s not measured\n", label);
        return;
    }
    std::printf(
        "  %-22s VmRSS %7ld  RssAnon %7ld | below 4 GiB: Rss %7ld  Anonymous %7ld | above: Rss "
        "%7ld  Anonymous %7ld | committed private %7ld   (windows: %s)\n",
        label, m.vmRss, m.rssAnon, m.guestRss, m.guestAnon, m.hostRss, m.hostAnon,
        m.committedPrivate, m.windows.c_str());
}

int Soak::Report() {
    double seconds =
        std::chrono::duration<double>((finished_ > started_ ? finished_ : Clock::now()) - started_)
            .count();
    std::printf("\n== soak of ZARL.exe, seed %u\n", seed_);
    std::printf("changes made:   %ld in %.1f s, %.1f changes/s (plus %ld written by ZARL)\n",
                changes_, seconds, seconds > 0 ? changes_ / seconds : 0.0, zarlWrites_);
    std::printf("%-22s %9s %9s\n", "kind of change", "copies", "answered");
    for (int k = 0; k < kKinds; ++k)
        std::printf("%-22s %9ld %9ld\n", kKindNames[k], tallies_[k].copies, tallies_[k].evaluated);
    std::printf(
        "bursts %ld (stretched past the delay: %ld), Immediate evaluations %ld, Copy clicks %ld\n",
        bursts_, stretchedBursts_, immediates_, copyClicks_);
    std::printf(
        "starts %ld, settings changed in the dialog %ld, windows opened or closed %ld, float "
        "switches %ld\n",
        restarts_, dialogChanges_, windowToggles_, floatSwitches_);
    std::printf("store checks %ld, history checks %ld (re-read after a start or a stretch: %ld)\n",
                storeChecks_, historyChecks_, historyResyncs_);
    std::printf("viewer notifications: ahead %ld, behind %ld, changes %ld\n", totalAhead_,
                totalBehind_, totalExpected_);

    std::printf("\nmemory of the process running ZARL.exe, kB (%s):\n",
                atMark_.ok ? "long-lived process" : "not reached");
    PrintMemory("at its start", atStart_);
    PrintMemory("after 1,000 changes", atMark_);
    PrintMemory("at the end", atEnd_);
    bool flat = false;
    if (atMark_.ok && atEnd_.ok) {
        std::printf(
            "  growth                 VmRSS %+7ld  RssAnon %+7ld | below 4 GiB: Rss %+7ld  "
            "Anonymous %+7ld | above: Rss %+7ld  Anonymous %+7ld | committed private %+7ld\n",
            atEnd_.vmRss - atMark_.vmRss, atEnd_.rssAnon - atMark_.rssAnon,
            atEnd_.guestRss - atMark_.guestRss, atEnd_.guestAnon - atMark_.guestAnon,
            atEnd_.hostRss - atMark_.hostRss, atEnd_.hostAnon - atMark_.hostAnon,
            atEnd_.committedPrivate - atMark_.committedPrivate);
        flat = atEnd_.guestRss - atMark_.guestRss <= kMemoryToleranceKb &&
               atEnd_.guestAnon - atMark_.guestAnon <= kMemoryToleranceKb &&
               atEnd_.committedPrivate - atMark_.committedPrivate <= kMemoryToleranceKb;
    }

    struct Check {
        const char* what;
        bool passed;
        std::string detail;
    };
    long answered = tallies_[kExpression].evaluated + tallies_[kMangled].evaluated +
                    tallies_[kNoKey].evaluated + tallies_[kGarbage].evaluated +
                    tallies_[kLong1023].evaluated + tallies_[kFullWidth].evaluated +
                    tallies_[kAnchor].evaluated + tallies_[kBurstMember].evaluated + immediates_;
    const Check checks[] = {
        {"the run went through", !fatal_ && changes_ >= target_,
         std::to_string(changes_) + " of " + std::to_string(target_) + " changes"},
        {"every paced valid copy answered correctly", lost_ == 0 && wrong_ == 0,
         std::to_string(answered) + " answers expected, " + std::to_string(lost_) + " lost, " +
             std::to_string(wrong_) + " wrong"},
        {"nothing else written, one evaluation per burst",
         unexpected_ == 0 && extraEvaluations_ == 0,
         std::to_string(unexpected_) + " unexpected writes, " + std::to_string(extraEvaluations_) +
             " evaluations within bursts"},
        {"Result and Immediate windows, Settings dialog", historyFaults_ == 0 && windowFaults_ == 0,
         std::to_string(historyFaults_) + " history and " + std::to_string(windowFaults_) +
             " window faults"},
        {"ZARL still evaluates (1+2= gives 3)", stillEvaluates_, ""},
        {"the viewer chain is intact",
         chainFaults_ == 0 && totalAhead_ == totalExpected_ && totalBehind_ == totalExpected_,
         std::to_string(chainFaults_) + " faults"},
        {"the store holds what was last saved", storeFaults_ == 0,
         std::to_string(storeChecks_) + " checks, " + std::to_string(storeFaults_) + " differ"},
        {"ZARL ended cleanly", endedCleanly_, ""},
        {"memory flat after 1,000 changes (below 4 GiB, committed private)", flat,
         "growth allowed: " + std::to_string(kMemoryToleranceKb) + " kB"},
    };
    std::printf("\nchecks:\n");
    bool all = otherFaults_ == 0;
    for (const Check& c : checks) {
        std::printf("  %-4s %s%s%s\n", c.passed ? "ok" : "FAIL", c.what,
                    c.detail.empty() ? "" : ": ", c.detail.c_str());
        all = all && c.passed;
    }
    if (otherFaults_) std::printf("  FAIL other faults: %ld\n", otherFaults_);
    std::printf("soak: %s (%ld failures)\n", all ? "passed" : "FAILED", failures_);
    return all ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    long changes = 100000;
    unsigned seed = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--changes=", 10) == 0) {
            changes = std::atol(argv[i] + 10);
        } else if (std::strncmp(argv[i], "--seed=", 7) == 0) {
            seed = static_cast<unsigned>(std::strtoul(argv[i] + 7, nullptr, 10));
        } else {
            std::fprintf(stderr, "usage: zarl_e2e_soak [--changes=N] [--seed=N]\n");
            return 2;
        }
    }
    // Fewer would end before the memory is measured at the mark, and the
    // check of flat memory could not be made.
    if (changes < 2000) {
        std::fprintf(stderr,
                     "soak: --changes must be at least 2000 (the memory is measured after the "
                     "long-lived process's first %ld changes)\n",
                     kMemoryMark);
        return 2;
    }
    Soak soak(changes, seed);
    try {
        return soak.Run();
    } catch (const std::exception& e) {
        // The soak's ZARL is closed on the way out, not left to the next run.
        std::printf("soak: FAILED: %s\n", e.what());
        return 1;
    }
}
