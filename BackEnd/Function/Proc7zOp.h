#pragma once

#include <QObject>
#include <QProcess>

// Unpacks one archive into a folder with the external 7-Zip program and turns its progress output into a
// fraction. One result (Over) per archive, except when the application quits during an extraction.
class Proc7zOp : public QObject
{
    Q_OBJECT
public:
    explicit Proc7zOp(QObject* parent = nullptr);

    // With `throughLinks`, links to folders stand in the destination and the archive's files are written
    // through them; the archive's empty folders are then not made.
    void Extract(const QString& archive, const QString& destination, bool throughLinks = false);

    // The last percentage in the extractor's output so far, or -1 when this piece adds none. Updates are
    // separated by backspaces and may leave out the file count and the name; a piece may end inside an
    // update, whose start is kept in `carry` for the next piece.
    static int LatestPercent(QString& carry, const QString& output);

    // Whether the last extraction failed because the extractor could not be started at all.
    bool StartFailed() const { return startFailed; }
    // Whether the last extraction failed because the destination's disk is full.
    bool DiskFull() const { return diskFull; }

signals:
    void Progress(float rate);
    void Over(bool isOk, QString reason);

private slots:
    void OnProcFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void OnStdout();
    void OnAppClosing();
    void OnProcError(QProcess::ProcessError error);

private:
    QProcess process;
    QString carry;
    bool closing = false;
    bool startFailed = false;
    bool diskFull = false;
    QString target;
};
