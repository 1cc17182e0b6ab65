#pragma once

// The commands of plivra-cli, one function each, listed in the dispatch table
// of cli/main.cpp. Each gets the arguments from the command word on (argv[0]
// is the command word) and returns the exit status: 0 success, 1 an input
// that is not a shape or an output that could not be written (or, for check,
// shapes that do not correspond), 2 wrong usage with the usage text on stderr.

// morph START TARGET PERCENT OUT: one blend written to OUT.
int RunMorph(int argc, char** argv);
// frames START TARGET FROM TO STEP PATTERN: one blend file per percentage.
int RunFrames(int argc, char** argv);
// check START TARGET [--json]: whether the two shapes correspond and share
// the same corners, and where not; exit status 3 when only corners break.
int RunCheck(int argc, char** argv);
// reorder START TARGET OUT [--strict] [--json] [--timings]: TARGET written
// in the order of objects, polygons and corners that corresponds to START;
// exit status 3 when --strict refuses an ambiguous match.
int RunReorder(int argc, char** argv);
// info FILE [--json]: objects, polygons by kind, vertices, attributes and extents.
int RunInfo(int argc, char** argv);
// render FILE OUT.png [--view xy|yz|zx] [--size WxH] [--grid]: one fitted
// wireframe view written as a PNG picture.
int RunRender(int argc, char** argv);
// import IN OUT.suf: a mesh file of another format written as a shape file.
int RunImport(int argc, char** argv);
// mix START OUT --target T PERCENT ...: one blend toward several targets.
int RunMix(int argc, char** argv);
// export START [TARGET ...] OUT.glb|OUT.gltf, export SHAPE OUT.obj: shapes
// written in another format, a glTF morph with its animation.
int RunExport(int argc, char** argv);
