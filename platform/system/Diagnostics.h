#pragma once
// What went wrong is said once: every "Quarrystone TWR:: ..." line goes to
// standard error through Complain. A thread that shows its user what went
// wrong in its own work (the editor, for each command it runs) holds a
// FailureRecord meanwhile: the lines said on that thread go to its innermost
// record as well. Lines said on other threads are not recorded.
//
// Threads: any thread but the audio thread (it writes to standard error);
// each thread records into its own records only.

#include <string>
#include <vector>

namespace tonewright::system {

// Writes `line` and a line end to standard error.
void Complain(const std::string& line);
// The same, formatted as printf does.
void Complainf(const char* format, ...) __attribute__((format(printf, 1, 2)));

class FailureRecord {
public:
    FailureRecord();
    ~FailureRecord();
    FailureRecord(const FailureRecord&) = delete;
    FailureRecord& operator=(const FailureRecord&) = delete;

    // The lines said on this thread while this record was the innermost,
    // oldest first.
    const std::vector<std::string>& lines() const { return said; }

private:
    friend void Complain(const std::string& line);
    std::vector<std::string> said;
    FailureRecord* outer;
};

}  // namespace tonewright::system
