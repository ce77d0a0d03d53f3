// State shared by the POSIX backend's sources.
#pragma once

#include <memory>
#include <string>

#include "platform/handles.h"
#include "platform/posix/cups_job.h"
#include "render/canvas.h"
#include "render/pdf_canvas.h"

namespace qm::posix {

// A drawing target: the headless window, or a printer with the document under way.
struct Target {
    bool printer = false;
    std::string name;                 // the printer's
    std::unique_ptr<CupsJob> job;
    std::unique_ptr<PdfDocument> document;
    Canvas* page = nullptr;           // between start_page and end_page
    bool failed = false;              // the document under way failed
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
void configure_printing(const std::string& printer);
void configure_journal();

// The settings file read: the one configured, else settings_file_path().
std::string settings_file_in_use();

// What the backend sees of a job, for the journal (posix_messages.cpp): a printer context made
// (its name) or deleted (empty), the job's file opened for reading, each document started on the
// printer and why one could not be, a document the server took as a CUPS job or one that was
// not printed (and why), and a file that could not be opened for writing.
void note_printer(const std::string& name);
void note_job_opened(const std::string& path);
void note_document_started();
void note_print_failure(const std::string& why);
void note_document_printed(const std::string& printer, int cups_id);
void note_document_failed(const std::string& why);
void note_write_failed(const std::string& path, int error);

} // namespace qm::posix
