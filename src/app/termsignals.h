#pragma once

#include <QObject>

#include <vector>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl+C) delivered
// as a Qt signal in the event loop, so that the program can end as its Exit
// does instead of at once. The handler only writes the signal's number into
// a pipe; while this object lives, those signals no longer end the program.
// A signal ignored when the program starts stays ignored.
class TerminationSignals : public QObject {
    Q_OBJECT

  public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // Whether one of the signals has come, even before the event loop ran.
    bool Received() const { return received_; }

    // A descriptor that can be read once one of the signals has come, for a
    // wait outside the event loop to end at (-1: none); the event loop
    // still takes the signal.
    int Descriptor() const;

  signals:
    void received(int signal);

  private:
    void Read();

    QSocketNotifier *notifier_ = nullptr;
    std::vector<int> caught_;
    bool received_ = false;
};
