// The opening's donut: placed by "transform2", the wobbling model matrix with the
// spin about the view axis already applied, and lit in world space.
#version 330 core
layout (location = 0) in vec3 aPos;
layout (location = 1) in vec3 aNormal;
layout (location = 2) in vec2 aTexCoords;

// "model" is the same placement without the spin; the spinning one is what is drawn.
uniform mat4 transform2;
uniform mat4 view;
uniform mat4 projection;

out vec3 Normal;
out vec2 TexCoords;
out vec3 ToEye;
flat out float ShadingContrast;   // the donut turns slowly: its full light and shade

// The driver runs this for every corner of every triangle, so no matrix is inverted:
// the columns' cross products are the inverse transpose up to a factor the fragment
// shader normalises away, and a lookAt view is rigid, so its eye is R^T times -t.
void main()
{
    vec4 world = transform2 * vec4(aPos, 1.0);
    mat3 m = mat3(transform2);
    Normal = mat3(cross(m[1], m[2]), cross(m[2], m[0]), cross(m[0], m[1])) * aNormal;
    TexCoords = aTexCoords;
    ShadingContrast = 1.0;
    ToEye = -(view[3].xyz * mat3(view)) - world.xyz;
    gl_Position = projection * (view * world);
}
