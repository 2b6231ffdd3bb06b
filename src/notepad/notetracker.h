#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The notepad's change tracking and its autosave countdown. Times are
// milliseconds of a steady clock, passed in.
class NoteTracker {
  public:
    static constexpr int kAutosaveMs = 15000;

    bool TrackChanges = false;   // edits count as changes once the first show has loaded
    bool Dirty = false;          // the memo holds changes not yet written
    bool SavedSinceLoad = false; // written at least once since the last load
    bool FontChanged = false;    // the settings file is behind the memo's font
    std::int64_t AutosaveDue = 0;

    bool CountdownRunning() const { return countdown_; }

    // Sets Dirty; a true flag starts the countdown unless one runs already.
    // True when a countdown was started.
    bool SetDirty(bool flag, std::int64_t now);

    // A change of the memo's text.
    bool Memo1Change(std::int64_t now) { return TrackChanges && SetDirty(true, now); }

    void CountdownEnded() { countdown_ = false; }

    // The text taken for a write made beside the window has been written;
    // changes made meanwhile leave it dirty.
    void TextWritten(bool changedSince)
    {
        Dirty = Dirty && changedSince;
        SavedSinceLoad = true;
    }
    void Loaded() { SavedSinceLoad = false; }

    // The settings, when the font changed since they were last written.
    void SaveSettings(const std::function<bool()> &writeSettings);

    // A close writes the text only once it counts as changed.
    bool TextDue() const { return TrackChanges && Dirty; }

    // Whether ending the program now would lose something.
    bool HasUnsavedChanges() const { return (TrackChanges && Dirty) || FontChanged; }

    // The Save command's report; lines are separated by '\n'.
    std::string SaveReport(std::int64_t now) const;

  private:
    bool countdown_ = false;
};
