// The ducks of window 5: a textured model placed by "model" and lit in world space.
#version 330 core
layout (location = 0) in vec3 aPos;
layout (location = 1) in vec3 aNormal;
layout (location = 2) in vec2 aTexCoords;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

out vec3 Normal;
out vec2 TexCoords;
out vec3 ToEye;

// The cosine beyond which a corner counts as turned away from the eye.
const float kHiddenFacing = 0.3;

// The driver runs this for every corner of every triangle, so no matrix is inverted.
// The ducks are squeezed unevenly: their normals take the inverse transpose, here the
// columns' cross products, which differ from it only by the determinant's size and
// sign. The scales stay positive and the fragment shader normalises, so both go.
// A lookAt view is rigid, so its eye is R^T times -t.
void main()
{
    vec4 world = model * vec4(aPos, 1.0);
    mat3 m = mat3(model);
    Normal = mat3(cross(m[1], m[2]), cross(m[2], m[0]), cross(m[0], m[1])) * aNormal;
    TexCoords = aTexCoords;
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
