// Full-screen quad of the shader picture that opens window 3: the scene's matrices
// scale it past the edges of the screen, the picture itself is made per pixel.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

void main()
{
    gl_Position = projection * view * model * vec4(aPos, 1.0);
}
