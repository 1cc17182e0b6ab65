# Writes blender_keys.glb: a cube named 箱 with two materials and two shape
# keys, as Blender's glTF exporter writes it. Run from this folder:
#   blender -b --factory-startup --python make_blender_keys.py
# Debian's Blender 3.4 glTF add-on needs numpy.bool, which numpy 1.24 lacks.
import numpy

numpy.bool = bool

import bpy

bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.mesh.primitive_cube_add(size=2.0)
cube = bpy.context.active_object
cube.name = "箱"
cube.data.name = "箱Mesh"
for name in ("上", "側"):
    cube.data.materials.append(bpy.data.materials.new(name))
for face in cube.data.polygons:
    face.material_index = 0 if face.normal.z > 0.5 else 1
cube.shape_key_add(name="Basis")
lift = cube.shape_key_add(name="lift")
for point in lift.data:
    if point.co.z > 0:
        point.co.z += 1.0
wide = cube.shape_key_add(name="wide")
for point in wide.data:
    point.co.x *= 1.5
bpy.ops.export_scene.gltf(filepath="blender_keys.glb", export_format="GLB", export_morph=True,
                          export_morph_normal=True, export_materials="EXPORT", export_animations=False)
