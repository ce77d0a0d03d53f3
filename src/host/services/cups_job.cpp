#include "host/services/cups_job.h"

#include <cups/cups.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

namespace qm::host {
namespace {

using Clock = std::chrono::steady_clock;

// How long one request (or one write of the document) may wait for the server. A server that
// answers at all answers in well under a second; a job of many pages makes many requests, each
// with its own bound, so a slow but working server is never given up on.
constexpr int RequestSeconds = 30;
// What a request has left once a stop is asked for: enough for a working server to take the
// rest of a job under way, short enough that a hung one does not hold a stop.
constexpr int StopGraceSeconds = 5;
// How often a wait wakes to look at the clock and the stop flag.
constexpr double WakeSeconds = 0.25;

const volatile std::sig_atomic_t* StopFlag = nullptr;
// A wait was cut short by the stop: the server is not answering, so the requests of the rest of
// the job (the next page's, say) are not even begun.
bool GaveUpOnStop = false;

bool stop_requested()
{
    return StopFlag && *StopFlag;
}

std::string reason()
{
    const char* text = cupsLastErrorString();
    return text && *text ? text : "no reason given";
}

// The print server as a user would give it: host:port, or the path of a local socket.
std::string server_address()
{
    const char* server = cupsServer();
    std::string host = server && *server ? server : "localhost";
    if (host[0] == '/')
        return host;
    if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    return host + ":" + std::to_string(ippPort());
}

// Why a connection to the server failed. libcups reports every failed connect as "Host is
// down", so the first address is tried again here, briefly, for the system's own reason
// ("Connection refused", "No such file or directory" for a socket).
std::string connect_failure()
{
    const std::string port = std::to_string(ippPort());
    const std::unique_ptr<http_addrlist_t, void (*)(http_addrlist_t*)> list(
        httpAddrGetList(cupsServer(), AF_UNSPEC, port.c_str()), &httpAddrFreeList);
    if (!list)
        return reason(); // the name does not resolve: libcups says why
    http_addr_t* addr = &list->addr;
    const int fd = socket(httpAddrFamily(addr), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return reason();
    const socklen_t length = static_cast<socklen_t>(httpAddrLength(addr));
    int code = connect(fd, &addr->addr, length) == 0 ? 0 : errno;
    if (code == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        socklen_t size = sizeof code;
        if (poll(&p, 1, 1000) != 1 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0)
            code = 0;
    }
    close(fd);
    return code ? std::strerror(code) : reason();
}

// A connection of our own to the print server (libcups's shared one waits without end), on
// which every wait wakes every WakeSeconds to ask on_wait whether to go on. Not movable: libcups
// holds its address for the callback.
class Connection {
public:
    Connection() = default;
    ~Connection()
    {
        if (http_)
            httpClose(http_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool open(std::string& error)
    {
        address_ = server_address();
        if (stop_requested() && GaveUpOnStop) {
            gave_up_ = GaveUp::Stopped;
            error = explain("");
            return false;
        }
        arm();
        const auto msec =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
        http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                             static_cast<int>(std::max<long long>(msec.count(), 1)), nullptr);
        if (!http_) {
            error = Clock::now() >= deadline_
                        ? no_answer()
                        : "cannot reach the print server at " + address_ + ": " + connect_failure();
            return false;
        }
        httpSetTimeout(http_, WakeSeconds, &Connection::on_wait, this);
        return true;
    }

    http_t* http() const { return http_; }

    // A request begins: it has RequestSeconds from now (less once a stop is asked for).
    void arm()
    {
        deadline_ = Clock::now() +
                    std::chrono::seconds(stop_requested() ? StopGraceSeconds : RequestSeconds);
    }

    // The server did not answer in time, or a stop cut the wait short: nothing more is asked of
    // it on this connection.
    bool gave_up() const { return gave_up_ != GaveUp::No; }

    // The last request failed for want of the server rather than by its answer.
    bool lost() const
    {
        return gave_up() || (http_ && httpError(http_) != 0) ||
               cupsLastError() == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
    }

    // Why the last request failed: the server named when it is the server that failed, else
    // `where` and the server's answer.
    std::string explain(const std::string& where) const
    {
        switch (gave_up_) {
        case GaveUp::TimedOut:
            return no_answer();
        case GaveUp::Stopped:
            return "stopped waiting for the print server at " + address_;
        case GaveUp::No:
            break;
        }
        if (!lost())
            return where + reason();
        const int code = http_ ? httpError(http_) : 0;
        return "lost the print server at " + address_ + ": " +
               (code ? std::strerror(code) : reason());
    }

private:
    enum class GaveUp { No, TimedOut, Stopped };

    std::string no_answer() const
    {
        return "the print server at " + address_ + " did not answer within " +
               std::to_string(RequestSeconds) + " s";
    }

    static int on_wait(http_t*, void* self)
    {
        return static_cast<Connection*>(self)->keep_waiting() ? 1 : 0;
    }

    bool keep_waiting()
    {
        if (gave_up())
            return false; // libcups may retry a failed request: it fails at once
        const Clock::time_point now = Clock::now();
        if (stop_requested())
            deadline_ = std::min(deadline_, now + std::chrono::seconds(StopGraceSeconds));
        if (now < deadline_)
            return true;
        gave_up_ = stop_requested() ? GaveUp::Stopped : GaveUp::TimedOut;
        GaveUpOnStop = gave_up_ == GaveUp::Stopped;
        return false;
    }

    http_t* http_ = nullptr;
    std::string address_;
    Clock::time_point deadline_{};
    GaveUp gave_up_ = GaveUp::No;
};

// The printer (empty: the default) over `conn`, or null with `result` and `error` saying why.
// A named printer is first asked for directly: when it is not a queue of the server, libcups
// goes on to look for it on the network, asking the server again over its own connection,
// which has no bound; so that happens only once the server has answered on ours.
cups_dest_t* look_up(Connection& conn, const std::string& printer, PrinterLookup& result,
                     std::string& error)
{
    if (!printer.empty()) {
        char uri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost",
                         ippPort(), "/printers/%s", printer.c_str());
        ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                     "printer-name");
        conn.arm();
        ippDelete(cupsDoRequest(conn.http(), request, "/")); // takes the request
        if (conn.lost()) {
            result = PrinterLookup::Unreachable;
            error = conn.explain("");
            return nullptr;
        }
    }
    conn.arm();
    cups_dest_t* dest =
        cupsGetNamedDest(conn.http(), printer.empty() ? nullptr : printer.c_str(), nullptr);
    if (dest) {
        result = PrinterLookup::Found;
        return dest;
    }
    result = conn.lost() ? PrinterLookup::Unreachable : PrinterLookup::Missing;
    error = conn.explain(printer.empty() ? "no default printer (give one with --printer NAME): "
                                         : "printer '" + printer + "': ");
    return nullptr;
}

} // namespace

struct CupsJob::Impl {
    Connection conn;
    cups_dest_t* dest = nullptr;
    cups_dinfo_t* info = nullptr;
    bool started = false;  // a document is open in the job
    bool finished = false; // the server has the whole job
    bool failed = false;

