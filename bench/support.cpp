#include "bench/support.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "shape/arena.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "shape/probes.h"

#ifndef PLIVRA_BENCH_CACHE
#define PLIVRA_BENCH_CACHE "bench-cache"
#endif

namespace {

// Bump when the meshes change, so old cache files are not taken for new ones.
constexpr const char* kVersion = "v1";

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    std::exit(1);
}

std::string Text(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// Grid point (i, j) of the start and of the target sheet. The jitter keeps
// every coordinate off round numbers, so each is written with 15 digits.
struct TPoint {
    double x, y, z;
};
TPoint StartPoint(int i, int j) {
    const double x = (i + 0.3 * std::sin(1.7 * j + 0.1 * i)) * 0.1;
    const double y = (j + 0.3 * std::cos(1.3 * i + 0.2 * j)) * 0.1;
    return {x, y, 2 * std::sin(x / 0.7) * std::cos(y / 1.1)};
}
TPoint TargetPoint(int i, int j) {
    const TPoint p = StartPoint(i, j);
    return {p.x + 0.05 * std::cos(p.y * 3), p.y, 3 * std::cos(p.x / 0.5) * std::sin(p.y / 0.9) + 1};
}

// The three corners of the triangles of cell (i, j).
template <typename Fn>
void ForEachTriangle(int cells, Fn triangle) {
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            triangle(i, j, i + 1, j, i, j + 1);
            triangle(i + 1, j, i + 1, j + 1, i, j + 1);
        }
    }
}

void WriteReplacing(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) Die("cannot write " + temp);
    }
    std::filesystem::rename(temp, path);
}

// Two objects, the halves of the grid's rows, in the writer's layout.
void WriteSuf(const std::string& path, int cells, TPoint (*point)(int, int)) {
    const int side = cells + 1;
    std::vector<std::string> texts(static_cast<std::size_t>(side) * side);
    for (int i = 0; i < side; ++i) {
        for (int j = 0; j < side; ++j) {
            const TPoint p = point(i, j);
            texts[static_cast<std::size_t>(i) * side + j] =
                "    " + Text(p.x) + " " + Text(p.y) + " " + Text(p.z) + "\r\n";
        }
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(cells) * cells * 2 * 200);
    int object = -1;
    ForEachTriangle(cells, [&](int i0, int j0, int i1, int j1, int i2, int j2) {
        const int half = i0 * 2 / (cells + 1);
        if (half != object) {
            if (object >= 0) out += "}\r\n";
            object = half;
            out += "obj suf sheet" + std::to_string(half) + " {\r\natr surface\r\n";
        }
        out += "prim poly (\r\n";
        out += texts[static_cast<std::size_t>(i0) * side + j0];
        out += texts[static_cast<std::size_t>(i1) * side + j1];
        out += texts[static_cast<std::size_t>(i2) * side + j2];
        out += ")\r\n";
    });
    out += "}\r\n";
    WriteReplacing(path, out);
}

void WriteObj(const std::string& path, int cells) {
    const int side = cells + 1;
    std::string out;
    out.reserve(static_cast<std::size_t>(side) * side * 64 + static_cast<std::size_t>(cells) * cells * 48);
    for (int i = 0; i < side; ++i) {
        for (int j = 0; j < side; ++j) {
            const TPoint p = StartPoint(i, j);
            out += "v " + Text(p.x) + " " + Text(p.y) + " " + Text(p.z) + "\n";
        }
    }
    auto index = [&](int i, int j) { return std::to_string(i * side + j + 1); };
    ForEachTriangle(cells, [&](int i0, int j0, int i1, int j1, int i2, int j2) {
        out += "f " + index(i0, j0) + " " + index(i1, j1) + " " + index(i2, j2) + "\n";
    });
    WriteReplacing(path, out);
}

}  // namespace

const TBenchMesh& BenchMesh(int cells) {
    static std::map<int, TBenchMesh> meshes;
    auto found = meshes.find(cells);
    if (found != meshes.end()) return found->second;

    std::filesystem::create_directories(PLIVRA_BENCH_CACHE);
    const std::string stem = std::string(PLIVRA_BENCH_CACHE) + "/sheet-" + kVersion + "-" +
                             std::to_string(cells);
    TBenchMesh mesh;
    mesh.cells = cells;
    mesh.triangles = 2L * cells * cells;
    mesh.start = stem + "-start.suf";
    mesh.target = stem + "-target.suf";
    mesh.obj = stem + "-start.obj";
    if (!std::filesystem::exists(mesh.start)) WriteSuf(mesh.start, cells, StartPoint);
    if (!std::filesystem::exists(mesh.target)) WriteSuf(mesh.target, cells, TargetPoint);
    if (!std::filesystem::exists(mesh.obj)) WriteObj(mesh.obj, cells);
    return meshes.emplace(cells, mesh).first->second;
}

std::size_t ReadBenchFile(const std::string& path, std::unique_ptr<char[]>& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) Die("cannot read " + path);
    const auto size = static_cast<std::size_t>(st.st_size);
    bytes.reset(new char[size]);  // left uninitialised, as a reader's buffer would be
    std::size_t used = 0;
    while (used < size) {
        const ssize_t n = ::read(fd, bytes.get() + used, size - used);
        if (n <= 0) Die("cannot read " + path);
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return size;
}

TVANE_Object* BenchStartShape(int cells) {
    static std::map<int, TVANE_Object*> shapes;
    TVANE_Object*& shape = shapes[cells];
    if (shape == nullptr) shape = LoadBenchShape(BenchMesh(cells).start);
    return shape;
}

void AllBenchSizes(benchmark::internal::Benchmark* b) {
    for (int cells : {kCellsBunny, kCells10k, kCells100k, kCells1M}) b->Arg(cells);
    b->Unit(benchmark::kMillisecond);
}

void LargeBenchSizes(benchmark::internal::Benchmark* b) {
    for (int cells : {kCells10k, kCells100k, kCells1M}) b->Arg(cells);
    b->Unit(benchmark::kMillisecond);
}

TVANE_Object* LoadBenchShape(const std::string& path) {
    TVANE_Object* shape = VANE->LoadSuf(path);
    if (shape == nullptr) Die("cannot load " + path + ": " + SufErrorMessage);
    return shape;
}

std::size_t HeldBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd + MappedRecordBytes();
}
