// The settings file's writer behind `qmspool config`: one value stored, every other line of the
// file kept as it was. The POSIX backend reads the file for the settings port; this writes it.
#pragma once

#include <string>

namespace qm::host {

// Stores a text value in the settings file the backend reads (posix::settings_file_in_use()),
// which is made (with its folders) when missing: the value's line under its key is replaced or
// added, every other line kept. The file is written under a temporary name and renamed into
// place, so a failure leaves it as it was; a new file is private to the user, a replaced one
// keeps its mode. False, with a line that says why in `why`, when the file cannot be read or
// written.
bool store_setting(const std::string& key_path, const std::string& name, const std::string& text,
                   std::string& why);

} // namespace qm::host
