// The credits' donut seen as a small planet: placed by "model", shaded in world space
// by the planet fragment shader.
#version 330 core
layout (location = 0) in vec3 aPos;
layout (location = 1) in vec3 aNormal;
layout (location = 2) in vec2 aTexCoords;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

out vec3 FragPos;
out vec3 Normal;
out vec2 TexCoords;
out vec3 EyePos;

// Forty units from the camera the donut would be a speck; grown about its own centre it
// reads as a small world. Uniform, so the normals need no change.
const float kPlanetScale = 5.0;

void main()
{
    vec4 world = model * vec4(aPos * kPlanetScale, 1.0);
    FragPos = world.xyz;
    Normal = mat3(transpose(inverse(model))) * aNormal;
    TexCoords = aTexCoords;
    EyePos = inverse(view)[3].xyz;
    gl_Position = projection * view * world;
}
