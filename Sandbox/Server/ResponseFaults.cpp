#include "ResponseFaults.h"

#include "HttpUtil.h"

#include <QElapsedTimer>

#include <httplib.h>

#include <algorithm>
#include <memory>

namespace {

// A request is handled from start to end on one worker thread, so its fault can live there.
thread_local std::optional<Fault> currentFault;
thread_local bool streamed = false;
thread_local bool recorded = false;

constexpr qint64 kChunk = 64 * 1024;

struct Progress
{
    qint64 sent = 0;
    bool stalled = false;
    QElapsedTimer clock;
};

// Writes one chunk at `offset`; false ends the response early (the connection is dropped).
bool WriteChunk(SandboxState& state, const ResponseFaults::Reader& reader, qint64 offset, qint64 wanted,
                httplib::DataSink& sink, Progress& progress)
{
    const std::optional<Fault>& fault = currentFault;
    qint64 chunk = std::min(wanted, kChunk);
    if (fault) {
        if (fault->stallAfter >= 0 && fault->stallMs > 0 && !progress.stalled &&
            progress.sent >= fault->stallAfter) {
            progress.stalled = true;
            HttpUtil::Sleep(state, fault->stallMs);
        }
        if (fault->dropAfter >= 0) {
            if (progress.sent >= fault->dropAfter) {
                return false;
            }
            chunk = std::min(chunk, fault->dropAfter - progress.sent);
        }
        if (fault->stallAfter >= 0 && !progress.stalled && progress.sent < fault->stallAfter) {
            chunk = std::min(chunk, fault->stallAfter - progress.sent);
        }
        if (fault->throttle > 0) {
            chunk = std::min(chunk, std::max<qint64>(1, fault->throttle / 20));
            const qint64 due = progress.sent * 1000 / fault->throttle;
            if (!progress.clock.isValid()) {
                progress.clock.start();
            }
            if (due > progress.clock.elapsed()) {
                HttpUtil::Sleep(state, due - progress.clock.elapsed());
            }
        }
    }
    if (state.stopping) {
        return false;
    }
    std::string buffer(size_t(chunk), '\0');
    const qint64 got = reader(offset, buffer.data(), chunk);
    if (got <= 0) {
        return false;
    }
    progress.sent += got;
    return sink.write(buffer.data(), size_t(got));
}

// Answers with the fault's status, body or redirect instead of the server's own answer.
bool Replace(httplib::Response& res, const Fault& fault)
{
    if (!fault.redirect.isEmpty()) {
        res.set_redirect(fault.redirect.toStdString(), fault.status != 0 ? fault.status : 302);
        return true;
    }
    if (fault.status != 0 || !fault.body.isEmpty()) {
        res.status = fault.status != 0 ? fault.status : 200;
        res.set_content(fault.body.toStdString(), "text/plain");
        return true;
    }
    return false;
}

} // namespace

const std::optional<Fault>& ResponseFaults::Current()
{
    return currentFault;
}

void ResponseFaults::Install(httplib::Server& server, SandboxState& state, const QString& name)
{
    server.set_pre_routing_handler([&state, name](const httplib::Request& req, httplib::Response& res) {
        streamed = false;
        // A request without a body is in the log from its arrival: one held by a stall or a slow answer was
        // received all the same, and logged at its end it would land among the requests of whatever runs by
        // then. One with a body is logged once the body has been read.
        recorded = req.method == "GET" || req.method == "HEAD";
        if (recorded) {
            state.RecordRequest(name, req);
        }
        currentFault =
            state.TakeFault(name, QString::fromStdString(req.method), QString::fromStdString(req.path));
        if (!currentFault) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        const Fault& fault = *currentFault;
        if (fault.stallMs > 0 && fault.stallAfter < 0) {
            HttpUtil::Sleep(state, fault.stallMs);
        }
        // The ranges were parsed before this hook: without them the whole body goes out with 200, and a
        // shifted one goes out with a Content-Range that is not the one asked for.
        auto& ranges = const_cast<httplib::Request&>(req).ranges;
        if (fault.ignoreRange) {
            ranges.clear();
        }
        if (fault.shiftRange != 0 && !ranges.empty()) {
            ranges.front().first += fault.shiftRange;
        }
        // Requests with a body are answered after routing, once the body has been read: answering early
        // and closing would cut the client's upload short, and it would send the request again.
        if (req.method == "GET" || req.method == "HEAD") {
            if (Replace(res, fault)) {
                // The fault's answer goes out whole: a range of it is another answer (416 past its end).
                ranges.clear();
                // httplib leaves the length out of empty answers; the client would wait for the end.
                if (res.body.empty()) {
                    res.set_header("Content-Length", "0");
                }
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_post_routing_handler([&state, name](const httplib::Request& req, httplib::Response& res) {
        if (!recorded) {
            state.RecordRequest(name, req);
            recorded = true;
        }
        const std::optional<Fault>& fault = currentFault;
        if (fault && req.method != "GET" && req.method != "HEAD" &&
            (fault->status != 0 || !fault->body.isEmpty() || !fault->redirect.isEmpty())) {
            // The length httplib worked out for the server's own answer went with the headers.
            res.headers.clear();
            Replace(res, *fault);
            res.set_header("Content-Length", std::to_string(res.body.size()));
            return;
        }
        if (streamed || !fault || res.body.empty() ||
            (fault->throttle <= 0 && fault->dropAfter < 0 && fault->stallAfter < 0 &&
             fault->length.isEmpty())) {
            return;
        }
        auto body = std::make_shared<std::string>(std::move(res.body));
        res.body.clear();
        const std::string type = res.get_header_value("Content-Type");
        SendBody(
            state, res, qint64(body->size()),
            [body](qint64 offset, char* buffer, qint64 size) {
                const qint64 count = std::min<qint64>(size, qint64(body->size()) - offset);
                if (count <= 0) {
                    return qint64(0);
                }
                std::copy_n(body->data() + offset, count, buffer);
                return count;
            },
            type.empty() ? "application/octet-stream" : type.c_str());
    });
}

void ResponseFaults::SendBody(SandboxState& state, httplib::Response& res, qint64 size, const Reader& reader,
                              const char* contentType)
{
    streamed = true;
    auto progress = std::make_shared<Progress>();
    const std::optional<Fault>& fault = currentFault;
    if (fault && fault->length == QLatin1String("missing")) {
        res.set_chunked_content_provider(
            contentType, [&state, reader, progress, size](size_t offset, httplib::DataSink& sink) {
                if (qint64(offset) >= size) {
                    sink.done();
                    return true;
                }
                return WriteChunk(state, reader, qint64(offset), size - qint64(offset), sink, *progress);
            });
        return;
    }
    const qint64 announced = fault && !fault->length.isEmpty() ? size + fault->length.toLongLong() : size;
    if (announced <= 0) {
        // httplib leaves the length out of an empty answer, and the client would wait for the end.
        res.set_content(std::string(), contentType);
        res.set_header("Content-Length", "0");
        return;
    }
    res.set_content_provider(
        size_t(std::max<qint64>(0, announced)), contentType,
        [&state, reader, progress](size_t offset, size_t length, httplib::DataSink& sink) {
            return WriteChunk(state, reader, qint64(offset), qint64(length), sink, *progress);
        });
}
