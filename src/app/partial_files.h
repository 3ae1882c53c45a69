#pragma once
// What a run leaves behind while it works, kept where a signal handler can
// reach it: the outputs being written under their temporary names, the
// temporary folders of helper programs, and the process groups of those
// programs. A program ended by a second Ctrl+C ends the groups and removes
// the files and folders on its way out instead of leaving them behind.

// Enters a temporary file; returns its slot, or -1 when the table is full
// (the file is then only removed the normal way).
int RegisterPartialFile(const char* path);
// Enters a temporary folder, removed with everything in it.
int RegisterPartialFolder(const char* path);
// Enters a child's process group (its leader's id), killed first.
int RegisterChildGroup(int pid);
// The entry is done with: the file was renamed to its final name or removed,
// the folder removed, the child reaped.
void ForgetPartialFile(int slot);
// Kills every group entered, then removes every file and folder entered and
// not forgotten. Async-signal-safe.
void RemovePartialFiles();
// Removes them all (RemovePartialFiles), then ends the program by sig as if
// it had not been caught (SIGQUIT without a core file). For the handler of a
// second signal. Async-signal-safe.
[[noreturn]] void RemovePartialFilesAndDie(int sig);
// Gives the signal its default action and sends it to this thread, so that
// the process ends by it. Async-signal-safe; the caller exits after it in case
// the default action is to ignore the signal.
void RaiseWithDefaultAction(int sig);
