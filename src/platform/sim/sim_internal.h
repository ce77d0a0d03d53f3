// State shared by the simulated backend's sources.
#pragma once

#include <memory>
#include <string>

#include "platform/handles.h"
#include "render/canvas.h"

namespace qm::sim {

void record(std::string call);
void reset_files();
void reset_printers();
void reset_dialogs();
// A canvas on a simulated printer's page; null when `dc` is no printer's.
std::unique_ptr<Canvas> open_printer_canvas(DrawContext dc);

} // namespace qm::sim
