#pragma once

#include <QApplication>

class SingleApplicationPrivate;

// An application object that lets one instance run per user and executable path. A later start
// notifies the running one and ends inside the constructor with status 0.
class SingleApplication : public QApplication
{
    Q_OBJECT
public:
    enum Mode
    {
        UserScope = 1,
        NotifyOnSecondary = 4,
        IgnoreVersion = 8,
        IgnorePath = 16,
    };
    Q_DECLARE_FLAGS(Options, Mode)

    SingleApplication(int& argc, char** argv, bool allowSecondary = false, Options options = UserScope,
                      int timeoutMs = 100);
    ~SingleApplication() override;

signals:
    void instanceStarted();
    void receivedMessage(quint32 instanceId, QByteArray message);

private:
    friend class SingleApplicationPrivate;
    SingleApplicationPrivate* d;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SingleApplication::Options)
