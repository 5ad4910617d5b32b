// The settings record: every user option in one global, with its defaults and
// the fields derived from it. Portable: no platform headers.
#pragma once

enum { KeyPrefix = 0, KeySuffix = 1 };        // EvalKeyPosition
enum { AngleRadians = 0, AngleDegrees = 1 };  // AngleUnit
enum { HexSigned = 0, HexComplement8 = 1, HexComplement16 = 2, HexComplement32 = 3 };

// Each field bears the name of its storage key. Booleans hold 0 or 1.
struct SettingsRecord {
    char EvalKey;            // one of "=?!@#+"
    int EvalKeyPosition;     // KeyPrefix or KeySuffix
    unsigned short Delay;    // milliseconds
    int AngleUnit;           // AngleRadians or AngleDegrees
    char OutFormatSign[32];  // "+" or "-"
    char OutFormatType[32];  // "g", "G", "e", "E" or "f"
    int OutFormatPrecision;  // 0..15
    int InsThousandSep;
    int ShiftJIS;
    int HexadecimalForm;  // HexSigned .. HexComplement32
    int NoCopy;
    int AttachResToImd;
    int ShowResultWindow;
    int ShowImdWindow;
    int ResultWindowFloat;
    int ImdWindowFloat;
    int WriteIni;
    int ResultWindowPosX;
    int ResultWindowPosY;
    int ImdWindowPosX;
    int ImdWindowPosY;
};

extern SettingsRecord Settings;

// Derived from AngleUnit; SetAngleUnit keeps them in step.
extern double AngleInFactor;   // multiplies the argument of SIN, COS, TAN
extern double AngleOutFactor;  // multiplies the radian result of ASIN, ACOS, ATAN

// The double nearest pi/180 and the double nearest 180/pi.
constexpr double DegreesToRadians = 0.017453292519943295;
constexpr double RadiansToDegrees = 57.29577951308232;

// The program's version text, stored as "Version" and shown in the About box.
constexpr char ProgramVersion[] = "3.05";
constexpr char EvalKeyChoices[] = "=?!@#+";

// Puts every default in place, the derived fields included.
void SetDefaultSettings();

// Sets AngleUnit and both angle factors in one step.
void SetAngleUnit(int unit);
