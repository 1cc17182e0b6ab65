# Writes the Blender exports the format tests read, into the folder of this
# script: an ico sphere of one subdivision (12 vertices, 20 triangles), smooth
# shaded, with its UV map, as OBJ, PLY (ASCII and binary) and STL (ASCII and
# binary). Every file keeps Blender's own axes (Z up), so all hold the same
# positions. Run with: blender -b --factory-startup --python make_blender_files.py
import os

import bpy

here = os.path.dirname(os.path.abspath(__file__))
bpy.ops.object.select_all(action="SELECT")
bpy.ops.object.delete()
bpy.ops.mesh.primitive_ico_sphere_add(subdivisions=1, radius=1.0, calc_uvs=True)
sphere = bpy.context.active_object
sphere.name = "Icosphere"
bpy.ops.object.shade_smooth()


def path(name):
    return os.path.join(here, name)


bpy.ops.wm.obj_export(filepath=path("blender_ico.obj"), export_selected_objects=True,
                      export_uv=True, export_normals=True, export_materials=False,
                      forward_axis="Y", up_axis="Z")
bpy.ops.export_mesh.ply(filepath=path("blender_ico_ascii.ply"), use_selection=True,
                        use_ascii=True, use_normals=True, use_uv_coords=True, use_colors=False)
bpy.ops.export_mesh.ply(filepath=path("blender_ico_binary.ply"), use_selection=True,
                        use_ascii=False, use_normals=True, use_uv_coords=True, use_colors=False)
bpy.ops.export_mesh.stl(filepath=path("blender_ico_ascii.stl"), use_selection=True, ascii=True)
bpy.ops.export_mesh.stl(filepath=path("blender_ico_binary.stl"), use_selection=True, ascii=False)
