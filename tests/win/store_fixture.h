// Shared fixture and helpers of the storage tests. They drive the real
// registry and the real profile functions of the test prefix: every test
// starts with no HKCU\Software\Brenmoor key, no ZARL.INI in the Windows
// directory, the default settings and an empty constant table, and the
// helpers write and read stored values byte for byte, with their types, so
// that a test can plant damaged values and check exactly what was written.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/constants.h"
#include "settings/persistence.h"
#include "settings/settings.h"

// The import-table slots through which this executable calls the registry.
// The recorder below swaps them to watch what the code under test does.
#if defined(_WIN64)
#define ZARL_IMPORT_SLOT(fn, argbytes) extern "C" void* ZarlImportSlot_##fn __asm__("__imp_" #fn);
#else
#define ZARL_IMPORT_SLOT(fn, argbytes) \
    extern "C" void* ZarlImportSlot_##fn __asm__("__imp__" #fn "@" #argbytes);
#endif
ZARL_IMPORT_SLOT(RegSetValueExA, 24)
ZARL_IMPORT_SLOT(RegCreateKeyExA, 36)
ZARL_IMPORT_SLOT(RegOpenKeyExA, 20)
ZARL_IMPORT_SLOT(RegCloseKey, 4)
#undef ZARL_IMPORT_SLOT

namespace zarl_store_test {

constexpr char kProductKey[] = "Software\\Brenmoor";
constexpr char kSettingsKey[] = "Software\\Brenmoor\\ZARL\\Settings";
constexpr char kConstantsKey[] = "Software\\Brenmoor\\ZARL\\Constants";
constexpr char kIniName[] = "ZARL.INI";

// ---------------------------------------------------------------------------
// Registry values as stored: the type and the exact bytes.

struct RegValue {
    DWORD type;
    std::string data;
};

inline bool operator==(const RegValue& a, const RegValue& b) {
    return a.type == b.type && a.data == b.data;
}
inline bool operator!=(const RegValue& a, const RegValue& b) {
    return !(a == b);
}

inline const char* TypeName(DWORD type) {
    switch (type) {
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        case REG_QWORD: return "REG_QWORD";
        default: return "REG_?";
    }
}

// Bytes with control and high bytes as \xNN, so that a missing or extra zero
// byte shows in a failure message.
inline std::string Escaped(const std::string& bytes) {
    std::string shown = "\"";
    for (unsigned char c : bytes) {
        if (c < 32 || c > 126 || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            shown += hex;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown + "\"";
}

inline void PrintTo(const RegValue& v, std::ostream* os) {
    *os << TypeName(v.type) << " "
        << Escaped(v.data.size() > 120 ? v.data.substr(0, 120) + "..." : v.data) << " ("
        << v.data.size() << " bytes)";
}

// A text with its terminating zero byte, as the program stores REG_SZ values.
inline std::string Sz(const std::string& text) {
    return text + std::string(1, '\0');
}

inline std::string DwordBytes(uint32_t v) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return b;
}

inline RegValue SzValue(const std::string& text) {
    return {REG_SZ, Sz(text)};
}
inline RegValue DwordValue(uint32_t v) {
    return {REG_DWORD, DwordBytes(v)};
}

// Opens (creating when missing) a key below HKEY_CURRENT_USER.
inline HKEY CreateKey(const char* path) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr);
    EXPECT_EQ(ERROR_SUCCESS, rc) << "creating " << path;
    return rc == ERROR_SUCCESS ? key : nullptr;
}

