// PDF documents through cairo: each page a Canvas of a virtual Letter printer, so that the page
// renderer's own printer pass places everything. Bands become images at their own resolution,
// scaled without smoothing (a band of white and one colour a mask of a bit a pixel, tiles past
// cairo's 32767 pixels); text becomes real text in Liberation Mono that viewers can search and
// copy. cairo holds a page's images until the page is written, so a page whose images pass
// MaxPdfPageImageBytes is refused, as is one that memory ran out on: neither is ever written in
// part. Built only where cairo is (not in the MinGW build).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "render/canvas.h"

namespace qm {

// The virtual printer behind every PDF page: Letter, no unprintable margin, colour, at this many
// device units per inch (mapped to the page's points). Fine enough that the renderer's integer
// placement lands within 1/600 inch of where it means.
inline constexpr std::int32_t PdfDeviceDpi = 600;
DeviceCaps pdf_device_caps();

// Receives the document's bytes as cairo produces them; false stops the document with an error.
using PdfSink = std::function<bool(const unsigned char* data, std::size_t length)>;

class PdfDocument {
public:
    // Null when cairo cannot start a document (no memory).
    static std::unique_ptr<PdfDocument> create(PdfSink sink);
    // A document not finished is abandoned: nothing more of it reaches the sink.
    ~PdfDocument();
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;

    // The canvas of a new page, valid until end_page. Null once the document has failed.
    Canvas* begin_page();
    // Closes the page under way (a document's bytes go to the sink page by page). False once the
    // document has failed, the page included: refused, or drawn without all it holds.
    bool end_page();
    // Ends the document and writes its last bytes. False when anything failed on the way.
    bool finish();
    // Why the document failed: why its page was refused, or cairo's word for it.
    std::string error() const;

private:
    struct Impl;
    explicit PdfDocument(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace qm
