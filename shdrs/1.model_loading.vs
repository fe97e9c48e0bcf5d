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
// The ducks tumble past big and fast under a camera that whips round: at full contrast
// their lit and shaded sides flicker over much of the screen, so they keep a share of it.
flat out float ShadingContrast;

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
    ShadingContrast = 0.2;
    ToEye = -(view[3].xyz * mat3(view)) - world.xyz;
    gl_Position = projection * (view * world);
}
