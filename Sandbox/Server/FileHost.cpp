#include "FileHost.h"

#include "ResponseFaults.h"
#include "SandboxState.h"

#include <httplib.h>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An open file shared by the reads of one response and closed with it.
struct OpenFile
{
    explicit OpenFile(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~OpenFile()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd;
};

} // namespace

void FileHost::Install(httplib::Server& server, SandboxState& state)
{
    server.Get(R"(/files/(.+))", [&state](const httplib::Request& req, httplib::Response& res) {
        const QString path = state.FilePath(QString::fromStdString(req.matches[1]));
        auto file = std::make_shared<OpenFile>(path.toStdString());
        struct stat info
        {
        };
        if (path.isEmpty() || file->fd < 0 || fstat(file->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        const char* type = path.endsWith(".json")  ? "application/json"
                           : path.endsWith(".txt") ? "text/plain; charset=utf-8"
                                                   : "application/octet-stream";
        ResponseFaults::SendBody(
            state, res, qint64(info.st_size),
            [file](qint64 offset, char* buffer, qint64 size) {
                const ssize_t got = ::pread(file->fd, buffer, size_t(size), off_t(offset));
                return got < 0 ? qint64(0) : qint64(got);
            },
            type);
    });
}
