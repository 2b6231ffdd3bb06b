#pragma once

// The program run from a script: `quorvin generate [options]` prints
// passwords from the window's generator; --help and --version inform. No
// window, no lock, no file. Returns the exit status: 0, 1 when the choices
// admit no password or standard output can't be written, 2 for a command
// line that can't be read.
int RunCommandLine(int argc, char **argv);

// Why no window can open with this environment, or null when one may: Qt
// would abort without a display, so the program says so itself and points
// to what works. A platform the user chose is left to Qt.
const char *NoWindowReason(const char *qpaPlatform, const char *display,
                           const char *waylandDisplay);