inline bool KeyExists(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Writes a value of any type and size, byte for byte.
inline void SetRawValue(const char* path, const std::string& name, DWORD type,
                        const std::string& bytes) {
    HKEY key = CreateKey(path);
    if (!key) return;
    LONG rc =
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    EXPECT_EQ(ERROR_SUCCESS, rc) << "writing " << name;
    RegCloseKey(key);
}

inline void SetValue(const char* path, const std::string& name, const RegValue& v) {
    SetRawValue(path, name, v.type, v.data);
}
inline void SetText(const char* path, const std::string& name, const std::string& text) {
    SetRawValue(path, name, REG_SZ, Sz(text));
}
inline void SetDword(const char* path, const std::string& name, uint32_t v) {
    SetRawValue(path, name, REG_DWORD, DwordBytes(v));
}

inline void DeleteValue(const char* path, const std::string& name) {
    HKEY key = CreateKey(path);
    if (!key) return;
    RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
}

// Reads one value back with its type; nothing when it (or its key) is missing.
inline std::optional<RegValue> ReadValue(const char* path, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<RegValue> result;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        DWORD got = size;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(data.empty() ? nullptr : &data[0]),
                             &got) == ERROR_SUCCESS) {
            data.resize(got);
            result = RegValue{type, data};
        }
    }
    RegCloseKey(key);
    return result;
}

// Every value of a key, in the registry's own index order, with its type and
// bytes. Buffers are large enough for any value a test plants.
inline std::vector<std::pair<std::string, RegValue>> AllValues(const char* path) {
    std::vector<std::pair<std::string, RegValue>> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        char name[1024];
        DWORD name_len = sizeof name;
        std::string data(65536, '\0');
        DWORD data_len = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &name_len, nullptr, &type,
                          reinterpret_cast<BYTE*>(&data[0]), &data_len) != ERROR_SUCCESS)
            break;
        data.resize(data_len);
        values.push_back({std::string(name, name_len), RegValue{type, data}});
    }
    RegCloseKey(key);
    return values;
}

inline std::vector<std::string> ValueNames(const char* path) {
    std::vector<std::string> names;
    for (const auto& nv : AllValues(path)) names.push_back(nv.first);
    return names;
}

// A key's values by name, for comparisons that do not depend on the index
// order (Wine enumerates values by name, Windows in creation order).
inline std::map<std::string, RegValue> ValueMap(
    const std::vector<std::pair<std::string, RegValue>>& values) {
    std::map<std::string, RegValue> map;
    for (const auto& nv : values) map[nv.first] = nv.second;
    return map;
}

// ---------------------------------------------------------------------------
// ZARL.INI in the Windows directory.

inline std::string IniPath() {
    char dir[MAX_PATH];
    UINT len = GetWindowsDirectoryA(dir, MAX_PATH);
    EXPECT_GT(len, 0u);
    return std::string(dir, len) + "\\" + kIniName;
}

// Makes the profile functions forget their cached copy of the file, so that
// the next read sees what is on disk.
inline void FlushProfileCache() {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, kIniName);
}

