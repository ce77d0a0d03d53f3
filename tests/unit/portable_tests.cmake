# The unit tests of the portable layers (spool, render, qmspool): they run against no simulated
# platform, so the native build runs them and the Windows build runs them again under Wine.
set(QM_PORTABLE_UNIT_TESTS
  spool_stream_test.cpp
  spool_container_test.cpp
  band_decode_test.cpp
  text_lines_test.cpp
  spool_writer_test.cpp
  cli_commands_test.cpp
  cli_usage_test.cpp
  page_math_test.cpp
  render_page_test.cpp
  raster_canvas_test.cpp
  band_pixels_test.cpp
  bmp_export_test.cpp
  heap_meter.cpp
  no_skips_under_ci.cpp
)
