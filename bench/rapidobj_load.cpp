// An anchor of the whole-process figures: a fresh process that loads an OBJ
// file with rapidobj (parallel, single precision) and prints its vertex
// count, beside `plivra-cli info` of the same file. Built only where the
// anchor's header stands beside the checkout.
#include <rapidobj.hpp>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rapidobj_load FILE.obj\n");
        return 2;
    }
    const rapidobj::Result result = rapidobj::ParseFile(argv[1], rapidobj::MaterialLibrary::Ignore());
    if (result.error) {
        std::fprintf(stderr, "%s: %s\n", argv[1], result.error.code.message().c_str());
        return 1;
    }
    std::printf("%zu vertices\n", result.attributes.positions.size() / 3);
    return 0;
}
