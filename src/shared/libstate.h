#pragma once

#include "placement.h"

#include <cstdint>
#include <string>

// The shared library's module-wide state, one instance for the run. The
// pieces serve different routines (padding, edit colour, box title, the
// calendar grid's fill, the box places), but they live together because
// they are the library's: its start-up step sets them all at once.
struct LibState {
    char PadChar = '0';
    std::uint32_t SavedEditColour = 0xFFFFFFFFu; // ARGB, white
    std::string BoxTitle;                        // empty: the application title
    bool GridFilling = false;
    BoxPlaces Places;
};

LibState &Lib();

// Sets one of those values for the life of this object, then puts back what
// it was, however the scope is left. (QScopedValueRollback, for the modules
// that go without Qt.)
template <typename T> class ScopedSetting {
  public:
    ScopedSetting(T &setting, T value) : setting_(setting), saved_(setting) { setting_ = value; }
    ~ScopedSetting() { setting_ = saved_; }
    ScopedSetting(const ScopedSetting &) = delete;
    ScopedSetting &operator=(const ScopedSetting &) = delete;

  private:
    T &setting_;
    T saved_;
};
