#pragma once

#include <QLockFile>
#include <QObject>

#include <functional>

// One running program per note folder: the first start holds a lock file
// there for its whole run and owns a name on the session bus, through which
// later starts ask it to bring its window to the front, then end.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quorvin.Quorvin")

  public:
    enum class Outcome {
        First,       // this start runs the program
        OtherRaised, // another copy runs it and has come to the front
        OtherSilent, // another copy holds the folder but did not answer in time
        Unusable,    // what lies at the lock's name is no lock: Problem() says why
        Stopped,     // `stopFd` could be read while it waited
    };

    explicit SingleInstance(const QString &noteFolder, QObject *parent = nullptr);

    // Takes the folder, or asks the copy that has it; waits `answerMs` at
    // most for its answer, and no longer than until `stopFd` (when given)
    // can be read.
    Outcome Claim(int answerMs = 1000, int stopFd = -1);

    // What is wrong with the lock, when Claim found it Unusable.
    const QString &Problem() const { return problem_; }

    // Whether this copy holds the folder's lock.
    bool Holds() const { return lock_.isLocked(); }

    // Gives the folder up before the program ends.
    void Release();

    // What the first copy does when a later start asks for it.
    void SetRaise(std::function<void()> raise) { raise_ = std::move(raise); }

    // Bus names are per folder, and a session bus is per user, so copies in
    // different folders and of different users never meet.
    static QString ServiceName(const QString &noteFolder);

  public slots:
    Q_SCRIPTABLE void Raise();

  private:
    // Takes the folder's lock, also over one that no running copy owns:
    // First, or OtherSilent when it is not taken; else as Claim.
    Outcome TakeLock(int stopFd);

    QString folder_, problem_;
    QLockFile lock_;
    bool registered_ = false;
    std::function<void()> raise_;
};
