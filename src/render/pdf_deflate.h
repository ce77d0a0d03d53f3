// The compression level of the streams cairo writes into a PDF (see pdf_deflate.cpp).
#pragma once

namespace qm {

// How many zlib streams were begun with deflateInit by cairo, and by anything else, since the
// process started. Only cairo may use it: the level it sets is chosen for cairo's page images.
struct DeflateInitCalls {
    long from_cairo = 0;
    long from_elsewhere = 0;
};
DeflateInitCalls deflate_init_calls();

} // namespace qm
