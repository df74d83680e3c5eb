// Runs the fuzz target over saved inputs, so that the seed corpus and past crashes replay under
// ctest in builds without libFuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// Every regular file named, or found under a named folder, in a stable order.
std::vector<fs::path> inputsOf(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path named = argv[i];
        if (fs::is_directory(named)) {
            std::vector<fs::path> found;
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(named)) {
                if (entry.is_regular_file()) {
                    found.push_back(entry.path());
                }
            }
            std::sort(found.begin(), found.end());
            inputs.insert(inputs.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(named)) {
            inputs.push_back(named);
        } else {
            throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory), named.string());
        }
    }
    return inputs;
}

std::vector<std::uint8_t> readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::system_error(std::make_error_code(std::errc::io_error), "cannot read " + path.string());
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const std::vector<fs::path> inputs = inputsOf(argc, argv);
        if (inputs.empty()) {
            std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...: no input files found\n", argv[0]);
            return 2;
        }
        for (const fs::path& input : inputs) {
            std::fprintf(stderr, "replaying %s\n", input.string().c_str());
            const std::vector<std::uint8_t> bytes = readBytes(input);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        }
        std::printf("%zu passed, 0 failed\n", inputs.size());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 2;
    }
}
