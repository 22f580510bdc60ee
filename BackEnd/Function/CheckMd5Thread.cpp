#include "CheckMd5Thread.h"

#include "Failure.h"
#include "Logging.h"
#include "Md5Hash.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QFile>

CheckMd5Thread::CheckMd5Thread(QObject* parent) : QThread(parent)
{
    connect(this, &QThread::finished, this, [this] {
        emit OnOver(state, reason);
        deleteLater();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &CheckMd5Thread::StopAndWait);
}

CheckMd5Thread::~CheckMd5Thread()
{
    // A QThread destroyed while it runs aborts the process: stop the loop and wait for its real end.
    StopAndWait();
}

void CheckMd5Thread::StopAndWait()
{
    stopRequested = true;
    wait();
}

void CheckMd5Thread::run()
{
    emit Progress(0);
    emit Percent(0);
    QFile file(filePath);
    // Unbuffered: each block goes from the system straight into ours, without a copy through Qt's buffer.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        state = false;
        reason = Failure(ErrMd5, tr("文件无法打开，无法校验")).Error(0).At(35);
        return;
    }
    Platform::AdviseSequentialReading(file);
    Md5Hash hash;
    const double size = double(file.size());
    qint64 total = 0;
    QByteArray block(int(kBlockSize), Qt::Uninitialized);
    // Progress per thousandth rather than per block: each report wakes the owner's thread, thousands of
    // times a second on a fast disk.
    int reported = 0;
    // The stop flag itself is read before every block: a copy taken once could miss a stop that lands
    // meanwhile, and the owner would wait for the whole file.
    while (!stopRequested && !file.atEnd()) {
        const qint64 got = file.read(block.data(), kBlockSize);
        if (got <= 0) {
            break;
        }
        hash.Add(block.constData(), got);
        total += got;
        const auto rate = float(double(total) / size);
        const int step = int(rate * 1000);
        if (step == reported) {
            continue;
        }
        reported = step;
        emit Progress(rate);
        emit Percent(int(rate) * 100);
    }
    if (stopRequested) {
        // Stopped before the end: nothing was verified, and that must not read as a pass.
        state = false;
        reason = Failure(ErrMd5, tr("文件校验已中止")).Error(2).At(49);
        return;
    }
    if (total != file.size()) {
        state = false;
        reason = Failure(ErrMd5, tr("文件无法打开，无法校验")).Error(0).At(52);
        return;
    }
    const QString computed = QString::fromLatin1(hash.Result().toHex());
    qCDebug(lcInstall) << "Calc MD5: " << computed;
    qCDebug(lcInstall) << "Dst  MD5: " << md5;
    if (computed.compare(md5, Qt::CaseInsensitive) == 0) {
        state = true;
        reason.clear();
    } else {
        state = false;
        reason = Failure(ErrMd5, tr("文件校验不通过")).Error(1).At(57);
    }
}
