#pragma once
// A regular file opened for reading, the one way our readers open what they
// are given. Opening never blocks and never hands the descriptor to a child
// process (O_NONBLOCK, O_CLOEXEC): a FIFO, a folder or a device is refused at
// once, before a byte is read, and so is a file larger than the reader
// allows.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace tonewright::system {

class ReadableFile {
public:
    ReadableFile(const std::filesystem::path& file, uint64_t maxBytes);
    ~ReadableFile();
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;

    bool isOpen() const { return fd >= 0; }
    // Why the file was refused ("it is not a regular file"), or null when
    // it is open.
    const char* refusal() const { return why; }
    // True when the refusal is that nothing of that name exists.
    bool missing() const { return absent; }
    uint64_t size() const { return length; }
    // Exactly n bytes from offset; false when they are not all there (the
    // file shrank) or cannot be read.
    bool read(uint64_t offset, void* dst, size_t n) const;

private:
    int fd = -1;
    uint64_t length = 0;
    const char* why = nullptr;
    bool absent = false;
};

}  // namespace tonewright::system
