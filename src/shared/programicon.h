#pragma once

#include <QIcon>

// The program's icon, in the sizes compiled into the program.
QIcon ProgramIcon();
