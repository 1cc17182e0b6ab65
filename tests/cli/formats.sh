#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/formats.sh PLIVRA_CLI SOURCE_DIR
# Other mesh formats in (import, and every command's inputs) and out (export).
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

printf 'o quad\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0.1\nf 1 2 3 4\n' >quad.obj
printf 'o quad\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1.1\nf 1 2 3 4\n' >quad_up.obj
run import quad.obj quad.suf
expect "import an OBJ file" 0
run morph quad.obj quad_up.obj 50 quad_half.suf
expect "morph reads OBJ files" 0
run check quad.obj quad_up.obj
expect "two OBJ files of one topology correspond" 0
run export quad.suf quad_up.obj quad.glb --from -50 --to 150 --seconds 4
expect "export a morph to glTF" 0
run import quad.glb quad_back.suf
expect "a glTF file reads back" 0
run info quad_back.suf
expect "fanned into two triangles" 0 stdout "2 polygons, 6 vertices"
run export quad.suf quad_up.suf quad.obj
expect "an OBJ file holds one shape" 2 stderr "an OBJ file holds one shape and no animation"
run export quad.suf quad_up.obj tiny.glb --seconds 1e-50
expect "an animation time that rounds to 0 as a float" 2 stderr "--seconds is too small for a glTF time"
check_true "a refused time writes nothing" test ! -e tiny.glb
run export quad.suf quad.stl
expect "export refuses other formats" 2 stderr "OUT must end in .glb, .gltf or .obj"
# A name in Shift-JIS (the object テスト) and a target whose file name is
# Shift-JIS (形.suf): the glTF file holds the text and keeps the bytes.
sjis_target=$(printf '\x8c\x60.suf')
cp forms_written.suf "$sjis_target"
run export forms_written.suf "$sjis_target" names.gltf
expect "export names that are not UTF-8" 0
check_true "the glTF file names them as text" grep -qF '"name":"テスト"' names.gltf
check_true "the glTF file keeps the target name's bytes" grep -qF '"plivraTargetNameBytes":["8c60"]' names.gltf
run import names.gltf names_back.suf
same "the names come back byte for byte" names_back.suf forms_written.suf
# Shape keys: two targets from files of one name, back as shapes of their own.
mkdir -p a b && cp quad_up.obj a/wave.obj && cp quad.obj b/wave.obj
run export quad.suf a/wave.obj b/wave.obj keys.glb
expect "export two targets of one name" 0
run info keys.glb
expect "info lists the targets" 0 stdout '  2 "wave_2": 0 vertices move'
run import keys.glb keys.suf
expect "import without --targets says what it left" 0 stderr "keys.glb: 2 morph targets were not written; add --targets"
run import keys.glb keys.suf --targets 'T_{}.suf'
expect "import with --targets" 0
check_true "each target is a file" test -e T_wave.suf -a -e T_wave_2.suf
run check keys.suf T_wave.suf
expect "a target corresponds to the base" 0
same "the start as a target comes back as the base" keys.suf T_wave_2.suf
run import keys.glb T_wave.suf --targets 'T_{}.suf'
expect "two outputs at one path" 1 stderr "T_wave.suf: would be written twice by this command; nothing was written"
printf 'v 0 0 0\nv 1 x 0\nf 1 2 1\n' >bad.obj
run import bad.obj bad.suf
expect "a bad OBJ file" 1 stderr "bad.obj: line 2: 'x' is not a number"
check_true "a bad OBJ file is one line" test "$(wc -l <stderr)" -eq 1
check_true "a refused import writes nothing" test ! -e bad.suf
printf '{"asset":{"version":"2.0"},"meshes":[{"primitives":[{"attributes":{"POSITION":7}}]}]}' >bad.gltf
run export bad.gltf bad.glb
expect "a bad glTF file" 1 stderr "bad.gltf: a primitive refers to accessor 7, which is not there"
check_true "a refused export writes nothing" test ! -e bad.glb

# An output is never one of the inputs, and its extension names its format:
# a command that writes a shape writes OBJ and glTF where it is asked to.
cp quad.obj quad_kept.obj
for args in "import quad.obj quad.obj" "morph quad.obj quad_up.obj 50 ./quad_up.obj" \
    "export quad.obj quad.obj" "render quad.obj quad.obj"; do
    # shellcheck disable=SC2086
    run $args
    expect "$args" 1 stderr "is also an input of this command; nothing was written"
    same "$args leaves the input" quad.obj quad_kept.obj
done
run morph quad.obj quad_up.obj 50 quad_half.glb
run export quad_half.suf quad_half_export.glb
same "morph to .glb writes what export writes" quad_half.glb quad_half_export.glb
run import quad.glb quad_round.obj
run import quad_round.obj quad_round.suf
same "import to .obj writes OBJ" quad_round.suf quad_back.suf
for ext in ply stl png; do
    run morph quad.obj quad_up.obj 50 "quad_half.$ext"
    expect "morph refuses .$ext" 1 stderr "quad_half.$ext: names a .$ext file, which is not written as a shape here"
    check_true "morph to .$ext writes nothing" test ! -e "quad_half.$ext"
done

finish
