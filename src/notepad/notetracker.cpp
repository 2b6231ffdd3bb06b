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

bool NoteTracker::SaveNotes(const std::function<bool()> &writeSettings,
                            const std::function<bool()> &writeText)
{
    // A settings file that can't be written doesn't hold back the note.
    SaveSettings(writeSettings);
    if (!Dirty)
        return true;
    if (!writeText())
        return false;
    Dirty = false;
    SavedSinceLoad = true;
    return true;
}

bool NoteTracker::CloseQuery(const std::function<bool()> &writeSettings,
                             const std::function<bool()> &writeText)
{
    if (TrackChanges)
        return SaveNotes(writeSettings, writeText);
    SaveSettings(writeSettings);
    return true;
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
