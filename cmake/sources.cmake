# The sources and public headers of each core library, relative to the
# source tree. The main build and the fuzz build both read these lists.

set(SHAPE_SOURCES
  shape/arena.cpp shape/errors.cpp shape/list.cpp shape/number.cpp shape/output.cpp
  shape/parallel.cpp shape/reader.cpp shape/state.cpp shape/text.cpp shape/tokenizer.cpp
  shape/vane.cpp shape/writer.cpp)
set(SHAPE_HEADERS
  shape/arena.h shape/descriptor.h shape/errors.h shape/extents.h shape/kinds.h shape/number.h shape/output.h
  shape/owner.h shape/paired.h shape/parallel.h shape/placed.h shape/probes.h shape/records.h shape/state.h
  shape/text.h shape/tokenizer.h shape/vane.h)

set(VIEW_BASE_SOURCES view/canvas.cpp view/settings.cpp)
set(VIEW_BASE_HEADERS view/canvas.h view/round.h view/settings.h)

set(GEOMETRY_SOURCES geometry/matrix.cpp geometry/perspective.cpp)
set(GEOMETRY_HEADERS geometry/matrix.h geometry/perspective.h)

set(VIEW_SOURCES view/draw.cpp view/fit.cpp view/ortho.cpp)
set(VIEW_HEADERS view/draw.h view/fit.h view/ortho.h)

set(MORPH_SOURCES app/morph.cpp app/morph_check.cpp app/reorder.cpp)
set(MORPH_HEADERS app/morph.h app/morph_check.h app/reorder.h)

set(PREVIEW_SOURCES app/preview.cpp)
set(PREVIEW_HEADERS app/preview.h)

set(CLI_SOURCES
  cli/arguments.cpp cli/check.cpp cli/counts.cpp cli/export.cpp cli/import.cpp cli/info.cpp cli/json.cpp
  cli/main.cpp cli/mix.cpp cli/morph.cpp cli/picture.cpp cli/png.cpp cli/progress.cpp
  cli/render.cpp cli/reorder.cpp cli/shape_files.cpp cli/sheet.cpp)
