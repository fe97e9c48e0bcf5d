// Glass in the two-shed city, for the ships and for the cubes drawn with the same
// program: only the position is read, since the cube has no normals.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

out vec3 ToEye;

// A lookAt view is rigid, so its eye is R^T times -t: no inverse per vertex.
void main()
{
    vec4 world = model * vec4(aPos, 1.0);
    ToEye = -(view[3].xyz * mat3(view)) - world.xyz;
    gl_Position = projection * (view * world);
}
