// Printing: the system's default printer, the print dialog, and print documents on a printer's
// device context. The job driver draws on a printer through open_canvas (draw_port.h).
#pragma once

#include <cstddef>

#include "platform/handles.h"

namespace qm {

// The name of the system's default printer; false when there is none (or it does not fit).
bool default_printer_name(char* name, std::size_t size);

// A device context on the named printer, or null.
DrawContext create_printer_dc(const char* name);
void delete_printer_dc(DrawContext dc);

// The print dialog, owned by `owner`, asking for a device context with one copy and collation
// and nothing else set. `confirmed` is false when the user cancelled or the dialog failed;
// otherwise `dc` is the chosen printer's context, which may be null.
struct PrintDialogAnswer {
    bool confirmed = false;
    DrawContext dc = nullptr;
};
PrintDialogAnswer print_dialog(Window owner);

// One document with an empty name. The results are the platform's: start_document gives zero
// or less on failure, start_page less than zero.
int start_document(DrawContext printer);
int start_page(DrawContext printer);
int end_page(DrawContext printer);
int end_document(DrawContext printer);

} // namespace qm
