// One CUPS job with one PDF document streamed into it: created on a destination, written as the
// document is made, and either finished (the server accepts it) or cancelled.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace qm::posix {

class CupsJob {
public:
    // Creates the job on the named printer (empty: CUPS's default) and starts its document.
    // Null, with `error` naming the printer and CUPS's reason, when either failed.
    static std::unique_ptr<CupsJob> start(const std::string& printer, const char* title,
                                          std::string& error);
    // Cancels the job unless it was finished.
    ~CupsJob();
    CupsJob(const CupsJob&) = delete;
    CupsJob& operator=(const CupsJob&) = delete;

    // Sends the next bytes of the document; false once sending failed.
    bool write(const unsigned char* data, std::size_t length);
    // Why sending failed, naming the printer; empty while it has not.
    const std::string& write_error() const { return write_error_; }
    // Ends the document; true when the server accepted the job. Otherwise `error` names the
    // printer and the reason, and the job is cancelled.
    bool finish(std::string& error);

    const std::string& printer() const { return printer_; }
    int id() const { return id_; }

private:
    struct Impl;
    explicit CupsJob(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    std::string printer_;
    std::string write_error_;
    int id_ = 0;
};

// The name of CUPS's default printer; empty when there is none.
std::string cups_default_printer();

} // namespace qm::posix
