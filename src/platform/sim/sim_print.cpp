#include "platform/sim/sim_print.h"
#include "render/forwarding_canvas.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

#include "platform/draw_port.h"
#include "platform/print_port.h"
#include "platform/sim/sim_internal.h"

namespace qm::sim {
namespace {

PrintState& print_state()
{
    return state().printing;
}

PrinterDc* printer(DrawContext dc)
{
    for (const auto& p : print_state().dcs)
        if (reinterpret_cast<DrawContext>(p.get()) == dc)
            return p.get();
    return nullptr;
}

class SimPrinterCanvas final : public ForwardingCanvas {
public:
    explicit SimPrinterCanvas(PrinterDc* p) : p_(p) {}
    DeviceCaps caps() const override { return p_->caps; }

protected:
    Canvas* page() const override { return p_->page.get(); }

private:
    PrinterDc* p_;
};

DrawContext new_printer_dc(const std::string& name)
{
    const auto it = print_state().printers.find(name);
    if (it == print_state().printers.end())
        return nullptr;
    auto dc = std::make_unique<PrinterDc>();
    dc->name = name;
    dc->caps = it->second;
    print_state().dcs.push_back(std::move(dc));
    return reinterpret_cast<DrawContext>(print_state().dcs.back().get());
}

} // namespace

std::unique_ptr<Canvas> open_printer_canvas(DrawContext dc)
{
    PrinterDc* p = printer(dc);
    if (!p)
        return nullptr;
    return std::make_unique<SimPrinterCanvas>(p);
}

void add_printer(const std::string& name, const DeviceCaps& caps)
{
    print_state().printers[name] = caps;
}

void set_default_printer(const std::string& name)
{
    print_state().default_printer = name;
}

void script_print_dialog(const std::vector<DialogAnswer>& answers)
{
    print_state().dialog_answers.assign(answers.begin(), answers.end());
}

int print_dialogs_shown()
{
    return print_state().dialogs;
}

void fail_start_document(int nth)
{
    print_state().fail_document_at = nth;
}

void fail_start_page(int nth)
{
    print_state().fail_page_at = nth;
}

const std::vector<PrintedDocument>& printed_documents()
{
    return print_state().documents;
}

int open_printer_dcs()
{
    return static_cast<int>(print_state().dcs.size());
}

} // namespace qm::sim

namespace qm {

using sim::print_state;
using sim::record;

bool default_printer_name(char* name, std::size_t size)
{
    record("default_printer");
    const std::string& d = print_state().default_printer;
    if (d.empty() || d.size() >= size)
        return false;
    std::memcpy(name, d.c_str(), d.size() + 1);
    return true;
}

DrawContext create_printer_dc(const char* name)
{
    record(std::string("create_printer_dc ") + name);
    return sim::new_printer_dc(name);
}

void delete_printer_dc(DrawContext dc)
{
    record("delete_printer_dc");
    auto& dcs = print_state().dcs;
    dcs.erase(std::remove_if(
                  dcs.begin(), dcs.end(),
                  [dc](const auto& p) { return reinterpret_cast<DrawContext>(p.get()) == dc; }),
              dcs.end());
}

PrintDialogAnswer print_dialog(Window)
{
    record("print_dialog");
    ++print_state().dialogs;
    PrintDialogAnswer answer;
    if (print_state().dialog_answers.empty())
        return answer;
    const sim::DialogAnswer a = print_state().dialog_answers.front();
    print_state().dialog_answers.pop_front();
    answer.confirmed = a.confirmed;
    if (a.confirmed && !a.printer.empty())
        answer.dc = sim::new_printer_dc(a.printer);
    return answer;
}

int start_document(DrawContext dc)
{
    record("start_document");
    sim::PrinterDc* p = sim::printer(dc);
    if (!p || ++print_state().start_document_calls == print_state().fail_document_at)
        return 0;
    print_state().documents.push_back(sim::PrintedDocument{p->name, {}, false});
    p->document = static_cast<int>(print_state().documents.size()) - 1;
    return 1;
}

int start_page(DrawContext dc)
{
    record("start_page");
    sim::PrinterDc* p = sim::printer(dc);
    if (!p || ++print_state().start_page_calls == print_state().fail_page_at)
        return -1;
    p->page = RasterCanvas::create(p->caps);
    return 1;
}

int end_page(DrawContext dc)
{
    record("end_page");
    sim::PrinterDc* p = sim::printer(dc);
    if (!p || !p->page || p->document < 0)
        return -1;
    print_state().documents[static_cast<std::size_t>(p->document)].pages.push_back(
        std::move(p->page));
    return 1;
}

int end_document(DrawContext dc)
{
    record("end_document");
    sim::PrinterDc* p = sim::printer(dc);
    if (!p || p->document < 0)
        return -1;
    print_state().documents[static_cast<std::size_t>(p->document)].ended = true;
    p->document = -1;
    p->page.reset();
    return 1;
}

} // namespace qm
