#pragma once

// The window of class T that the start-up made, kept to the end of the run.
// Should a caller come first, instance() makes it, and it is kept likewise.
template <typename T> class SoleWindow {
  public:
    static T *instance()
    {
        if (!current_)
            new T;
        // Only a whole T is ever handed out: the base is kept until then.
        return static_cast<T *>(current_);
    }

  protected:
    SoleWindow()
    {
        if (!current_)
            current_ = this;
    }
    ~SoleWindow()
    {
        if (current_ == this)
            current_ = nullptr;
    }

  private:
    static inline SoleWindow *current_ = nullptr;
};
