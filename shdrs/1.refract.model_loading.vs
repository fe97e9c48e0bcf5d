// Glass in the two-shed city, for the ships and for the cubes drawn with the same
// program: only the position is read, since the cube has no normals.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

out vec3 FragPos;
out vec3 EyePos;

void main()
{
    vec4 world = model * vec4(aPos, 1.0);
    FragPos = world.xyz;
    EyePos = inverse(view)[3].xyz;
    gl_Position = projection * view * world;
}
