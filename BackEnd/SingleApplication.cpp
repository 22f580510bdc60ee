#include "SingleApplication.h"

#include "SingleApplicationPrivate.h"

#include <cstdlib>

SingleApplication::SingleApplication(int& argc, char** argv, bool allowSecondary, Options options,
                                     int timeoutMs)
    : QApplication(argc, argv), d(new SingleApplicationPrivate(this, options))
{
    if (!d->Decide(allowSecondary, timeoutMs)) {
        delete d;
        d = nullptr;
        std::exit(EXIT_SUCCESS);
    }
}

SingleApplication::~SingleApplication()
{
    delete d;
}
