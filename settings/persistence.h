// Storage of the settings record and the user constants: the registry of the
// current user (HKEY_CURRENT_USER\Software\Brenmoor\ZARL, leaf keys "Settings"
// and "Constants") as the store of record, and "ZARL.INI" in the Windows
// directory as import source and optional export. Windows only. Storage
// errors are silent: whatever cannot be read falls back to its default.
#pragma once

// Opens the key chain down to its leaf; 1 when the leaf key is open, else 0.
// Every open is followed by its close; no key stays open between operations.
int OpenSettingsKey();
void CloseSettingsKey();
int OpenConstantsKey();
void CloseConstantsKey();

// The start-up load: the registry when it holds a "Version" value, else an
// import from ZARL.INI of version 2.0 or later; then everything is saved back.
void LoadSettings();
void LoadSettingsFromRegistry();
void LoadSettingsFromIni();
void LoadResultWindowPos();
void LoadImdWindowPos();

void SaveSettings();
void SaveResultWindowPos();
void SaveImdWindowPos();
void WriteIniFile();

void LoadConstantsFromRegistry();
void LoadConstantsFromIni();
void SaveConstantsToRegistry();
void WriteConstantsToIni();
