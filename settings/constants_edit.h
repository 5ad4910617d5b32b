// Editing the user constants in the Settings dialog. The dialog's sorted list
// box holds the pending table as entry texts NAME=TEXT; the table itself
// changes only when the list is committed. Windows only.
#pragma once

#include <windows.h>

// Fills the list with one entry per constant, in table order (the list sorts).
void ListConstants(HWND list);

// Adds the constant typed into the dialog's Name and Value fields to its list,
// after the checks and questions; message boxes are owned by the dialog.
void AddConstantEntry(HWND dialog);

// Removes the selected entry of the dialog's list when the user confirms.
void DeleteConstantEntry(HWND dialog);

// Rebuilds the constant table from the list, in the list's order.
void CommitConstantList(HWND list);
