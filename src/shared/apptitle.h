#pragma once

#include <string>

// The executable's file name without its folder, cut at its first full
// stop, every character after the first in lower case.
std::string ApplicationTitleFromPath(const std::string &executablePath);
