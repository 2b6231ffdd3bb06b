#include "notebuffer.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <optional>

namespace {

// An editor's report of a change to a text of `before` characters, now
// `after`; what really went and came (-1: it does not add up).
struct ReportRow {
    const char *name;
    qsizetype from, removed, added, before, after;
    qsizetype went, came;
};

class ReportTest : public ::testing::TestWithParam<ReportRow> {};

} // namespace

TEST_P(ReportTest, AnEditorsReportOfAChangeIsTakenOnlyWhereItAddsUp)
{
    const ReportRow &c = GetParam();
    const auto change = ReportedChange(c.from, c.removed, c.added, c.before, c.after);
    EXPECT_EQ(change ? change->removed : -1, c.went);
    EXPECT_EQ(change ? change->added : -1, c.came);
}

INSTANTIATE_TEST_SUITE_P(
    NoteBuffer, ReportTest,
    ::testing::Values(ReportRow{"Typed", 3, 0, 2, 3, 5, 0, 2},
                      ReportRow{"Removed", 1, 2, 0, 3, 1, 2, 0},
                      ReportRow{"Replaced", 0, 3, 1, 3, 1, 3, 1},
                      // The editor counts the last paragraph's end in both.
                      ReportRow{"ToTheEnd", 0, 4, 2, 3, 1, 3, 1},
                      ReportRow{"EmptiedInOne", 0, 4, 1, 3, 0, 3, 0},
                      // A whole text replaced in two reports, each seeing the end.
                      ReportRow{"EmptiedInTwoTheFirstStep", 0, 0, 1, 11, 0, -1, -1},
                      ReportRow{"EmptiedInTwoTheSecondStep", 0, 12, 0, 0, 0, -1, -1},
                      ReportRow{"FilledInTwoTheFirstStep", 0, 1, 0, 0, 3, -1, -1},
                      ReportRow{"PastTheEnd", 4, 0, 1, 3, 4, -1, -1},
                      ReportRow{"ACountTheLengthsDeny", 0, 0, 5, 3, 4, -1, -1}),
    [](const auto &row) { return std::string(row.param.name); });

namespace {

// What happens to a text while it is compared a slice at a time.
struct MeanwhileRow {
    const char *name;
    void (*meanwhile)(NoteBuffer &buffer);
    NoteBuffer::Likeness likeness;
};

class CompareTest : public ::testing::TestWithParam<MeanwhileRow> {};

} // namespace

TEST_P(CompareTest, AComparisonTellsWhetherTheTextIsTheSameUnlessItChangedMeanwhile)
{
    const MeanwhileRow &c = GetParam();
    NoteBuffer buffer;
    QPlainTextEdit memo; // laid out, as shown: slices take their time
    buffer.SetView(&memo);
    const QString lines = QString(63, 'x').append('\n').repeated(1 << 15);
    const QStringList text{lines, lines};
    buffer.Replace(text);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !buffer.Coming(); }));
    std::optional<NoteBuffer::Likeness> told;
    buffer.Compare(text, [&](NoteBuffer::Likeness likeness) { told = likeness; });
    EXPECT_FALSE(told) << "a slice at a time";
    c.meanwhile(buffer);
    EXPECT_TRUE(QTest::qWaitFor([&] { return told.has_value(); }));
    EXPECT_EQ(told, c.likeness);
    buffer.SetView(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    NoteBuffer, CompareTest,
    ::testing::Values(MeanwhileRow{"Nothing", [](NoteBuffer &) {}, NoteBuffer::Likeness::Same},
                      MeanwhileRow{"AnEdit",
                                   [](NoteBuffer &b) { QTextCursor(b.Document()).insertText("z"); },
                                   NoteBuffer::Likeness::Changed},
                      MeanwhileRow{"ATextPutIn", [](NoteBuffer &b) { b.Replace({"other"}); },
                                   NoteBuffer::Likeness::Changed},
                      MeanwhileRow{"AnotherComparison",
                                   [](NoteBuffer &b) { b.Compare({"x"}, [](auto) {}); },
                                   NoteBuffer::Likeness::Changed}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(NoteBuffer, InputHeldWhileTextComesInLandsAtOnceWhenTheProgramEnds)
{
    NoteBuffer buffer;
    QPlainTextEdit memo;
    buffer.SetView(&memo);
    buffer.HoldInput(true); // a reading under way, which the end does not wait for
    QTest::keyClicks(&memo, "ab");
    EXPECT_EQ(buffer.Text(), "");
    buffer.LandInput();
    EXPECT_EQ(buffer.Text(), "ab");
    buffer.SetView(nullptr);
}
