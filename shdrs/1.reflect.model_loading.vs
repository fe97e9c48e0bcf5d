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

// The cosine beyond which a corner counts as turned away from the eye.
const float kHiddenFacing = 0.3;

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
    vec4 clip = projection * (view * world);
    // No face culling is enabled, so a closed model's far side is rasterised too, and
    // shaded wherever it comes before the near side. A corner turned well away from the
    // eye belongs only to triangles facing away, which the near side hides anyway: sent
    // past the far plane, those triangles are clipped before they reach a pixel.
    if (dot(Normal, ToEye) < -kHiddenFacing * length(Normal) * length(ToEye) && clip.w > 0.0)
        clip.z = 2.0 * clip.w;
    gl_Position = clip;
}
