// The sandbox: stand-ins for the account server, the account web site, the store server, the statistics
// server, the file host and the document server, each on its own loopback port, plus a control port
// for tests. It prints one JSON line with the origins and the CA file, then serves until SIGTERM/SIGINT.
#include "AccountServer.h"
#include "Certificates.h"
#include "ControlServer.h"
#include "FileHost.h"
#include "ResponseFaults.h"
#include "SandboxState.h"
#include "StatisticsServer.h"
#include "StoreServer.h"
#include "WebSite.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <pthread.h>
#ifdef __linux__
#include <sys/prctl.h>
#include <unistd.h>
#endif
#include <thread>
#include <vector>

namespace {

struct Endpoint
{
    const char* name;
    bool tls;
    int port;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
};

void Usage()
{
    std::fprintf(stderr,
                 "usage: AviroSandbox [--state DIR] [--catalogue FILE] [--any-port] [--port NAME=PORT]...\n"
                 "servers: control account accountweb store statistics files files_tls documents\n");
}

} // namespace

int main(int argc, char** argv)
{
#ifdef __linux__
    // Never outlive the program that started us: a test that crashes would otherwise leave its servers
    // running, and its runner waiting on their output until it times out. Asked first thing, so that only a
    // starter that ends within our first instructions goes unnoticed (its starters wait for our ports line).
    const pid_t starter = getppid();
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != starter) {
        return 1;
    }
#endif
    QCoreApplication app(argc, argv);
    std::vector<Endpoint> endpoints;
    endpoints.push_back({"control", false, 3440, nullptr, {}});
    endpoints.push_back({"account", true, 3441, nullptr, {}});
    endpoints.push_back({"accountweb", true, 3442, nullptr, {}});
    endpoints.push_back({"store", true, 3443, nullptr, {}});
    endpoints.push_back({"statistics", true, 3444, nullptr, {}});
    endpoints.push_back({"files", false, 3445, nullptr, {}});
    endpoints.push_back({"files_tls", true, 3446, nullptr, {}});
    endpoints.push_back({"documents", true, 3447, nullptr, {}});

    QString stateDir = QStringLiteral("sandbox-state");
    QString catalogue;
    bool anyPort = false;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == "--state" && i + 1 < args.size()) {
            stateDir = args.at(++i);
        } else if (arg == "--catalogue" && i + 1 < args.size()) {
            catalogue = args.at(++i);
        } else if (arg == "--any-port") {
            anyPort = true;
        } else if (arg == "--port" && i + 1 < args.size()) {
            const QStringList pair = args.at(++i).split('=');
            bool known = false;
            for (Endpoint& endpoint : endpoints) {
                if (pair.size() == 2 && pair.at(0) == endpoint.name) {
                    endpoint.port = pair.at(1).toInt();
                    known = true;
                }
            }
            if (!known) {
                Usage();
                return 2;
            }
        } else {
            Usage();
            return 2;
        }
    }

    // Signals are taken by this thread alone, with sigwait, after every server thread has started.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SandboxState state;
    if (!catalogue.isEmpty()) {
        QString error;
        if (!state.LoadCatalogue(catalogue, error)) {
            std::fprintf(stderr, "sandbox: %s\n", qPrintable(error));
            return 1;
        }
    }
    Certificates certificates;
    if (!certificates.Ensure(stateDir.toStdString())) {
        return 1;
    }

    QMap<QString, QString> origins;
    QJsonObject announce;
    for (Endpoint& endpoint : endpoints) {
        if (endpoint.tls) {
            endpoint.server = std::make_unique<httplib::SSLServer>(certificates.certFile.c_str(),
                                                                   certificates.keyFile.c_str());
        } else {
            endpoint.server = std::make_unique<httplib::Server>();
        }
        if (!endpoint.server->is_valid()) {
            std::fprintf(stderr, "sandbox: %s cannot be set up\n", endpoint.name);
            return 1;
        }
        // Stalled responses hold a worker each; give faults room without starving other requests.
        endpoint.server->new_task_queue = [] { return new httplib::ThreadPool(64); };
        // Idle connections and unfinished requests hold a worker that stopping has to wait for: keep those
        // waits short, so that the sandbox stops within about a second.
        endpoint.server->set_keep_alive_timeout(1);
        endpoint.server->set_read_timeout(1, 0);
        const int port =
            anyPort ? endpoint.server->bind_to_any_port("127.0.0.1")
                    : (endpoint.server->bind_to_port("127.0.0.1", endpoint.port) ? endpoint.port : -1);
        if (port <= 0) {
            std::fprintf(stderr, "sandbox: cannot listen on 127.0.0.1:%d for %s\n", endpoint.port,
                         endpoint.name);
            return 1;
        }
        endpoint.port = port;
        const QString origin = QString("%1://127.0.0.1:%2").arg(endpoint.tls ? "https" : "http").arg(port);
        origins.insert(endpoint.name, origin);
        announce.insert(endpoint.name, origin);
    }
    state.SetOrigins(origins);
    announce.insert("ca", QFileInfo(QString::fromStdString(certificates.caFile)).absoluteFilePath());

    for (Endpoint& endpoint : endpoints) {
        httplib::Server& server = *endpoint.server;
        const QString name = QString::fromLatin1(endpoint.name);
        if (name == "control") {
            ControlServer::Install(server, state);
            endpoint.thread = std::thread([&server] { server.listen_after_bind(); });
            continue;
        }
        ResponseFaults::Install(server, state, name);
        if (name == "account") {
            AccountServer::Install(server, state);
        } else if (name == "accountweb") {
            WebSite::InstallAccountWeb(server, state);
        } else if (name == "store") {
            StoreServer::Install(server, state);
        } else if (name == "statistics") {
            StatisticsServer::Install(server, state);
        } else if (name == "files" || name == "files_tls") {
            FileHost::Install(server, state);
        } else if (name == "documents") {
            WebSite::InstallDocuments(server, state);
        }
        endpoint.thread = std::thread([&server] { server.listen_after_bind(); });
    }

    std::printf("%s\n", QJsonDocument(announce).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    state.stopping = true;
    for (Endpoint& endpoint : endpoints) {
        endpoint.server->stop();
    }
    for (Endpoint& endpoint : endpoints) {
        endpoint.thread.join();
    }
    return 0;
}
