// State shared by the POSIX backend's sources.
#pragma once

#include <memory>
#include <string>

#include "platform/handles.h"
#include "platform/posix/cups_job.h"
#include "render/canvas.h"
#include "render/pdf_canvas.h"

namespace qm {

// A drawing target: the headless window, or a printer with the document under way.
struct DrawObject {
    bool printer = false;
    std::string name;                 // the printer's
    std::unique_ptr<posix::CupsJob> job;
    std::unique_ptr<PdfDocument> document;
    Canvas* page = nullptr;           // between start_page and end_page
    bool failed = false;              // the document under way failed
};

namespace posix {

void configure_settings(const std::string& file);
void configure_files();
void configure_printing(const std::string& printer);

} // namespace posix
} // namespace qm
