#pragma once

#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

// File permissions bind root only by its effective user: while this lives,
// a test running as root acts as "nobody", who may read and enter `folder`.
class Unprivileged {
  public:
    explicit Unprivileged(const QString &folder)
    {
        if (geteuid() != 0)
            return;
        // The temporary folder's parent is private to root.
        const QByteArray path = QFile::encodeName(folder);
        for (QByteArray p = path; p.size() > 1; p = p.left(p.lastIndexOf('/'))) {
            struct stat st {};
            if (stat(p.constData(), &st) == 0 && !(st.st_mode & S_IXOTH))
                opened_.push_back({p, st.st_mode & 07777});
        }
        for (const auto &[p, mode] : opened_)
            chmod(p.constData(), mode | S_IXOTH | S_IROTH);
        // Group "nogroup" too: as root's group, the group's bits would apply.
        dropped_ = setegid(65534) == 0 && seteuid(65534) == 0;
    }
    ~Unprivileged()
    {
        if (dropped_ && (seteuid(0) != 0 || setegid(0) != 0))
            return;
        for (const auto &[p, mode] : opened_)
            chmod(p.constData(), mode);
    }
    Unprivileged(const Unprivileged &) = delete;
    Unprivileged &operator=(const Unprivileged &) = delete;

  private:
    std::vector<std::pair<QByteArray, mode_t>> opened_;
    bool dropped_ = false;
};
