// The simulated print system: named virtual printers that keep every printed page as a raster,
// a default printer, scripted print dialog answers, and printer calls that can be made to fail.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "render/canvas.h"
#include "render/raster_canvas.h"

namespace qm::sim {

// A printer the system knows, with the capabilities its device context reports.
void add_printer(const std::string& name, const DeviceCaps& caps);
// The system's default printer; empty for none.
void set_default_printer(const std::string& name);

// The print dialog's next answers, in order: cancelled, or confirmed with a printer (an empty
// name confirms with no device context). Once the script runs out the dialog is cancelled.
struct DialogAnswer {
    bool confirmed = false;
    std::string printer;
};
void script_print_dialog(const std::vector<DialogAnswer>& answers);
int print_dialogs_shown();

// Makes the n-th call (counted from 1 since the reset) of start_document or start_page fail.
void fail_start_document(int nth);
void fail_start_page(int nth);

struct PrintedDocument {
    std::string printer;
    std::vector<std::unique_ptr<RasterCanvas>> pages; // each ended page, as drawn
    bool ended = false;
};
const std::vector<PrintedDocument>& printed_documents();
// Printer device contexts created and not yet deleted.
int open_printer_dcs();

} // namespace qm::sim
