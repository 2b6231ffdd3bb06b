#include "startup.h"

#include "cdatlib.h"
#include "ctrl.h"
#include "flash.h"
#include "inpstr.h"
#include "randomsource.h"

Windows::Windows() = default;
Windows::~Windows() = default;

std::unique_ptr<Windows> StartUp()
{
    auto w = std::make_unique<Windows>();

    LibraryStartUp();
    // Passwords come from the kernel's generator; nothing to seed.
    w->random = std::make_unique<SystemRandom>();

    w->fctrl = std::make_unique<Tfctrl>(*w->random);
    w->flash = std::make_unique<TFFlash>();
    w->inpstr = std::make_unique<TFinpstr>();
    return w;
}
