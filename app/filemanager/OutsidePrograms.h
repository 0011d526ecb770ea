#pragma once

// Handing a file or folder to a program outside: the desktop's program for it, or the terminal
// editor. A disguised name is refused before anything starts.
class QWidget;

// The desktop's program for the path; false (after a message box) when none could be started.
bool StartApplication(const wchar_t *path, QWidget *parent);

// "gnome-terminal -- vim PATH", each a word of its own; false (after a message box) on failure.
bool StartEditApplication(const wchar_t *path, QWidget *parent);
