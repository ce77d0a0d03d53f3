// One CUPS job with one PDF document streamed into it: created on a destination, written as the
// document is made, and either finished (the server accepts it) or cancelled.
//
// Every request goes over a connection of our own to the print server whose waits are bounded:
// a server that takes the connection and then never answers (frozen, stopped, overloaded) fails
// the request after RequestSeconds, and a stop flag, once set, cuts any wait short, so that a
// watch stops promptly even while the server hangs.
#pragma once

#include <csignal>
#include <cstddef>
#include <memory>
#include <string>

namespace qm::host {

class CupsJob {
public:
    // Creates the job on the named printer (empty: CUPS's default) and starts its document.
    // Null, with `error` naming the printer (or the print server) and the reason, when either
    // failed.
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

enum class PrinterLookup {
    Found,      // `name` is the printer's
    Missing,    // the server answered: no such printer (or no default); `error` says which
    Unreachable // the server could not be reached or did not answer; `error` names it
};
// Asks the print server for the named printer (empty: CUPS's default).
PrinterLookup find_cups_printer(const std::string& printer, std::string& name, std::string& error);

// While *flag is set (a stop was asked for), a request to the print server gets at most a few
// seconds more, so that a job under way on a server that answers still finishes but a hung one
// no longer holds the caller. Null: no stop flag.
void set_cups_stop_flag(const volatile std::sig_atomic_t* flag);

} // namespace qm::host
