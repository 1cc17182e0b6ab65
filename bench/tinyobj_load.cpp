// The anchor of the whole-process figures: a fresh process that loads an OBJ
// file with tinyobjloader and prints its vertex count, as `plivra-cli info`
// loads a shape file and prints its counts.
#include <tiny_obj_loader.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tinyobj_load FILE.obj\n");
        return 2;
    }
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, argv[1])) {
        std::fprintf(stderr, "%s: %s\n", argv[1], err.c_str());
        return 1;
    }
    std::printf("%zu vertices\n", attrib.vertices.size() / 3);
    return 0;
}
