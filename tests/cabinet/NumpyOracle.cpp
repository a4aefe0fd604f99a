#include "NumpyOracle.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

NumpyOracle::NumpyOracle()
{
    std::random_device rd;
    folder = (fs::temp_directory_path() / ("tw-oracle-" + std::to_string(rd()))).string();
    fs::create_directories(folder);
}

NumpyOracle::~NumpyOracle()
{
    std::error_code ec;
    fs::remove_all(folder, ec);
}

void NumpyOracle::Add(const std::string& kind, int n, const std::vector<double>& data)
{
    std::ofstream f(folder + "/" + kind + "_" + std::to_string(n) + ".in", std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size() * sizeof(double)));
}

bool NumpyOracle::Run()
{
    const char* source = std::getenv("TONEWRIGHT_SOURCE_DIR");
    const std::string script = source ? std::string(source) + "/tests/cabinet/numpy_oracle.py"
                                      : (fs::path(__FILE__).parent_path() / "numpy_oracle.py").string();
    const std::string command = "/usr/bin/python3 '" + script + "' '" + folder + "'";
    return std::system(command.c_str()) == 0;
}

std::vector<double> NumpyOracle::Result(const std::string& kind, int n) const
{
    std::ifstream f(folder + "/" + kind + "_" + std::to_string(n) + ".out", std::ios::binary | std::ios::ate);
    if (!f) return {};
    const auto bytes = static_cast<size_t>(f.tellg());
    std::vector<double> out(bytes / sizeof(double));
    f.seekg(0);
    f.read(reinterpret_cast<char*>(out.data()), std::streamsize(bytes));
    return out;
}
