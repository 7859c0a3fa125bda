// Runs a fuzz target without libFuzzer: every seed of the corpus (files or folders; a .hex file is
// hex text, anything else raw bytes), then a fixed number of deterministic mutations of each, so that
// ctest under the sanitizers repeats the same hostile inputs on every run. A crash that libFuzzer
// found is kept as a seed, and so stays a regression test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Enough for a test run; a longer run by hand takes another count with --mutations.
constexpr long kMutationsPerSeed = 200;

std::vector<uint8_t> readRaw(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> readHex(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text.str()) {
        int value = -1;
        if (c >= '0' && c <= '9') {
            value = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            value = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            value = c - 'A' + 10;
        } else if (c == '#') {
            break;  // the rest of the file is a comment
        }
        if (value < 0) {
            continue;
        }
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(static_cast<uint8_t>(high << 4 | value));
            high = -1;
        }
    }
    return bytes;
}

// Damage of the kinds that break parsers: length and tag octets set to edge values, bytes inserted,
// removed or flipped, the tail cut off.
void mutate(std::vector<uint8_t>& bytes, std::mt19937& random) {
    static const uint8_t kEdges[] = {0x00, 0x01, 0x7f, 0x80, 0x81, 0x82, 0x84, 0x85, 0xff, 0x1f, 0x3f, 0xbf};
    const int steps = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < steps; ++i) {
        const size_t at = bytes.empty() ? 0 : random() % bytes.size();
        switch (random() % 6) {
            case 0:
                if (!bytes.empty()) {
                    bytes[at] = kEdges[random() % sizeof kEdges];
                }
                break;
            case 1:
                if (!bytes.empty()) {
                    bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                }
                break;
            case 2:
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(random()));
                break;
            case 3:
                if (!bytes.empty()) {
                    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at));
                }
                break;
            case 4:
                bytes.resize(at);
                break;
            default: {
                // Repeat a stretch, which multiplies nested elements.
                const size_t length = std::min<size_t>(bytes.size() - at, 1 + random() % 16);
                std::vector<uint8_t> stretch(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), stretch.begin(), stretch.end());
                break;
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    long mutations = kMutationsPerSeed;
    std::vector<std::filesystem::path> seeds;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--mutations" && i + 1 < argc) {
            mutations = std::strtol(argv[++i], nullptr, 10);
        } else if (std::filesystem::is_directory(argument)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argument)) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                    seeds.push_back(entry.path());
                }
            }
        } else {
            seeds.emplace_back(argument);
        }
    }
    std::sort(seeds.begin(), seeds.end());
    if (seeds.empty()) {
        std::fprintf(stderr, "usage: %s [--mutations N] CORPUS_FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    std::mt19937 random(20261207);
    size_t runs = 0;
    for (const auto& seed : seeds) {
        if (!std::filesystem::is_regular_file(seed)) {
            std::fprintf(stderr, "cannot read %s\n", seed.c_str());
            return 1;
        }
        const std::vector<uint8_t> original = seed.extension() == ".hex" ? readHex(seed) : readRaw(seed);
        LLVMFuzzerTestOneInput(original.data(), original.size());
        ++runs;
        for (long i = 0; i < mutations; ++i) {
            std::vector<uint8_t> input = original;
            mutate(input, random);
            LLVMFuzzerTestOneInput(input.data(), input.size());
            ++runs;
        }
    }
    std::printf("%zu inputs from %zu seeds\n", runs, seeds.size());
    return 0;
}
