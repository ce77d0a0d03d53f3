#include "platform/posix/cups_job.h"

#include <cups/cups.h>

namespace qm::posix {

struct CupsJob::Impl {
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

namespace {

std::string reason()
{
    const char* text = cupsLastErrorString();
    return text && *text ? text : "no reason given";
}

} // namespace

std::string cups_default_printer()
{
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!dest)
        return {};
    std::string name = dest->name;
    cupsFreeDests(1, dest);
    return name;
}

CupsJob::CupsJob(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<CupsJob> CupsJob::start(const std::string& printer, const char* title,
                                        std::string& error)
{
    auto impl = std::make_unique<Impl>();
    impl->dest =
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.empty() ? nullptr : printer.c_str(), nullptr);
    if (!impl->dest) {
        error = printer.empty() ? "no default printer (give one with --printer NAME): " + reason()
                                : "printer '" + printer + "': " + reason();
        return nullptr;
    }
    std::unique_ptr<CupsJob> job(new CupsJob(std::move(impl)));
    Impl& j = *job->impl_;
    job->printer_ = j.dest->name;
    const std::string where = "printer '" + job->printer_ + "': ";
    j.info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, j.dest);
    if (!j.info) {
        error = where + reason();
        return nullptr;
    }
    if (cupsCreateDestJob(CUPS_HTTP_DEFAULT, j.dest, j.info, &job->id_, title, 0, nullptr) !=
        IPP_STATUS_OK) {
        error = where + reason();
        return nullptr;
    }
    if (cupsStartDestDocument(CUPS_HTTP_DEFAULT, j.dest, j.info, job->id_, title,
                              CUPS_FORMAT_PDF, 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
        error = where + reason();
        return nullptr; // the destructor cancels the job
    }
    j.started = true;
    return job;
}

CupsJob::~CupsJob()
{
    if (!impl_ || impl_->finished || id_ <= 0)
        return;
    if (impl_->started)
        cupsFinishDestDocument(CUPS_HTTP_DEFAULT, impl_->dest, impl_->info);
    cupsCancelDestJob(CUPS_HTTP_DEFAULT, impl_->dest, id_);
}

bool CupsJob::write(const unsigned char* data, std::size_t length)
{
    if (impl_->failed)
        return false;
    if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, reinterpret_cast<const char*>(data), length) !=
        HTTP_STATUS_CONTINUE) {
        impl_->failed = true;
        write_error_ = "printer '" + printer_ + "': " + reason();
    }
    return !impl_->failed;
}

bool CupsJob::finish(std::string& error)
{
    const bool sent = !impl_->failed;
    impl_->started = false;
    const ipp_status_t status = cupsFinishDestDocument(CUPS_HTTP_DEFAULT, impl_->dest, impl_->info);
    if (sent && status <= IPP_STATUS_OK_EVENTS_COMPLETE) {
        impl_->finished = true;
        return true;
    }
    error = "printer '" + printer_ + "': " + reason();
    return false;
}

} // namespace qm::posix
