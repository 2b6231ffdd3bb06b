#include "startup.h"

#include "Notepad.h"
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
    NotepadStartUp();
    // Passwords come from the kernel's generator; nothing to seed.
    w->random = std::make_unique<SystemRandom>();

    w->fctrl = std::make_unique<Tfctrl>(*w->random);
    w->flash = std::make_unique<TFFlash>();
    w->inpstr = std::make_unique<TFinpstr>();
    w->notepad = std::make_unique<TFnotepad>();

    w->fctrl->SetCompanionWindows(w->notepad.get(), nullptr);
    Windows *windows = w.get();
    w->fctrl->SetExitCheck([windows] { return SaveBeforeExit(*windows); });
    return w;
}

bool SaveBeforeExit(Windows &w)
{
    return !w.notepad || w.notepad->SaveBeforeExit();
}
