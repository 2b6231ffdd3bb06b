#pragma once

class QWidget;

// How the program's heap serves a large note: set once at start-up.
void SetHeapPolicy();

// Gives the memory a large note's buffers have left free back to the system.
void ReleaseFreeMemory();

// ... each time `window` is put away.
void ReleaseFreeMemoryWhenHidden(QWidget *window);
