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

out vec3 FragPos;
out vec3 Normal;
out vec2 TexCoords;
out vec3 EyePos;

void main()
{
    vec4 world = transform2 * vec4(aPos, 1.0);
    FragPos = world.xyz;
    Normal = mat3(transpose(inverse(transform2))) * aNormal;
    TexCoords = aTexCoords;
    EyePos = inverse(view)[3].xyz;
    gl_Position = projection * view * world;
}
