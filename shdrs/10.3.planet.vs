// The credits' donut seen as a small planet: placed by "model", shaded in world space
// by the planet fragment shader.
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

// Forty units from the camera the donut would be a speck; grown about its own centre it
// reads as a small world. Uniform, so the normals need no change.
const float kPlanetScale = 5.0;

// The scene only moves and turns the planet, so its normals turn with mat3(model) and
// nothing is inverted per vertex; a lookAt view is rigid, so its eye is R^T times -t.
void main()
{
    vec4 world = model * vec4(aPos * kPlanetScale, 1.0);
    Normal = mat3(model) * aNormal;
    TexCoords = aTexCoords;
    ToEye = -(view[3].xyz * mat3(view)) - world.xyz;
    gl_Position = projection * (view * world);
}
