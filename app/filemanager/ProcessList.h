#pragma once

// The running processes as the kernel lists them under /proc, for watching an item that an
// outside program has open.

// The id of the first process one of whose arguments matches text: with exact, the whole
// argument; otherwise any part of it. An argument that is a file:// URL also matches by the
// local path it names. -1 when no process matches, -2 when /proc cannot be read.
int GetPIDbyCmdline(const char *text, bool caseSensitive, bool exact);

// Whether the process still runs: kill with signal 0 (a process of another user counts as
// running); a zombie has ended.
bool IsProcessRunning(int pid);
