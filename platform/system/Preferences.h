#pragma once
// String preferences of a domain ("com.quarrystone.twr"): one small file per
// domain, <config>/<domain>.conf, holding "key=value" lines. Reads look in
// the user's store first, then in each shared store; writes go to the
// user's store only, replacing the file atomically, and never replace a
// store that is there but cannot be read (a FIFO, a folder, a huge file).
// Values are one line of printable text.
//
// Threads and processes: a write re-reads the store and changes only its
// own key, under an advisory lock file beside the store
// (<config>/<domain>.conf.lock), so writers in any thread or process never
// lose each other's values. A write waits at most kPreferenceLockWait for
// the lock.

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace tonewright::system {

constexpr std::chrono::milliseconds kPreferenceLockWait{1000};

std::optional<std::string> ReadPreference(const std::string& domain, const std::string& key);

enum class PreferenceWrite {
    written,
    busy,    // another writer held the lock for longer than the wait
    failed,  // refused value, or the store could not be written
};
// Under the store's lock: the key's value as stored now (user's, else
// shared; none when absent) goes to `change`, and what it returns is
// written as the user's value.
PreferenceWrite UpdatePreference(const std::string& domain, const std::string& key,
                                 const std::function<std::string(const std::optional<std::string>&)>& change);
bool WritePreference(const std::string& domain, const std::string& key, const std::string& value);

}  // namespace tonewright::system
