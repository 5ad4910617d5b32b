// zarl-helpmap: gives a WinHelp file made by Halibut the context-number map
// (|CTXOMAP) that WinHelpA(..., HELP_CONTEXT, n) is looked up in. Halibut
// names topics in |CONTEXT but leaves the map empty; the build runs this tool
// on the help file with a map text of "NUMBER TOPICNAME" lines. It also puts
// |CONTEXT into the signed order readers search it in, where Halibut wrote it
// in unsigned order, so that links to every topic work. The output is
// written beside its final name and renamed into place, so a failure leaves
// no partial file; the output may be the input itself.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "tools/helpfile.h"

namespace {

const char Usage[] =
    "Usage: zarl-helpmap MAPFILE IN.HLP OUT.HLP\n"
    "       zarl-helpmap --dump FILE.HLP\n"
    "Writes OUT.HLP: IN.HLP with a context-number map (|CTXOMAP) from MAPFILE,\n"
    "whose lines are \"NUMBER TOPICNAME\" (a winhelp-topic name); empty lines and\n"
    "lines starting with \"#\" are skipped. The topic names' B-tree (|CONTEXT) is\n"
    "sorted by hash as signed numbers, the order help viewers search it in.\n"
    "--dump lists the internal files, the order of |CONTEXT (signed or unsigned)\n"
    "and its entries, and the map, each map entry with whether a topic lies at\n"
    "its offset.\n"
    "\n"
    "Exit status: 0 on success, 1 for a malformed or unreadable input or a\n"
    "failed write, 2 for bad arguments.\n";

// Far above any help file; a bound so that a wrong path (a device, a huge
// file) fails instead of filling memory.
constexpr long MaxInputSize = 256L * 1024 * 1024;

void Report(const std::string& subject, const std::string& message) {
    std::fprintf(stderr, "zarl-helpmap: %s: %s\n", subject.c_str(), message.c_str());
}

bool ReadWholeFile(const std::string& path, HelpBytes* data) {
    std::error_code code;
    if (std::filesystem::exists(path, code) && !std::filesystem::is_regular_file(path, code)) {
        Report(path, "not a regular file");
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        Report(path, std::strerror(errno));
        return false;
    }
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    ok = ok && size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok && size > MaxInputSize) {
        std::fclose(file);
        Report(path, "larger than " + std::to_string(MaxInputSize) + " bytes");
        return false;
    }
    if (ok) {
        data->resize(static_cast<std::size_t>(size));
        ok = size == 0 || std::fread(data->data(), 1, data->size(), file) == data->size();
        // The size may have changed since it was taken.
        ok = ok && std::fgetc(file) == EOF && !std::ferror(file);
    }
    std::fclose(file);
    if (!ok) Report(path, "cannot be read");
    return ok;
}

// Writes through PATH.tmp and renames it over PATH.
bool WriteFileReplacing(const std::string& path, const HelpBytes& data) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        Report(temporary, std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
        // Windows does not rename over an existing file.
        std::remove(path.c_str());
        ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    }
    if (!ok) {
        std::remove(temporary.c_str());
        Report(path, "cannot be written");
    }
    return ok;
}

int Dump(const std::string& path) {
    HelpBytes image;
    if (!ReadWholeFile(path, &image)) return 1;
    std::string text, error;
    if (!DumpHelpFile(image, &text, &error)) {
        Report(path, error);
        return 1;
    }
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int Map(const std::string& mapPath, const std::string& inPath, const std::string& outPath) {
    HelpBytes mapText, in;
    if (!ReadWholeFile(mapPath, &mapText) || !ReadWholeFile(inPath, &in)) return 1;
    HelpBytes out;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(mapText.data()), mapText.size());
    if (!ApplyHelpMap(in, text, &out, &error)) {
        // Map lines are named in the message; anything else is the help file's.
        Report(error.rfind("map", 0) == 0 ? mapPath : inPath, error);
        return 1;
    }
    return WriteFileReplacing(outPath, out) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--dump") == 0) return Dump(argv[2]);
    if (argc == 4 && argv[1][0] != '-') return Map(argv[1], argv[2], argv[3]);
    std::fputs(Usage, stderr);
    return 2;
}
