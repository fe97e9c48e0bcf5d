// The Helsinki ship as polished chrome: world-space normal for the reflection lookup,
// and the way back to the eye taken from the view matrix.
#version 330 core
layout (location = 0) in vec3 aPos;
layout (location = 1) in vec3 aNormal;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

out vec3 Normal;
out vec3 ToEye;

// The ship is squashed, stretched and even mirrored by the scene (its scale follows
// -tan t), so the normals need the inverse transpose. The columns' cross products are
// that matrix times the determinant; its size the fragment shader normalises away, its
// sign is put back. Nothing is inverted per vertex. A lookAt view is rigid, so its eye
// is R^T times -t.
void main()
{
    vec4 world = model * vec4(aPos, 1.0);
    mat3 m = mat3(model);
    vec3 c0 = cross(m[1], m[2]);
    float handedness = dot(m[0], c0) < 0.0 ? -1.0 : 1.0;
    Normal = mat3(c0, cross(m[2], m[0]), cross(m[0], m[1])) * (aNormal * handedness);
    ToEye = -(view[3].xyz * mat3(view)) - world.xyz;
    gl_Position = projection * (view * world);
}
