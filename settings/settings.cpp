// The settings record and its defaults.
#include "settings/settings.h"

#include <cstring>

#include "eval/format.h"

SettingsRecord Settings;
double AngleInFactor = 1.0;
double AngleOutFactor = 1.0;

void SetAngleUnit(int unit) {
    Settings.AngleUnit = unit;
    if (unit == AngleDegrees) {
        AngleInFactor = DegreesToRadians;
        AngleOutFactor = RadiansToDegrees;
    } else {
        AngleInFactor = 1.0;
        AngleOutFactor = 1.0;
    }
}

void SetDefaultSettings() {
    std::memset(&Settings, 0, sizeof Settings);
    Settings.EvalKey = '=';
    Settings.EvalKeyPosition = KeySuffix;
    Settings.Delay = 0;
    std::strcpy(Settings.OutFormatSign, "-");
    std::strcpy(Settings.OutFormatType, "g");
    Settings.OutFormatPrecision = 15;
    Settings.HexadecimalForm = HexSigned;
    Settings.ResultWindowPosX = 10;
    Settings.ResultWindowPosY = 60;
    Settings.ImdWindowPosX = 10;
    Settings.ImdWindowPosY = 10;
    SetAngleUnit(AngleRadians);
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
}
