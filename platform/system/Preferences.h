#pragma once
// String preferences of a domain ("com.quarrystone.twr"): one small file per
// domain, <config>/<domain>.conf, holding "key=value" lines. Reads look in
// the user's store first, then in each shared store; writes go to the
// user's store only, replacing the file atomically, and never replace a
// store that is there but cannot be read (a FIFO, a folder, a huge file).
// Values are one line of printable text.

#include <optional>
#include <string>

namespace tonewright::system {

std::optional<std::string> ReadPreference(const std::string& domain, const std::string& key);
bool WritePreference(const std::string& domain, const std::string& key, const std::string& value);

}  // namespace tonewright::system
