#pragma once
// Runs tests/cabinet/numpy_oracle.py (Debian's numpy, /usr/bin/python3) over
// a batch of inputs and hands back its results.

#include <string>
#include <vector>

class NumpyOracle {
public:
    NumpyOracle();
    ~NumpyOracle();
    NumpyOracle(const NumpyOracle&) = delete;
    NumpyOracle& operator=(const NumpyOracle&) = delete;

    // Queues one input; kind is "cdft", "rdft" or "minphase".
    void Add(const std::string& kind, int n, const std::vector<double>& data);
    // Runs the script once for everything queued; false when it failed.
    bool Run();
    std::vector<double> Result(const std::string& kind, int n) const;

private:
    std::string folder;
};
