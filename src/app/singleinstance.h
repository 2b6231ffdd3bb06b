#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <functional>

// One running program per note folder: the first start holds a lock file
// there for its whole run and answers later starts, which only ask it to
// bring its window to the front and then end.
class SingleInstance : public QObject {
    Q_OBJECT

  public:
    enum class Outcome {
        First,       // this start runs the program
        OtherRaised, // another copy runs it and has come to the front
        OtherSilent, // another copy holds the folder but did not answer in time
    };

    explicit SingleInstance(const QString &noteFolder, QObject *parent = nullptr);

    // Takes the folder, or asks the copy that has it; waits `answerMs` at most.
    Outcome Claim(int answerMs = 1000);

    // Gives the folder up before the program ends.
    void Release();

    // What the first copy does when a later start asks for it.
    void SetRaise(std::function<void()> raise) { raise_ = std::move(raise); }

    // Local socket names are per user and per folder, so copies in different
    // folders and of different users never meet.
    static QString ServerName(const QString &noteFolder);

  private:
    void Answer();

    QString folder_;
    QLockFile lock_;
    QLocalServer server_;
    std::function<void()> raise_;
};
