// State shared by the POSIX backend's sources.
#pragma once

#include <memory>
#include <string>

#include "platform/handles.h"
#include "platform/posix/posix.h"
#include "render/canvas.h"
#include "render/pdf_canvas.h"

namespace qm::posix {

// A drawing target: the headless window, or a printer with the document under way.
struct Target {
    bool printer = false;
    std::string name;                 // the printer's
    std::unique_ptr<PrinterJob> job;
    std::unique_ptr<PdfDocument> document;
    Canvas* page = nullptr;           // between start_page and end_page
    bool failed = false;              // the document under way failed
    std::string failure;              // why the last document or page could not be started
    // How the last document closed: not yet, printed as a job of the print service, or not printed and why.
    enum class Closed { No, Printed, NotPrinted } closed = Closed::No;
    std::string closing;              // the job's printer, or why it was not printed
    int job_id = 0;
};

// The ports hand targets out as their opaque drawing contexts.
inline Target* target_of(DrawContext dc)
{
    return reinterpret_cast<Target*>(dc);
}
inline DrawContext handle_of(Target* target)
{
    return reinterpret_cast<DrawContext>(target);
}

void configure_settings(const std::string& file);
void configure_files();
void configure_printing(const std::string& printer, const PrintService& service);
void configure_journal();

// Why the last file opened for writing could not be, for the journal (posix_notices.cpp).
void note_write_failed(const std::string& path, int error);

} // namespace qm::posix
