// Stands in for libFuzzer where the compiler has none: runs each seed file given on the command line,
// and every prefix of it, through the fuzz target. Under the sanitizers this catches what the seeds
// and their truncations can reach.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s seed-file...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const std::vector<uint8_t> seed((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
        for (size_t length = 0; length <= seed.size(); ++length) {
            LLVMFuzzerTestOneInput(seed.data(), length);
        }
    }
    std::printf("%d seeds run\n", argc - 1);
    return 0;
}
