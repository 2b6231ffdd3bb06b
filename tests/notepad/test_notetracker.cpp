#include "notetracker.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::int64_t s = 1000;

// The notepad's timer, driven by hand: it ticks when the time reaches the
// due time of a running countdown.
struct Timeline {
    NoteTracker t;
    std::vector<std::int64_t> writes;
    bool diskFull = false;

    Timeline() { t.TrackChanges = true; }

    void AdvanceTo(std::int64_t now)
    {
        if (t.CountdownRunning() && t.AutosaveDue <= now) {
            t.CountdownEnded();
            if (t.Dirty && Write(t.AutosaveDue))
                t.TextWritten(false);
        }
    }
    void Change(std::int64_t now)
    {
        AdvanceTo(now);
        t.Memo1Change(now);
    }
    bool Write(std::int64_t at)
    {
        if (diskFull)
            return false;
        writes.push_back(at);
        return true;
    }
};

} // namespace

TEST(NoteTracker, ChangesWithinACountdownAreWrittenTogether)
{
    Timeline tl;
    tl.Change(0);
    tl.Change(10 * s);
    EXPECT_EQ(tl.t.AutosaveDue, 15 * s); // the second change did not restart it
    tl.AdvanceTo(15 * s);
    EXPECT_EQ(tl.writes, std::vector<std::int64_t>{15 * s});
    EXPECT_FALSE(tl.t.Dirty);
    EXPECT_TRUE(tl.t.SavedSinceLoad);

    tl.Change(16 * s);
    tl.AdvanceTo(31 * s);
    EXPECT_EQ(tl.writes, (std::vector<std::int64_t>{15 * s, 31 * s}));
}

TEST(NoteTracker, EditsBeforeTrackingStartsAreNotChanges)
{
    NoteTracker t;
    EXPECT_FALSE(t.Memo1Change(0));
    EXPECT_FALSE(t.Dirty);
    EXPECT_FALSE(t.CountdownRunning());
}

TEST(NoteTracker, AFailedWriteKeepsTheTextDirtyUntilTheCloseWritesIt)
{
    Timeline tl;
    tl.diskFull = true;
    tl.Change(0);
    tl.AdvanceTo(15 * s);
    EXPECT_TRUE(tl.t.Dirty);
    EXPECT_FALSE(tl.t.CountdownRunning()); // not restarted until the next change
    EXPECT_EQ(tl.t.SaveReport(16 * s), "Changes will anyway be saved automatically after the next "
                                       "change,\nor when the Notepad is closed.");

    EXPECT_TRUE(tl.t.TextDue()) << "a close writes it";
    tl.t.TextWritten(false);
    EXPECT_FALSE(tl.t.HasUnsavedChanges());
}

TEST(NoteTracker, TheSaveReportTellsTheWholeSecondsLeft)
{
    NoteTracker t;
    EXPECT_EQ(t.SaveReport(0), "There are no changes to save");
    t.TrackChanges = true;
    t.Memo1Change(0);
    const struct {
        std::int64_t now;
        const char *text;
    } cases[] = {
        {0, "Changes will anyway be saved automatically in 15 seconds,\n"
            "or when the Notepad is closed."},
        {1, "Changes will anyway be saved automatically in 14 seconds,\n"
            "or when the Notepad is closed."},
        {13 * s, "Changes will anyway be saved automatically in 2 seconds,\n"
                 "or when the Notepad is closed."},
        {13 * s + 1, "Changes will anyway be saved automatically in 1 second,\n"
                     "or when the Notepad is closed."},
        {16 * s, "Changes will anyway be saved automatically in 0 seconds,\n"
                 "or when the Notepad is closed."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(t.SaveReport(c.now), c.text);
    t.TextWritten(false);
    EXPECT_EQ(t.SaveReport(20 * s), "All changes have already been saved");
    t.Loaded();
    EXPECT_EQ(t.SaveReport(20 * s), "There are no changes to save");
}