    ~Impl()
    {
        if (info)
            cupsFreeDestInfo(info);
        if (dest)
            cupsFreeDests(1, dest);
    }
};

void set_cups_stop_flag(const volatile std::sig_atomic_t* flag)
{
    StopFlag = flag;
    GaveUpOnStop = false;
}

PrinterLookup find_cups_printer(const std::string& printer, std::string& name, std::string& error)
{
    Connection conn;
    if (!conn.open(error))
        return PrinterLookup::Unreachable;
    PrinterLookup result = PrinterLookup::Missing;
    cups_dest_t* dest = look_up(conn, printer, result, error);
    if (dest) {
        name = dest->name;
        cupsFreeDests(1, dest);
    }
    return result;
}

CupsJob::CupsJob(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<CupsJob> CupsJob::start(const std::string& printer, const char* title,
                                        std::string& error)
{
    auto impl = std::make_unique<Impl>();
    if (!impl->conn.open(error))
        return nullptr;
    PrinterLookup found = PrinterLookup::Missing;
    impl->dest = look_up(impl->conn, printer, found, error);
    if (!impl->dest)
        return nullptr;
    std::unique_ptr<CupsJob> job(new CupsJob(std::move(impl)));
    Impl& j = *job->impl_;
    http_t* http = j.conn.http();
    job->printer_ = j.dest->name;
    const std::string where = "printer '" + job->printer_ + "': ";
    j.conn.arm();
    j.info = cupsCopyDestInfo(http, j.dest);
    if (!j.info) {
        error = j.conn.explain(where);
        return nullptr;
    }
    j.conn.arm();
    if (cupsCreateDestJob(http, j.dest, j.info, &job->id_, title, 0, nullptr) != IPP_STATUS_OK) {
        error = j.conn.explain(where);
        return nullptr;
    }
    j.conn.arm();
    if (cupsStartDestDocument(http, j.dest, j.info, job->id_, title, CUPS_FORMAT_PDF, 0, nullptr,
                              1) != HTTP_STATUS_CONTINUE) {
        error = j.conn.explain(where);
        return nullptr; // the destructor cancels the job
    }
    j.started = true;
    return job;
}

CupsJob::~CupsJob()
{
    if (!impl_ || impl_->finished || id_ <= 0)
        return;
    // A server that did not answer is asked nothing more: it ends a job left without its
    // document by itself, after its own timeout for unfinished jobs.
    if (impl_->conn.gave_up())
        return;
    http_t* http = impl_->conn.http();
    if (impl_->started) {
        // The job is cancelled before its document is closed, over a connection of its own
        // (this one is inside the document's request): a document closed first is a whole job
        // to the server, whose printer may start on it before the cancel arrives, and then a
        // part of a job is printed.
        Connection other;
        std::string unreachable;
        if (other.open(unreachable)) {
            other.arm();
            if (cupsCancelDestJob(other.http(), impl_->dest, id_) == IPP_STATUS_OK) {
                impl_->conn.arm();
                cupsFinishDestDocument(http, impl_->dest, impl_->info);
                return;
            }
        }
        impl_->conn.arm();
        cupsFinishDestDocument(http, impl_->dest, impl_->info);
    }
    impl_->conn.arm();
    cupsCancelDestJob(http, impl_->dest, id_);
}

bool CupsJob::write(const unsigned char* data, std::size_t length)
{
    if (impl_->failed)
        return false;
    impl_->conn.arm();
    if (cupsWriteRequestData(impl_->conn.http(), reinterpret_cast<const char*>(data), length) !=
        HTTP_STATUS_CONTINUE) {
        impl_->failed = true;
        write_error_ = impl_->conn.explain("printer '" + printer_ + "': ");
    }
    return !impl_->failed;
}

bool CupsJob::finish(std::string& error)
{
    const bool sent = !impl_->failed;
    if (!sent) {
        error = write_error_;
        return false; // the destructor cancels the job
    }
    impl_->started = false;
    impl_->conn.arm();
    const ipp_status_t status =
        cupsFinishDestDocument(impl_->conn.http(), impl_->dest, impl_->info);
    if (status <= IPP_STATUS_OK_EVENTS_COMPLETE) {
        impl_->finished = true;
        return true;
    }
    error = impl_->conn.explain("printer '" + printer_ + "': ");
    return false;
}

} // namespace qm::host
