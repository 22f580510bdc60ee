#include "Proc7zOp.h"

#include "Failure.h"
#include "Logging.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

Proc7zOp::Proc7zOp(QObject* parent) : QObject(parent), process(this)
{
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &Proc7zOp::OnProcFinished);
    connect(&process, &QProcess::readyReadStandardOutput, this, &Proc7zOp::OnStdout);
    connect(&process, &QProcess::errorOccurred, this, &Proc7zOp::OnProcError);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &Proc7zOp::OnAppClosing);
}

void Proc7zOp::Extract(const QString& archive, const QString& destination, bool throughLinks)
{
    startFailed = false;
    diskFull = false;
    target = destination;
    emit Progress(0);
    if (!QFileInfo::exists(archive)) {
        emit Over(false, Failure(ErrExtract, tr("安装文件不存在，无法安装")).Error(0).At(28));
        return;
    }
    if (!QFileInfo(destination).isDir()) {
        emit Over(false, Failure(ErrExtract, tr("安装路径不存在，无法安装")).Error(1).At(32));
        return;
    }
    QStringList arguments{QStringLiteral("x"), archive, QStringLiteral("-aoa"), QStringLiteral("-bsp1")};
    // The extractor cannot make a folder where a link to one stands, and fails once it has written the files
    // through it: without the folders' own records it only writes the files, and they go where the link
    // leads, as whoever put it there meant.
    if (throughLinks) {
        arguments << QStringLiteral("-xtd");
    }
    QString program = Platform::ExtractorProgram();
    // A relative path names the extractor beside the launcher's current folder, not the child's.
    if (QDir::isRelativePath(program) && program.contains(QLatin1Char('/'))) {
        program = QDir::current().absoluteFilePath(program);
    }
    carry.clear();
    process.setWorkingDirectory(destination);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments, QIODevice::ReadWrite);
    qCDebug(lcInstall) << "[Start Program] " << program << " " << arguments;
}

int Proc7zOp::LatestPercent(QString& carry, const QString& output)
{
    static const QRegularExpression separators(QStringLiteral("[\\x08\\r\\n]"));
    static const QRegularExpression update(QStringLiteral("^\\s*(\\d{1,3})%"));
    const QStringList pieces = (carry + output).split(separators);
    // The last piece may be cut short; its number is whole once the percent sign has arrived.
    carry = pieces.last();
    int latest = -1;
    for (const QString& piece : pieces) {
        const QRegularExpressionMatch match = update.match(piece);
        if (match.hasMatch()) {
            latest = qMin(100, match.captured(1).toInt());
        }
    }
    return latest;
}

void Proc7zOp::OnStdout()
{
    const int percent = LatestPercent(carry, QString::fromUtf8(process.readAllStandardOutput()));
    if (percent >= 0) {
        emit Progress(float(percent / 100.0));
    }
}

void Proc7zOp::OnProcFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    if (closing) {
        return;
    }
    OnStdout();
    // An extractor that crashed did not finish its work, whatever code the system reports for it.
    if (exitCode != 0 || exitStatus != QProcess::NormalExit) {
        qCDebug(lcInstall) << "7z进程异常结束，错误码：" << exitCode;
        const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
        diskFull = errors.contains(QLatin1String("No space left"), Qt::CaseInsensitive) ||
                   errors.contains(QLatin1String("not enough space"), Qt::CaseInsensitive) ||
                   Platform::IsOutOfSpace(target);
        if (diskFull) {
            emit Over(false,
                      Failure(ErrExtract, tr("磁盘已满，无法解包：%1").arg(QDir::toNativeSeparators(target)))
                          .Error(4)
                          .At(56));
            return;
        }
        emit Over(false, Failure(ErrExtract, tr("解包错误")).Error(2).At(53));
        return;
    }
    // 7-Zip ends by clearing its progress line, never with 100 %: the bar of a finished extraction is full.
    emit Progress(1.0f);
    emit Over(true, QString());
}

void Proc7zOp::OnProcError(QProcess::ProcessError error)
{
    // A program that never started never finishes either: report it, or the installation would wait for ever.
    if (error == QProcess::FailedToStart && !closing) {
        startFailed = true;
        qCDebug(lcInstall) << "7z cannot be started:" << process.errorString();
        emit Over(false, Failure(ErrExtract, tr("无法启动解压程序")).Error(3).At(45));
    }
}

void Proc7zOp::OnAppClosing()
{
    closing = true;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(300);
    }
}
