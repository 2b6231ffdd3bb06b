#include "libstate.h"

LibState &Lib()
{
    static LibState state;
    return state;
}
