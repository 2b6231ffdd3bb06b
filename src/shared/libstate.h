#pragma once

#include "placement.h"

#include <cstdint>
#include <string>

// Module-wide settings of the shared library, one instance for the run.
struct LibState {
    char PadChar = '0';
    std::uint32_t SavedEditColour = 0xFFFFFFFFu; // ARGB, white
    std::string BoxTitle;                        // empty: the application title
    std::string ProgramFolder;                   // ends with '/'
    bool GridFilling = false;
    BoxPlaces Places;
};

LibState &Lib();
