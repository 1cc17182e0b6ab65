// plivra-cli: blends shape files in batch. The first argument names the
// command; the table below sends the rest to that command's Run function.
#include <malloc.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "cli/commands.h"
#include "shape/state.h"

namespace {

struct TCommand {
    const char* Name;
    int (*Run)(int argc, char** argv);
    const char* Summary;
};

constexpr TCommand kCommands[] = {
    {"morph", RunMorph, "blend START toward TARGET by a percentage into a new file"},
    {"mix", RunMix, "blend START toward several targets at once, each by its percentage"},
    {"frames", RunFrames, "write one blend file per percentage of a range"},
    {"check", RunCheck, "tell whether two shapes correspond and share corners, and where not"},
    {"reorder", RunReorder, "write TARGET in the order of objects, polygons and corners of START"},
    {"info", RunInfo, "list the objects, polygons, vertices, attributes and extents"},
    {"render", RunRender, "draw a fitted wireframe view of a shape into a PNG picture"},
    {"import", RunImport, "write an OBJ, glTF, PLY or STL mesh as a shape file"},
    {"export", RunExport, "write shapes as a glTF morph with its animation, or one as OBJ"},
};

void PrintUsage(std::FILE* out) {
    std::fputs("usage: plivra-cli COMMAND [ARGUMENTS] [--help]\n"
               "       plivra-cli --version\n\ncommands:\n",
               out);
    for (const TCommand& command : kCommands)
        std::fprintf(out, "  %-8s %s\n", command.Name, command.Summary);
    std::fputs("\n'plivra-cli COMMAND --help' describes one command.\n", out);
}

// The exit status once standard output is flushed: a report or help text
// that never reached its reader is no success.
int Finish(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("plivra-cli: cannot write to standard output\n", stderr);
        return status == 0 ? 1 : status;
    }
    return status;
}

// Holds the shape library's unit for the life of the program.
struct TLibraryUnit {
    TLibraryUnit() { VANE_SourceInitialize(); }
    ~TLibraryUnit() { VANE_SourceFinalize(); }
};

}  // namespace

int main(int argc, char** argv) {
    // A command frees work arrays of hundreds of megabytes and soon takes as
    // much again. Freed memory stays with the process for that, instead of
    // going back to the system: each fresh page costs a fault, and on these
    // machines memory handed back is slow to take again.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        PrintUsage(stdout);
        return Finish(0);
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::puts("plivra-cli " PLIVRA_VERSION);
        return 0;
    }
    for (const TCommand& command : kCommands) {
        if (std::strcmp(argv[1], command.Name) != 0) continue;
        TLibraryUnit unit;
        try {
            return Finish(command.Run(argc - 1, argv + 1));
        } catch (const std::bad_alloc&) {
            std::fputs("plivra-cli: out of memory\n", stderr);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "plivra-cli: %s\n", error.what());
        }
        return 1;
    }
    std::fprintf(stderr, "plivra-cli: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
