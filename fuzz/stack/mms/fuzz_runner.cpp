// Runs the fuzz target without libFuzzer: every seed of the corpus folder (hex text, one PDU per
// file), then a fixed number of deterministic mutations of each, so that ctest under the sanitizers
// repeats the same hostile inputs on every run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Enough for a test run; a longer run by hand takes the count as the second argument.
constexpr long kMutationsPerSeed = 2000;

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
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER [MUTATIONS_PER_SEED]\n", argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (entry.path().extension() == ".hex") {
            seeds.push_back(entry.path());
        }
    }
    std::sort(seeds.begin(), seeds.end());
    if (seeds.empty()) {
        std::fprintf(stderr, "no .hex seeds in %s\n", argv[1]);
        return 2;
    }
    const long mutations = argc > 2 ? std::strtol(argv[2], nullptr, 10) : kMutationsPerSeed;
    std::mt19937 random(20261207);
    size_t runs = 0;
    for (const auto& seed : seeds) {
        const std::vector<uint8_t> original = readHex(seed);
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
