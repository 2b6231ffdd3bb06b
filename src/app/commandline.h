#pragma once

// The program run from a script: `quorvin generate [options]` prints
// passwords from the window's generator; --help and --version inform. No
// window, no lock, no file. Returns the exit status: 0, 1 when the choices
// admit no password, 2 for a command line that can't be read.
int RunCommandLine(int argc, char **argv);
