#pragma once

#include <string>
#include <sys/types.h>

// A private X server (Xvfb) with a real window manager (openbox) for the
// run of one test program, so that windows get frames and the clipboard,
// the pointer and the focus are X11's own.
class X11Session {
  public:
    // Starts both and sets DISPLAY; false with a reason when it can't.
    bool Start(int width, int height, std::string &reason);
    ~X11Session();

    const std::string &display() const { return display_; }

    // Ends the X server at once, as a crash of it would.
    void KillServer();

  private:
    pid_t xvfb_ = -1;
    pid_t wm_ = -1;
    std::string display_;
};

// Runs a command line with the session's DISPLAY and returns its output.
std::string RunCommand(const std::string &command);
