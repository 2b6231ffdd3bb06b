#include "notetracker.h"

bool NoteTracker::SetDirty(bool flag, std::int64_t now)
{
    Dirty = flag;
    if (!flag || countdown_)
        return false;
    countdown_ = true;
    AutosaveDue = now + kAutosaveMs;
    return true;
}

void NoteTracker::SaveSettings(const std::function<bool()> &writeSettings)
{
    if (FontChanged && writeSettings())
        FontChanged = false;
}

std::string NoteTracker::SaveReport(std::int64_t now) const
{
    // No countdown runs after a failed write, or while a question about
    // another program's change is put off: the next change starts one.
    if (Dirty && !countdown_)
        return "Changes will anyway be saved automatically after the next change,\n"
               "or when the Notepad is closed.";
    if (Dirty) {
        const std::int64_t left = AutosaveDue > now ? (AutosaveDue - now) / 1000 : 0;
        return "Changes will anyway be saved automatically in " + std::to_string(left) + " second"
               + (left == 1 ? "" : "s") + ",\nor when the Notepad is closed.";
    }
    if (SavedSinceLoad)
        return "All changes have already been saved";
    return "There are no changes to save";
}
