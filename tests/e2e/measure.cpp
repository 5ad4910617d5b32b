// Figures of the running ZARL.exe, measured from outside as the tests drive it
// and printed for the README (run by measure.sh, not by ctest):
//   - latency: from another program's clipboard write (its CloseClipboard
//     returning) to ZARL's result being readable on the clipboard, with
//     Delay 0, over many changes: median, 95th percentile, extremes;
//   - start-up: from CreateProcess to the main window being ready, and to the
//     first evaluated result of a copy made as soon as the window is ready;
//   - memory of the running process: GetProcessMemoryInfo as Wine reports it,
//     and the resident set of the Wine process read from /proc (drive Z:).
//
//   zarl_e2e_measure [--changes=N] [--starts=N]
//
// It removes the stored settings first (the test prefix's, like the tests).
#include "harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

using namespace e2e;

namespace {

struct Stats {
    double min = 0, median = 0, p95 = 0, max = 0, mean = 0;
};

Stats Summarize(std::vector<double> values) {
    Stats s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    auto at = [&](double q) {
        // Nearest rank.
        size_t rank = static_cast<size_t>(q * values.size() + 0.999999);
        if (rank < 1) rank = 1;
        if (rank > values.size()) rank = values.size();
        return values[rank - 1];
    };
    s.min = values.front();
    s.max = values.back();
    s.median = at(0.5);
    s.p95 = at(0.95);
    double sum = 0;
    for (double v : values) sum += v;
    s.mean = sum / values.size();
    return s;
}

void Print(const char* what, const Stats& s, size_t n) {
    std::printf(
        "%-34s n=%-4zu median %8.3f ms   p95 %8.3f ms   min %8.3f   max %8.3f   mean %8.3f\n", what,
        n, s.median, s.p95, s.min, s.max, s.mean);
}

// Waits for our own write to be followed by another one, polling without
// sleeping (the sequence number query is a wine server round trip, which is
// the natural pace), then reads the clipboard as soon as the writer lets go.
bool AwaitResult(const ClipboardWrite& write, std::string* text, double* ms) {
    Deadline deadline(Ms{3000});
    while (GetClipboardSequenceNumber() == write.seq) {
        if (deadline.Passed()) return false;
        SwitchToThread();
    }
    while (!OpenClipboard(nullptr)) {
        if (deadline.Passed()) return false;
        SwitchToThread();
    }
    HANDLE data = GetClipboardData(CF_TEXT);
    text->clear();
    if (data) {
        const char* p = static_cast<const char*>(GlobalLock(data));
        if (p) {
            text->assign(p, strnlen(p, GlobalSize(data)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    *ms = std::chrono::duration<double, std::milli>(Clock::now() - write.closedAt).count();
    return true;
}

std::string StatusField(const std::string& status, const std::string& field) {
    std::istringstream lines(status);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(field + ":", 0) == 0) {
            std::string value = line.substr(field.size() + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            return value;
        }
    return "?";
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "measure: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    int changes = 200;
    int starts = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--changes=", 10) == 0)
            changes = std::atoi(argv[i] + 10);
        else if (std::strncmp(argv[i], "--starts=", 9) == 0)
            starts = std::atoi(argv[i] + 9);
        else
            return Fail(std::string("unknown argument ") + argv[i] +
                        " (use --changes=N --starts=N)");
    }
    if (changes < 1 || starts < 1) return Fail("--changes and --starts must be at least 1");
    std::string why;
    if (!DisplayAvailable(&why)) return Fail(why);
    if (!TopLevelWindows(0, "ZARL").empty()) return Fail("a copy of ZARL is already running");
    if (!FreshStore()) return Fail("could not remove the stored settings");
    std::printf("ZARL.exe: %s\n", ZarlExePath().c_str());

    // Start-up: the first start creates the stored settings; later ones read them.
    std::vector<double> ready, firstResult;
    for (int i = 0; i < starts; ++i) {
        if (!CopyText("measure").ok) return Fail("cannot write the clipboard");
        auto t0 = Clock::now();
        std::unique_ptr<Zarl> zarl = StartZarl(&why);
        if (!zarl) return Fail(why);
        Outcome outcome = CopyAndAwaitChange("1+2=");
        double total = MillisecondsSince(t0);
        if (!outcome.changed || outcome.read.text != "3")
            return Fail("start " + std::to_string(i) + ": 1+2= gave " +
                        Printable(outcome.read.text));
        ready.push_back(zarl->StartMilliseconds());
        firstResult.push_back(total);
        if (i == 0)
            std::printf("first start (no stored settings): ready %.1f ms, first result %.1f ms\n",
                        zarl->StartMilliseconds(), total);
        Zarl::Ending ending = zarl->Close();
        if (!ending.exited || ending.exitCode != 0)
            return Fail("ZARL did not end cleanly on WM_CLOSE");
    }

    std::unique_ptr<Zarl> zarl = StartZarl(&why);
    if (!zarl) return Fail(why);
    MemoryFigures idle = ProcessMemory(zarl->Process());

    // Latency with Delay 0 (the default): distinct expressions, so that every
    // result is known and checked.
    std::vector<double> latency;
    int missed = 0;
    for (int i = -10; i < changes; ++i) {
        std::string text = std::to_string(1000 + i) + "+1=";
        std::string expected = std::to_string(1001 + i);
        ClipboardWrite write = CopyText(text);
        if (!write.ok) return Fail(write.error);
        std::string seen;
        double ms = 0;
        if (!AwaitResult(write, &seen, &ms)) {
            // The result may have come before our sequence number was read.
            ClipboardRead read = ReadClipboardText();
            if (read.text != expected) return Fail("no result for " + text);
            ++missed;
            continue;
        }
        if (seen != expected)
            return Fail(text + " gave " + Printable(seen) + ", expected " + expected);
        if (i >= 0) latency.push_back(ms);  // the first ten warm up
    }

    MemoryFigures busy = ProcessMemory(zarl->Process());
    const std::string procDir = ZarlProcDirectory();
    const std::string status = procDir.empty() ? "" : ReadWholeFile(procDir + "\\status");
    const std::string unixPid = procDir.substr(procDir.find_last_of('\\') + 1);

    std::printf("\n");
    Print("clipboard write -> result readable", Summarize(latency), latency.size());
    if (missed)
        std::printf(
            "  (%d changes not timed: the result came before the write's sequence number was "
            "read)\n",
            missed);
    Print("CreateProcess -> window ready", Summarize(ready), ready.size());
    Print("CreateProcess -> first result", Summarize(firstResult), firstResult.size());
    std::printf("\nmemory, GetProcessMemoryInfo (as Wine reports it):\n");
    for (auto [label, m] : {std::pair<const char*, MemoryFigures>{"after start-up", idle},
                            std::pair<const char*, MemoryFigures>{"after the latency run", busy}}) {
        if (m.ok && m.privateUsage == 0)
            std::printf(
                "  %-22s PrivateUsage not reported (0)  WorkingSet %7.1f KiB  PeakWorkingSet %7.1f "
                "KiB\n",
                label, m.workingSet / 1024.0, m.peakWorkingSet / 1024.0);
        else if (m.ok)
            std::printf(
                "  %-22s PrivateUsage %7.1f KiB  WorkingSet %7.1f KiB  PeakWorkingSet %7.1f KiB\n",
                label, m.privateUsage / 1024.0, m.workingSet / 1024.0, m.peakWorkingSet / 1024.0);
        else
            std::printf("  %-22s GetProcessMemoryInfo failed (error %lu)\n", label, GetLastError());
    }
    if (!status.empty()) {
        std::printf("memory, Linux /proc/%s/status of the Wine process running ZARL.exe:\n",
                    unixPid.c_str());
        for (const char* field : {"VmRSS", "VmHWM", "RssAnon", "RssFile", "VmSize"})
            std::printf("  %-8s %s\n", field, StatusField(status, field).c_str());
    } else {
        std::printf("memory, /proc: the Wine process running ZARL.exe was not found uniquely\n");
    }
    Zarl::Ending ending = zarl->Close();
    if (!ending.exited || ending.exitCode != 0) return Fail("ZARL did not end cleanly on WM_CLOSE");
    return 0;
}
