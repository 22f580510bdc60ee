#pragma once

#include <QString>

// Modules of the error code that ends every user-visible failure text.
enum ErrorModule
{
    ErrMd5 = 0,
    ErrAccount = 1,
    ErrDownloadStat = 2,
    ErrFileDownloader = 3,
    ErrGameInstaller = 4,
    ErrLauncherOp = 5,
    ErrNotes = 6,
    ErrExtract = 7,
    ErrShop = 8,
    ErrStatistics = 9,
    ErrGameIPC = 10,
    ErrServerConfig = 11,
};

// "\nError: MMM_EEE {DDD/LLLL}": module, error within the module, detail (the network error where there
// is one), and the place that reports it.
QString ErrorSuffix(int module, int error, int detail, int location);
