#pragma once

// The window of class T that the start-up made, kept to the end of the run.
// Should a caller come first, instance() makes it, and it is kept likewise.
template <typename T> class SoleWindow {
  public:
    static T *instance()
    {
        if (!current_)
            new T;
        return current_;
    }

  protected:
    SoleWindow()
    {
        if (!current_)
            current_ = static_cast<T *>(this);
    }
    ~SoleWindow()
    {
        if (current_ == static_cast<T *>(this))
            current_ = nullptr;
    }

  private:
    static inline T *current_ = nullptr;
};
