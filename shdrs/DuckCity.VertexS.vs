// The duck-city sky of window 5: the city cube straight around the eye, warmed a little.
#version 330 core
layout (location = 0) in vec3 aPos;

uniform mat4 view;
uniform mat4 projection;

out vec3 TexCoords;
flat out vec3 SkyTint;   // one value per sky: not worth interpolating

void main()
{
    TexCoords = aPos;
    vec4 clip = projection * view * vec4(aPos, 1.0);
    SkyTint = vec3(1.05, 1.0, 0.92);
    // Depth 1 everywhere: the sky lies on the far plane behind the ducks.
    gl_Position = clip.xyww;
}
