#pragma once
// The outputs being written under their temporary names, kept where a signal
// handler can reach them: a program ended by a second Ctrl+C removes them on
// its way out instead of leaving hidden partial files behind.

// Enters a temporary file; returns its slot, or -1 when the table is full
// (the file is then only removed the normal way).
int RegisterPartialFile(const char* path);
// The file was renamed to its final name or removed.
void ForgetPartialFile(int slot);
// Removes every file entered and not forgotten. Async-signal-safe.
void RemovePartialFiles();
