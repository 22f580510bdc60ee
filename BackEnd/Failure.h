#pragma once

#include "ErrorSuffix.h"

#include <QString>

// A user-visible failure text, in the one shape they all have: the translated reason, the error code on
// the next line (ErrorSuffix) and, where it is known, a line with what really failed. The numbers are
// given by name; each setter returns the changed copy, so that a text is written as one expression:
//     Failure(ErrShop, tr("会话ID为空")).Error(1).At(71)
class Failure
{
public:
    Failure(ErrorModule module, const QString& reason) : module(module), reason(reason) {}

    // The error within the module; 0 unless given.
    Failure Error(int number) const { return With(&Failure::error, number); }
    // The network error where there is one; 0 unless given.
    Failure Detail(int number) const { return With(&Failure::detail, number); }
    // The place that reports it, unique within the module.
    Failure At(int where) const { return With(&Failure::location, where); }
    // What really failed ("Connection refused by 127.0.0.1:3443"), on a line under the code; no line when
    // it is empty.
    Failure Cause(const QString& line) const { return With(&Failure::cause, line); }

    QString Text() const;
    operator QString() const { return Text(); }

private:
    template <class T>
    Failure With(T Failure::*field, const T& value) const
    {
        Failure changed = *this;
        changed.*field = value;
        return changed;
    }

    ErrorModule module;
    QString reason;
    int error = 0;
    int detail = 0;
    int location = 0;
    QString cause;
};
