// The Helsinki ship as polished chrome: world-space position and normal for the
// reflection lookup, and the eye taken from the view matrix.
#version 330 core
layout (location = 0) in vec3 aPos;
layout (location = 1) in vec3 aNormal;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

out vec3 FragPos;
out vec3 Normal;
out vec3 EyePos;

void main()
{
    vec4 world = model * vec4(aPos, 1.0);
    FragPos = world.xyz;
    // The ship is squashed and stretched by the scene, far from uniformly.
    Normal = mat3(transpose(inverse(model))) * aNormal;
    EyePos = inverse(view)[3].xyz;
    gl_Position = projection * view * world;
}
