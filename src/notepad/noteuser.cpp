#include "noteuser.h"

template <typename Show> void NoteAsker::Box(Show show)
{
    ++boxes_;
    if (Present())
        show();
    --boxes_;
    if (after_)
        after_();
}

NoteUser::Answer NoteAsker::Ask(const QString &question)
{
    NoteUser::Answer answer = NoteUser::Answer::No;
    Box([&] { answer = user_->Ask(question); });
    return answer;
}

void NoteAsker::Tell(const QString &text)
{
    Box([&] { user_->Tell(text); });
}

void NoteAsker::Report(const QString &text)
{
    Box([&] { user_->Error(text); });
}