inline bool IniExists() {
    return GetFileAttributesA(IniPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Writes a hand-made file exactly as given, then drops the cached copy.
inline void WriteIniBytes(const std::string& bytes) {
    FlushProfileCache();
    FILE* f = std::fopen(IniPath().c_str(), "wb");
    ASSERT_NE(nullptr, f) << IniPath();
    size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    ASSERT_EQ(bytes.size(), written);
    FlushProfileCache();
}

// Joins lines with CR LF, as an editor on Windows would save them.
inline std::string IniText(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

inline std::string ReadIniBytes() {
    FlushProfileCache();
    std::string bytes;
    FILE* f = std::fopen(IniPath().c_str(), "rb");
    if (!f) return bytes;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    std::fclose(f);
    return bytes;
}

// The file as lines, without their CR LF.
inline std::vector<std::string> ReadIniLines() {
    std::vector<std::string> lines;
    std::string bytes = ReadIniBytes();
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The section names of the file in file order.
inline std::vector<std::string> IniSectionNames() {
    std::vector<std::string> names;
    for (const auto& line : ReadIniLines())
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
            names.push_back(line.substr(1, line.size() - 2));
    return names;
}

// The non-blank lines of one section in file order (empty when it is absent).
inline std::vector<std::string> IniSection(const std::string& section) {
    std::vector<std::string> lines;
    bool inside = false;
    for (const auto& line : ReadIniLines()) {
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            inside = line.substr(1, line.size() - 2) == section;
            continue;
        }
        if (inside && !line.empty()) lines.push_back(line);
    }
    return lines;
}

// ---------------------------------------------------------------------------
// The settings record, field by field.

// Every field as "Name=value", in record order, so that two records compare
// as lists and a failure names the fields that differ.
inline std::vector<std::string> Describe(const SettingsRecord& s) {
    auto num = [](const char* name, long long v) {
        return std::string(name) + "=" + std::to_string(v);
    };
    auto text = [](const char* name, const char* field, size_t size) {
        return std::string(name) + "=\"" + std::string(field, strnlen(field, size)) + "\"";
    };
    return {
        std::string("EvalKey='") + s.EvalKey + "'",
        num("EvalKeyPosition", s.EvalKeyPosition),
        num("Delay", s.Delay),
        num("AngleUnit", s.AngleUnit),
        text("OutFormatSign", s.OutFormatSign, sizeof s.OutFormatSign),
        text("OutFormatType", s.OutFormatType, sizeof s.OutFormatType),
        num("OutFormatPrecision", s.OutFormatPrecision),
        num("InsThousandSep", s.InsThousandSep),
        num("ShiftJIS", s.ShiftJIS),
        num("HexadecimalForm", s.HexadecimalForm),
        num("NoCopy", s.NoCopy),
        num("AttachResToImd", s.AttachResToImd),
        num("ShowResultWindow", s.ShowResultWindow),
        num("ShowImdWindow", s.ShowImdWindow),
        num("ResultWindowFloat", s.ResultWindowFloat),
        num("ImdWindowFloat", s.ImdWindowFloat),
        num("WriteIni", s.WriteIni),
        num("ResultWindowPosX", s.ResultWindowPosX),
        num("ResultWindowPosY", s.ResultWindowPosY),
        num("ImdWindowPosX", s.ImdWindowPosX),
        num("ImdWindowPosY", s.ImdWindowPosY),
    };
}

inline void SetText32(char (&field)[32], const char* text) {
    std::memset(field, 0, sizeof field);
    std::snprintf(field, sizeof field, "%s", text);
}

// The defaults every start begins with, written out here rather than taken
// from SetDefaultSettings, so that a wrong default shows.
inline SettingsRecord DefaultRecord() {
    SettingsRecord s;
    std::memset(&s, 0, sizeof s);
    s.EvalKey = '=';
    s.EvalKeyPosition = 1;
    s.Delay = 0;
    s.AngleUnit = 0;
    SetText32(s.OutFormatSign, "-");
    SetText32(s.OutFormatType, "g");
    s.OutFormatPrecision = 15;
    s.ResultWindowPosX = 10;
    s.ResultWindowPosY = 60;
    s.ImdWindowPosX = 10;
    s.ImdWindowPosY = 10;
    return s;
}

// A record in which every field differs from its default and from its
// fallback, so that a value lost or crossed with another shows.
inline SettingsRecord TunedRecord() {
    SettingsRecord s = DefaultRecord();
    s.EvalKey = '#';
    s.EvalKeyPosition = 0;
    s.Delay = 10;
    s.AngleUnit = 1;
    SetText32(s.OutFormatSign, "+");
    SetText32(s.OutFormatType, "E");
    s.OutFormatPrecision = 7;
    s.InsThousandSep = 1;
    s.ShiftJIS = 1;
    s.HexadecimalForm = 2;
    s.NoCopy = 1;
    s.AttachResToImd = 1;
    s.ShowResultWindow = 1;
    s.ShowImdWindow = 1;
    s.ResultWindowFloat = 1;
    s.ImdWindowFloat = 1;
    s.WriteIni = 0;
    s.ResultWindowPosX = 111;
    s.ResultWindowPosY = -222;
    s.ImdWindowPosX = 333;
    s.ImdWindowPosY = 444;
    return s;
}

// A record whose every field holds a value no load produces, to show which
// fields a load sets and which it leaves alone.
inline SettingsRecord PoisonedRecord() {
    SettingsRecord s;
    std::memset(&s, 0, sizeof s);
    s.EvalKey = 'Z';
    s.EvalKeyPosition = 7;
    s.Delay = 777;
    s.AngleUnit = 7;
    SetText32(s.OutFormatSign, "Z");
    SetText32(s.OutFormatType, "Z");
    s.OutFormatPrecision = 77;
    s.InsThousandSep = 7;
    s.ShiftJIS = 7;
    s.HexadecimalForm = 7;
    s.NoCopy = 7;
    s.AttachResToImd = 7;
    s.ShowResultWindow = 7;
    s.ShowImdWindow = 7;
    s.ResultWindowFloat = 7;
    s.ImdWindowFloat = 7;
    s.WriteIni = 7;
    s.ResultWindowPosX = 7001;
    s.ResultWindowPosY = 7002;
    s.ImdWindowPosX = 7003;
    s.ImdWindowPosY = 7004;
    return s;
}

// What LoadSettingsFromRegistry or LoadSettingsFromIni makes of a store that
// holds nothing, starting from PoisonedRecord: every loaded field at its
// fallback, WriteIni and the positions untouched.
inline SettingsRecord EmptyStoreRecord() {
    SettingsRecord s = PoisonedRecord();
    s.EvalKey = '=';
    s.EvalKeyPosition = 1;
    s.Delay = 0;
    s.AngleUnit = 0;
    SetText32(s.OutFormatSign, "-");
    SetText32(s.OutFormatType, "g");
    s.OutFormatPrecision = 15;
    s.InsThousandSep = 0;
    s.ShiftJIS = 0;
    s.HexadecimalForm = 0;
    s.NoCopy = 0;
    s.AttachResToImd = 0;
    s.ShowResultWindow = 0;
    s.ShowImdWindow = 0;
    s.ResultWindowFloat = 0;
    s.ImdWindowFloat = 0;
    return s;
}

// Stored text forms.
inline const char* FlagText(int v) {
    return v ? "Yes" : "No";
}
inline const char* KeyPositionText(int v) {
    return v == 0 ? "PREFIX" : "SUFFIX";
}
inline const char* AngleText(int v) {
    return v == 1 ? "Deg" : "Rad";
}
inline const char* HexText(int v) {
    switch (v) {
        case 1: return "COMPLEMENT_8BIT";
        case 2: return "COMPLEMENT_16BIT";
        case 3: return "COMPLEMENT_32BIT";
        default: return "SIGNED";
    }
}

// The values SaveSettings writes under the Settings key for a record, in
// their write order (the positions are not among them).
inline std::vector<std::pair<std::string, RegValue>> ExpectedSettingsValues(
    const SettingsRecord& s) {
    return {
        {"Version", SzValue("3.05")},
        {"EvalKey", SzValue(std::string(1, s.EvalKey))},
        {"EvalKeyPosition", SzValue(KeyPositionText(s.EvalKeyPosition))},
        {"Delay", DwordValue(s.Delay)},
        {"AngleUnit", SzValue(AngleText(s.AngleUnit))},
        {"OutFormatSign", SzValue(s.OutFormatSign)},
        {"OutFormatType", SzValue(s.OutFormatType)},
        {"OutFormatPrecision", DwordValue(static_cast<uint32_t>(s.OutFormatPrecision))},
        {"InsThousandSep", SzValue(FlagText(s.InsThousandSep))},
        {"ShiftJIS", SzValue(FlagText(s.ShiftJIS))},
        {"HexadecimalForm", SzValue(HexText(s.HexadecimalForm))},
        {"NoCopy", SzValue(FlagText(s.NoCopy))},
        {"AttachResToImd", SzValue(FlagText(s.AttachResToImd))},
        {"ShowResultWindow", SzValue(FlagText(s.ShowResultWindow))},
        {"ShowImdWindow", SzValue(FlagText(s.ShowImdWindow))},
        {"ResultWindowFloat", SzValue(FlagText(s.ResultWindowFloat))},
        {"ImdWindowFloat", SzValue(FlagText(s.ImdWindowFloat))},
        {"WriteIni", SzValue(FlagText(s.WriteIni))},
    };
}

inline std::vector<std::pair<std::string, RegValue>> ExpectedPositionValues(
    const SettingsRecord& s) {
    return {
        {"ResultWindowPosX", DwordValue(static_cast<uint32_t>(s.ResultWindowPosX))},
        {"ResultWindowPosY", DwordValue(static_cast<uint32_t>(s.ResultWindowPosY))},
        {"ImdWindowPosX", DwordValue(static_cast<uint32_t>(s.ImdWindowPosX))},
        {"ImdWindowPosY", DwordValue(static_cast<uint32_t>(s.ImdWindowPosY))},
    };
}

// Writes a record into the registry by hand, in the program's own forms,
// with "Version" and the positions; WriteIni is stored as given.
inline void WriteRegistryStore(const SettingsRecord& s, const char* write_ini = "No") {
    for (const auto& nv : ExpectedSettingsValues(s)) SetValue(kSettingsKey, nv.first, nv.second);
    for (const auto& nv : ExpectedPositionValues(s)) SetValue(kSettingsKey, nv.first, nv.second);
    SetText(kSettingsKey, "WriteIni", write_ini);
}

// The "Key=value" lines of section ZARL for a record, as a user's file would
// hold them, positions included.
inline std::vector<std::string> IniZarlLines(const SettingsRecord& s) {
    auto n = [](long long v) { return std::to_string(v); };
    return {
        "Version=3.05",
        "Delay=" + n(s.Delay),
        std::string("EvalKey=") + s.EvalKey,
        std::string("EvalKeyPosition=") + KeyPositionText(s.EvalKeyPosition),
        std::string("AngleUnit=") + AngleText(s.AngleUnit),
        std::string("OutFormatSign=") + s.OutFormatSign,
        std::string("OutFormatType=") + s.OutFormatType,
        "OutFormatPrecision=" + n(s.OutFormatPrecision),
        std::string("InsComma=") + FlagText(s.InsThousandSep),
        std::string("ShiftJIS=") + FlagText(s.ShiftJIS),
        std::string("HexadecimalForm=") + HexText(s.HexadecimalForm),
        std::string("NoCopy=") + FlagText(s.NoCopy),
        std::string("AttachResToImd=") + FlagText(s.AttachResToImd),
        std::string("ShowResultWindow=") + FlagText(s.ShowResultWindow),
        std::string("ShowImdWindow=") + FlagText(s.ShowImdWindow),
        std::string("ResultWindowFloat=") + FlagText(s.ResultWindowFloat),
        std::string("ImdWindowFloat=") + FlagText(s.ImdWindowFloat),
        "ResultWindowPosX=" + n(s.ResultWindowPosX),
        "ResultWindowPosY=" + n(s.ResultWindowPosY),
        "ImdWindowPosX=" + n(s.ImdWindowPosX),
        "ImdWindowPosY=" + n(s.ImdWindowPosY),
    };
}

// A whole file: section ZARL from the lines given, then section CONSTANTS.
inline std::string IniFile(const std::vector<std::string>& zarl_lines,
                           const std::vector<std::string>& constant_lines = {}) {
    std::vector<std::string> lines{"[ZARL]"};
    lines.insert(lines.end(), zarl_lines.begin(), zarl_lines.end());
    if (!constant_lines.empty()) {
        lines.push_back("[CONSTANTS]");
        lines.insert(lines.end(), constant_lines.begin(), constant_lines.end());
    }
    return IniText(lines);
}

// ---------------------------------------------------------------------------
// Evaluation through the program's evaluator, for checks that a loaded value
// reaches the code that uses it.

constexpr const char kNotEvaluated[] = "<not evaluated>";

inline std::string EvaluateText(const char* expression) {
    char out[ResultBufferSize];
    std::memset(out, 0, sizeof out);
    return Evaluate(expression, out) ? std::string(out) : std::string(kNotEvaluated);
}

// ---------------------------------------------------------------------------
// The constant table.

struct ConstantEntry {
    std::string name;
    std::string text;
    double value;
};

inline bool operator==(const ConstantEntry& a, const ConstantEntry& b) {
    // Values compare bit for bit: -0 is not 0, and NaN would not equal itself.
    return a.name == b.name && a.text == b.text &&
           std::memcmp(&a.value, &b.value, sizeof(double)) == 0;
}

inline void PrintTo(const ConstantEntry& e, std::ostream* os) {
    char value[40];
    std::snprintf(value, sizeof value, "%.17g", e.value);
    *os << "{" << Escaped(e.name) << ", " << Escaped(e.text) << ", " << value << "}";
}

// The used slots of the table. A name or text without its zero byte inside
// its slot is shown up to the slot's end, and then cannot equal a proper one.
inline std::vector<ConstantEntry> TableEntries() {
    std::vector<ConstantEntry> entries;
    int count = std::min(std::max(ConstCount, 0), MaxConstants);
    for (int i = 0; i < count; ++i) {
        entries.push_back(
            {std::string(ConstName[i], strnlen(ConstName[i], ConstNameSize)) +
                 (strnlen(ConstName[i], ConstNameSize) == ConstNameSize ? "<no NUL>" : ""),
             std::string(ConstText[i], strnlen(ConstText[i], ConstTextSize)) +
                 (strnlen(ConstText[i], ConstTextSize) == ConstTextSize ? "<no NUL>" : ""),
             ConstValue[i]});
    }
    return entries;
}

// Fills every slot with bytes no load writes, so that a loader that leaves a
// slot or a terminator unwritten shows.
inline void ScribbleOverTable(int count) {
    std::memset(ConstName, 'q', sizeof ConstName);
    std::memset(ConstText, 'q', sizeof ConstText);
    for (double& v : ConstValue) v = -12345.5;
    ConstCount = count;
}

// ---------------------------------------------------------------------------
// Watching the registry calls of the code under test.

// Swaps one import-table slot of this executable for the life of the object.
class ImportPatch {
public:
    ImportPatch(void** slot, void* replacement) : slot_(slot) {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old);
        original_ = *slot_;
        *slot_ = replacement;
        VirtualProtect(slot_, sizeof(void*), old, &old);
    }
    ~ImportPatch() {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old);
        *slot_ = original_;
        VirtualProtect(slot_, sizeof(void*), old, &old);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    void* original() const { return original_; }

private:
    void** slot_;
    void* original_;
};

// Records, while it lives, every value written with RegSetValueExA (in call
// order), every subkey asked for, and every key handle opened and closed,
// passing each call on to the system. Given a key name, it makes every open
// of a path through a key of that name fail with ERROR_ACCESS_DENIED, as a
// key the user may not open would. One recorder at a time; the test's own
// registry helpers go through the same import slots, so they are not to be
// called while a recorder lives.
class RegistryRecorder {
public:
    explicit RegistryRecorder(std::string unopenable = "")
        : unopenable_(std::move(unopenable)),
          set_value_(&ZarlImportSlot_RegSetValueExA, reinterpret_cast<void*>(&SetValueHook)),
          create_key_(&ZarlImportSlot_RegCreateKeyExA, reinterpret_cast<void*>(&CreateKeyHook)),
          open_key_(&ZarlImportSlot_RegOpenKeyExA, reinterpret_cast<void*>(&OpenKeyHook)),
          close_key_(&ZarlImportSlot_RegCloseKey, reinterpret_cast<void*>(&CloseKeyHook)) {
        active_ = this;
    }
    ~RegistryRecorder() { active_ = nullptr; }

    std::vector<std::pair<std::string, RegValue>> writes;
    std::vector<std::string> subkeys;  // subkey arguments of every create or open, in call order
    std::vector<HKEY> opened;          // handles handed out by successful opens
    std::vector<HKEY> closed;          // handles passed to RegCloseKey
    int refused = 0;                   // opens made to fail

    // Handles opened more often than closed.
    std::vector<HKEY> StillOpen() const {
        std::vector<HKEY> open;
        for (HKEY h : opened) {
            if (std::find(open.begin(), open.end(), h) != open.end()) continue;
            if (std::count(opened.begin(), opened.end(), h) >
                std::count(closed.begin(), closed.end(), h))
                open.push_back(h);
        }
        return open;
    }

    std::vector<std::string> WrittenNames() const {
        std::vector<std::string> names;
        for (const auto& w : writes) names.push_back(w.first);
        return names;
    }

private:
    using SetValueFn = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
    using CreateKeyFn = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM,
                                      LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
    using OpenKeyFn = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
    using CloseKeyFn = LONG(WINAPI*)(HKEY);

    static LONG WINAPI SetValueHook(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                    const BYTE* data, DWORD size) {
        active_->writes.push_back(
            {name ? name : "",
             RegValue{type, data ? std::string(reinterpret_cast<const char*>(data), size) : ""}});
        return reinterpret_cast<SetValueFn>(active_->set_value_.original())(key, name, reserved,
                                                                            type, data, size);
    }
    // True when one of the path's components is the unopenable key's name.
    static bool Refuses(LPCSTR subkey) {
        if (active_->unopenable_.empty() || !subkey) return false;
        std::string path = subkey;
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string::npos) end = path.size();
            if (lstrcmpiA(path.substr(start, end - start).c_str(), active_->unopenable_.c_str()) ==
                0)
                return true;
            start = end + 1;
        }
        return false;
    }
    static LONG WINAPI CreateKeyHook(HKEY parent, LPCSTR subkey, DWORD reserved, LPSTR cls,
                                     DWORD options, REGSAM sam, LPSECURITY_ATTRIBUTES sa,
                                     PHKEY result, LPDWORD disposition) {
        active_->subkeys.push_back(subkey ? subkey : "");
        if (Refuses(subkey)) {
            ++active_->refused;
            return ERROR_ACCESS_DENIED;
        }
        LONG rc = reinterpret_cast<CreateKeyFn>(active_->create_key_.original())(
            parent, subkey, reserved, cls, options, sam, sa, result, disposition);
        if (rc == ERROR_SUCCESS && result) active_->opened.push_back(*result);
        return rc;
    }
    static LONG WINAPI OpenKeyHook(HKEY parent, LPCSTR subkey, DWORD options, REGSAM sam,
                                   PHKEY result) {
        active_->subkeys.push_back(subkey ? subkey : "");
        if (Refuses(subkey)) {
            ++active_->refused;
            return ERROR_ACCESS_DENIED;
        }
        LONG rc = reinterpret_cast<OpenKeyFn>(active_->open_key_.original())(parent, subkey,
                                                                             options, sam, result);
        if (rc == ERROR_SUCCESS && result) active_->opened.push_back(*result);
        return rc;
    }
    static LONG WINAPI CloseKeyHook(HKEY key) {
        active_->closed.push_back(key);
        return reinterpret_cast<CloseKeyFn>(active_->close_key_.original())(key);
    }

    std::string unopenable_;
    ImportPatch set_value_;
    ImportPatch create_key_;
    ImportPatch open_key_;
    ImportPatch close_key_;
    inline static RegistryRecorder* active_ = nullptr;
};

// ---------------------------------------------------------------------------
// The fixture.

// Removes both stores: the whole Brenmoor key and the INI file, and drops the
// profile functions' cached copy of the file.
inline void RemoveStores() {
    LONG rc = RegDeleteTreeA(HKEY_CURRENT_USER, kProductKey);
    EXPECT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) << "RegDeleteTreeA: " << rc;
    RegDeleteKeyA(HKEY_CURRENT_USER, kProductKey);
    FlushProfileCache();
    DeleteFileA(IniPath().c_str());
    FlushProfileCache();
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveStores();
        ASSERT_FALSE(KeyExists(kProductKey)) << "the Brenmoor key survived its deletion";
        ASSERT_FALSE(IniExists()) << IniPath() << " survived its deletion";
        // The state of a fresh start: defaults (with the derived fields and
        // the output format), an empty table, no previous result.
        SetDefaultSettings();
        BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
        ScribbleOverTable(0);
        PreviousResult = 0;
    }
    void TearDown() override { RemoveStores(); }
};

// Puts a whole record in place, derived fields included, as the Settings
// dialog does on OK.
inline void UseRecord(const SettingsRecord& s) {
    Settings = s;
    SetAngleUnit(s.AngleUnit);
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
}

}  // namespace zarl_store_test
