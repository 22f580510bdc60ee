#pragma once

#include <QObject>
#include <QStringList>

class BackEnd;

// What the operations show the user: footer pages, sign-in requests, spinner texts and error boxes, in order.
class Recorder : public QObject
{
    Q_OBJECT
public:
    explicit Recorder(BackEnd* backEnd);

    void Clear();
    bool SpinnerShown() const { return spinner; }

    QStringList pages;
    QStringList errors;
    QStringList waits;
    int hides = 0;
    int needLogin = 0;

private:
    bool spinner = false;
};
